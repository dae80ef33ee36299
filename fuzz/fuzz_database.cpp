// Database file bytes: the load's checks never crash, a refused file leaves the open database
// as it was, and saving what was loaded writes the very bytes that were read.
#include <cstring>
#include <string>
#include <string_view>

#include "files/DatabaseFile.h"
#include "fuzz/FuzzCheck.h"
#include "model/ImageView.h"

using namespace tarvelo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  // The password the file holds, found the way the load finds it, so the fuzzer's files open.
  std::string stored;
  bool tail = false;  // a last input byte chosen by the fuzzer: type a wrong password
  if (size >= static_cast<size_t>(kRecordSize)) {
    std::array<uint8_t, kRecordSize> raw{};
    std::memcpy(raw.data(), data, raw.size());
    DatabaseRecord r = DatabaseRecord::FromBytes(raw);
    Scramble(r, FileKey(r));
    stored = r.password.text();
    tail = size > static_cast<size_t>(kRecordSize) && (data[kRecordSize] & 1);
  }
  const std::string typed = tail ? stored + "x" : stored;

  DatabaseRecord before;
  before.site.set("elozo");
  before.image.raw()[100] = 0x5A;
  DatabaseRecord record = before;
  int asked = 0;
  const LoadResult result = DecodeDatabaseBytes(bytes, record, [&] {
    ++asked;
    return typed;
  });

  const bool ours = size >= static_cast<size_t>(kRecordSize) &&
                    std::memcmp(data, kFormatMarker.data(), kFormatMarker.size()) == 0;
  if (!ours) {
    FUZZ_CHECK(result.status == LoadStatus::NotOurFormat);
    FUZZ_CHECK(asked == 0);
    FUZZ_CHECK(record == before);
    return 0;
  }
  FUZZ_CHECK(asked == 1);
  if (tail) {
    FUZZ_CHECK(result.status == LoadStatus::WrongPassword);
    FUZZ_CHECK(record == before);
    return 0;
  }
  FUZZ_CHECK(result.status == LoadStatus::Ok);
  FUZZ_CHECK(result.message.empty());

  // save(load(x)) is x's first record, byte for byte, and the record in memory keeps its
  // plain image.
  const DatabaseRecord loaded = record;
  const auto written = EncodeDatabaseBytes(record);
  FUZZ_CHECK(std::memcmp(written.data(), data, written.size()) == 0);
  FUZZ_CHECK(record == loaded);
  DatabaseRecord again;
  FUZZ_CHECK(DecodeDatabaseBytes(
                 std::string_view(reinterpret_cast<const char*>(written.data()), written.size()),
                 again, [&] { return stored; })
                 .status == LoadStatus::Ok);
  FUZZ_CHECK(again == loaded);

  // What a loaded file shows, in either model, never reaches outside the image.
  for (DeviceModel model : {DeviceModel::FourLine, DeviceModel::SixteenLine}) {
    ConfigImage image = record.image;
    (void)DecodeImageView(image, ImageLayout::For(model));
  }
  return 0;
}
