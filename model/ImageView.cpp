#include "model/ImageView.h"

#include "model/FreeNumbers.h"

namespace tarvelo {

ImageView DecodeImageView(ConfigImage& image, const ImageLayout& layout) {
  ImageView v;
  v.general = DecodeGeneral(image, layout);
  for (const auto& row : ByteFields()) {
    if (!layout.Has(row.field)) continue;
    const long at = layout.Offset(row.field);
    v.byteFields.push_back({&row, at, image.ImageByte(at)});
  }
  if (layout.Has(Field::MobilePrefixes)) v.prefixes = DecodePrefixes(image, layout);
  v.callIn = DecodeCallIn(image, layout);
  v.lines = DecodeLines(image, layout);
  v.exceptionTexts = DecodeExceptionTexts(image, layout);
  for (int i = 0; i < kExceptionCount; ++i) {
    v.exceptions.push_back(ExceptionRow(image, layout, v.exceptionTexts[i], i));
  }
  v.codeDecode = DecodeCodeTable(image, layout, v.codes);
  v.codeCount = StoredCodeCount(image, layout);
  v.codeLength = StoredRecordLength(image, layout) - 1;
  v.freeNumbers = DecodeFreeNumbers(image, layout);
  return v;
}

namespace {
bool ReadsWithoutRepairs(const ConfigImage& image, DeviceModel model) {
  ConfigImage copy = image;
  CodeGrid grid;
  return DecodeCodeTable(copy, ImageLayout::For(model), grid).messages.empty();
}
}  // namespace

DeviceModel ModelToShow(const ConfigImage& image, DeviceModel current) {
  const std::string version = image.VersionText();
  if (!version.empty()) return ModelFromVersionText(version);
  const DeviceModel other =
      current == DeviceModel::FourLine ? DeviceModel::SixteenLine : DeviceModel::FourLine;
  if (!ReadsWithoutRepairs(image, current) && ReadsWithoutRepairs(image, other)) return other;
  return current;
}

}  // namespace tarvelo
