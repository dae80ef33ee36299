// CALL.TXT appended to a list or over an emptied one: the list never grows beyond its
// capacity, what was there stays first and unchanged, every line read becomes one whole
// number, "lines left" is said exactly when some were, and exported the numbers read back
// the same.
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
    // Mostly a few numbers, now and then a list at or near its capacity.
    const int count = in.ConsumeBool() ? in.ConsumeIntegralInRange<int>(0, 4)
                                       : in.ConsumeIntegralInRange<int>(capacity - 3, capacity);
    for (int i = 0; i < count; ++i) {
      std::string item = in.ConsumeRandomLengthString(20);
      std::replace(item.begin(), item.end(), '\n', ' ');  // an entry is one line
      if (item.size() < 16) item.append(16 - item.size(), ' ');
      kept.push_back(item);
    }
  }
  const std::string text = in.ConsumeRemainingBytesAsString();

  const NumberImport got = ImportCallTxt(text, kept, capacity, more);
  FUZZ_CHECK(static_cast<int>(got.items.size()) <= capacity);
  FUZZ_CHECK(got.items.size() >= kept.size());
  FUZZ_CHECK(std::equal(kept.begin(), kept.end(), got.items.begin()));
  bool lastEnded = true;
  const std::vector<std::string> lines = TextLines(text, &lastEnded);
  const size_t added = got.items.size() - kept.size();
  // A line cut off where the bytes end is not a number of the file.
  const size_t whole = more && !lastEnded ? lines.size() - 1 : lines.size();
  FUZZ_CHECK(added <= whole);
  for (size_t i = 0; i < added; ++i) {
    std::string line = lines[i];
    if (line.size() < 16) line.append(16 - line.size(), ' ');
    FUZZ_CHECK(got.items[kept.size() + i] == line);
  }
  FUZZ_CHECK(added == whole || static_cast<int>(got.items.size()) == capacity);
  FUZZ_CHECK(got.linesLeft == (added < lines.size() || more));

  // What an export writes reads back as the same numbers.
  const NumberImport back = ImportCallTxt(ExportCallTxt(got.items), {}, capacity);
  FUZZ_CHECK(back.items == got.items && !back.linesLeft);
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
