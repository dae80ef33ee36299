// A settings document applied to a database, in both models: a refused document leaves the
// database as it was; an accepted one reads back as applied (applying it again changes
// nothing) and its own listing, applied back, changes nothing either.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>

#include "cli/Apply.h"
#include "cli/JsonRead.h"
#include "cli/Show.h"
#include "fuzz/FuzzCheck.h"
#include "model/DatabaseRecord.h"
#include "model/ImageView.h"
#include "model/NewDatabase.h"

using namespace tarvelo;

namespace {

std::string ShowJsonOf(const DatabaseRecord& record, const ImageLayout& layout) {
  ConfigImage image = record.image;
  return ShowJson(record, layout, DecodeImageView(image, layout));
}

}  // namespace

// Input: the model, up to 32 patches (offset, byte) over a new database's image, then the
// settings document.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const DeviceModel model = in.ConsumeBool() ? DeviceModel::SixteenLine : DeviceModel::FourLine;
  const ImageLayout layout = ImageLayout::For(model);
  DatabaseRecord record;
  NewDatabaseDefaults(record, layout);
  for (int n = in.ConsumeIntegralInRange(0, 32); n > 0; --n) {
    const auto at = in.ConsumeIntegralInRange<long>(0, kImageSize - 1);
    record.image.SetImageByte(at, in.ConsumeIntegral<uint8_t>());
  }
  const std::string text = in.ConsumeRemainingBytesAsString();
  std::string error;
  const auto document = ParseJson(text, &error);
  if (!document) {
    FUZZ_CHECK(!error.empty());
    return 0;
  }

  const DatabaseRecord before = record;
  DatabaseRecord applied = record;
  if (const Refusal refused = ApplySettings(*document, applied, layout)) {
    FUZZ_CHECK(!refused->empty());
    FUZZ_CHECK(applied == before);
    return 0;
  }
  // What was stored reads back as given: the same document finds nothing left to store.
  DatabaseRecord again = applied;
  FUZZ_CHECK(!ApplySettings(*document, again, layout));
  FUZZ_CHECK(again == applied);
  // The listing of the result is a document that leaves it byte for byte.
  const std::string shown = ShowJsonOf(applied, layout);
  const auto listing = ParseJson(shown, &error);
  FUZZ_CHECK(listing.has_value());
  DatabaseRecord back = applied;
  FUZZ_CHECK(!ApplySettings(*listing, back, layout));
  FUZZ_CHECK(back == applied);
  FUZZ_CHECK(ShowJsonOf(back, layout) == shown);
  return 0;
}
