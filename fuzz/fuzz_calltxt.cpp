// CALL.TXT appended to a list or over an emptied one: the list never grows beyond its
// capacity, what was there stays first and unchanged, every number line read becomes one
// number (blank lines none), a refused file leaves the list as it was, "lines left" is said
// exactly when numbers were, and exported the numbers read back the same.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <string>
#include <vector>

#include "files/ExchangeFiles.h"
#include "fuzz/CodeFuzz.h"
#include "fuzz/FuzzCheck.h"
#include "model/FreeNumbers.h"

using namespace tarvelo;
using namespace tarvelo::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const ImageLayout layout =
      ImageLayout::For(in.ConsumeBool() ? DeviceModel::SixteenLine : DeviceModel::FourLine);
  const int capacity = FreeNumberCapacity(layout);
  const bool append = in.ConsumeBool();
  // Only the start of a file too large to read whole.
  const bool more = in.ConsumeBool();
  std::vector<std::string> kept;
  if (append) {
    // Mostly a few numbers, now and then a list at or near its capacity; items as the list
    // holds them, up to 16 characters padded with blanks.
    const int count = in.ConsumeBool() ? in.ConsumeIntegralInRange<int>(0, 4)
                                       : in.ConsumeIntegralInRange<int>(capacity - 3, capacity);
    for (int i = 0; i < count; ++i) {
      std::string item = in.ConsumeRandomLengthString(kFreeNumberWidth);
      for (char& c : item) {
        if (static_cast<unsigned char>(c) <= ' ') c = ' ';
      }
      if (item.find_first_not_of(' ') == std::string::npos) item = "0";
      item.resize(kFreeNumberWidth, ' ');
      kept.push_back(item);
    }
  }
  const std::string text = in.ConsumeRemainingBytesAsString();

  const NumberImport got = ImportCallTxt(text, kept, capacity, more);
  FUZZ_CHECK(static_cast<int>(got.items.size()) <= capacity);
  FUZZ_CHECK(got.items.size() >= kept.size());
  FUZZ_CHECK(std::equal(kept.begin(), kept.end(), got.items.begin()));
  if (got.refused) FUZZ_CHECK(got.items == kept && !got.linesLeft);

  // The lines as an editor shows them: CR LF, LF or CR ends one.
  std::vector<std::string> lines;
  bool lastEnded = true;
  for (size_t start = 0; start < text.size();) {
    const size_t end = text.find_first_of("\r\n", start);
    lastEnded = end != std::string::npos;
    lines.push_back(text.substr(start, (lastEnded ? end : text.size()) - start));
    if (!lastEnded) break;
    start = end + 1;
    if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
  }
  // A line cut off where the bytes end is not a number of the file.
  if (more && !lastEnded) lines.pop_back();
  // The numbers the file holds, in order, without trailing blanks; blank lines hold none.
  std::vector<std::string> numbers;
  for (std::string line : lines) {
    while (!line.empty() && static_cast<unsigned char>(line.back()) <= ' ') line.pop_back();
    if (!line.empty()) numbers.push_back(line);
  }
  const size_t room = static_cast<size_t>(capacity) - kept.size();
  const size_t taken = std::min(room, numbers.size());
  const bool tooLong = std::any_of(numbers.begin(), numbers.begin() + static_cast<long>(taken),
                                   [](const std::string& n) { return n.size() > 16; });
  const bool unread = more && numbers.size() < room;
  FUZZ_CHECK(static_cast<bool>(got.refused) == (tooLong || unread));
  if (got.refused) return 0;
  FUZZ_CHECK(got.items.size() - kept.size() == taken);
  for (size_t i = 0; i < taken; ++i) {
    std::string number = numbers[i];
    number.resize(kFreeNumberWidth, ' ');
    FUZZ_CHECK(got.items[kept.size() + i] == number);
  }
  FUZZ_CHECK(got.linesLeft == (taken < numbers.size() || more));

  // What an export writes reads back as the same numbers.
  const NumberImport back = ImportCallTxt(ExportCallTxt(got.items), {}, capacity);
  FUZZ_CHECK(back.items == got.items && !back.linesLeft && !back.refused);
  // And the list flushed into the image stays in its region.
  ConfigImage image;
  image.raw().fill(0xA5);
  FlushFreeNumbers(image, layout, got.items);
  for (long i = 0; i < kImageSize; ++i) {
    if (i < layout.Offset(Field::FreeNumbers) ||
        i >= layout.Offset(Field::FreeNumbers) + layout.Size(Field::FreeNumbers)) {
      FUZZ_CHECK(image.ImageByte(i) == 0xA5);
    }
  }
  return 0;
}
