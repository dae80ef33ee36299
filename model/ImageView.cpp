#include "model/ImageView.h"

#include <cstdio>

#include "model/FreeNumbers.h"
#include "model/Text.h"

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

bool ReadsWithoutRepairs(const ConfigImage& image, DeviceModel model) {
  const ImageLayout layout = ImageLayout::For(model);
  // A code table that does not fit would be cut down on decode; a record without a single
  // code character is what the other model's timers and counts look like through this map.
  const long recordLength = StoredRecordLength(image, layout);
  const long count = StoredCodeCount(image, layout);
  if (recordLength < 2 || count * recordLength > layout.Size(Field::CodeTable)) return false;
  const uint8_t coChars = image.ImageByte(layout.Offset(Field::CoCharCount));
  if (coChars < 1 || coChars > 4) return false;
  const uint8_t format = image.ImageByte(layout.Offset(Field::SmdrFormat));
  const uint8_t mode = image.ImageByte(layout.Offset(Field::SmdrMode));
  if (model == DeviceModel::FourLine) {
    const auto speeds = static_cast<int>(SmdrSpeedItems(model).size());
    return ((format >> 3) & 7) < speeds;
  }
  const bool formatKnown = (format >= '1' && format <= '6') || (format >= 'A' && format <= 'F');
  const uint8_t terminator = image.ImageByte(layout.Offset(Field::NumberTerminator));
  const bool terminatorKnown = terminator == ' ' || terminator == '#' || terminator == '*' ||
                               (terminator >= '0' && terminator <= '9');
  return formatKnown && (mode & 0x0F) < static_cast<int>(SmdrModeItems(model).size()) &&
         terminatorKnown;
}

namespace {

// The version text as it may appear in a message: a control byte would act on the terminal.
std::string PrintableVersionText(const std::string& text) {
  std::string shown;
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F || (b >= 0x80 && b < 0xA0) || c == '\\') {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", b);
      shown += hex;
    } else {
      shown += c;
    }
  }
  return Cp1250ToUtf8(shown);
}

}  // namespace

ModelProof ProveDatabaseModel(const DatabaseRecord& record) {
  const ConfigImage& image = record.image;
  const std::string version = image.VersionText();
  if (!version.empty()) {
    return {ModelFromVersionText(version),
            "a verziószövege \"" + PrintableVersionText(version) + "\""};
  }
  const bool four = ReadsWithoutRepairs(image, DeviceModel::FourLine);
  const bool sixteen = ReadsWithoutRepairs(image, DeviceModel::SixteenLine);
  if (four != sixteen) {
    return {four ? DeviceModel::FourLine : DeviceModel::SixteenLine,
            "nincs verziószövege, és csak ennek a típusnak a memóriatérképe olvassa "
            "javítás nélkül"};
  }
  return {std::nullopt, four ? "nincs verziószövege, és mindkét típus memóriatérképe "
                               "javítás nélkül olvassa"
                             : "nincs verziószövege, és egyik típus memóriatérképe sem "
                               "olvassa javítás nélkül"};
}

DeviceModel ModelToShow(const ConfigImage& image, DeviceModel current) {
  DatabaseRecord record;
  record.image = image;
  return ProveDatabaseModel(record).model.value_or(current);
}

}  // namespace tarvelo
