#include "model/NumberPlan.h"

#include "model/Codecs.h"
#include "model/Text.h"

namespace tarvelo {
namespace {

// The length part of a 4-line entry text: characters 5 onward. Reading only characters
// 5..6 would store 12 for a decoded length of 120.
bool EntryLength(const std::string& text, uint8_t& length) {
  long value = 0;
  if (text.size() < 5 || !ParseWholeNumber(text.substr(4), value) || value < 0 || value > 255) {
    return false;
  }
  length = static_cast<uint8_t>(value);
  return true;
}

const char* const kLengthMessage = "A hossznak 0..99 között kell lenni !!!";

bool ValidLength(const std::string& text, long& value) {
  const std::string t = TrimBlanks(text);
  if (t.empty() || t.size() > 2) return false;
  for (char c : t) {
    if (c < '0' || c > '9') return false;
  }
  value = std::stol(t);
  return true;
}

}  // namespace

std::vector<std::string> DecodeExceptionTexts(const ConfigImage& image, const ImageLayout& layout) {
  std::vector<std::string> texts;
  const uint16_t base = layout.Offset(Field::AreaExceptions);
  for (int i = 0; i < kExceptionCount; ++i) {
    texts.push_back(ExceptionEntryText(image, base, static_cast<uint8_t>(i)));
  }
  return texts;
}

ExceptionCells ExceptionRow(const ConfigImage& image, const ImageLayout& layout,
                            const std::string& entryText, int index) {
  if (layout.model() == DeviceModel::SixteenLine) {
    const long e = layout.Offset(Field::AreaExceptions) + 2L * index;
    return {ByteToDigitPair(image.ImageByte(e)), Numbered(image.ImageByte(e + 1), 2)};
  }
  return {entryText.substr(0, 4), entryText.size() > 4 ? entryText.substr(4) : ""};
}

Refusal MakeExceptionText(const std::string& areaCode, const std::string& length, LengthInput input,
                          std::string& text) {
  long value = 0;
  if (input == LengthInput::Typed && !ValidLength(length, value)) return kLengthMessage;
  std::string code = areaCode;
  while (code.size() < 4) code += '?';
  std::string len = TrimBlanks(length);
  while (len.size() < 2) len = "0" + len;
  text = code + len;
  return std::nullopt;
}

Refusal EditException16(ConfigImage& image, const ImageLayout& layout, int index,
                        const std::string& areaCode, const std::string& length, LengthInput input) {
  long value = 0;
  if (input == LengthInput::Typed && !ValidLength(length, value)) return kLengthMessage;
  const long e = layout.Offset(Field::AreaExceptions) + 2L * index;
  image.SetImageByte(e, DigitPairToByte(areaCode));
  if (input == LengthInput::Typed) image.SetImageByte(e + 1, static_cast<uint8_t>(value));
  return std::nullopt;
}

void DeleteException16(ConfigImage& image, const ImageLayout& layout, int index) {
  const long e = layout.Offset(Field::AreaExceptions) + 2L * index;
  image.SetImageByte(e, 0x00);
  image.SetImageByte(e + 1, 0xFF);
}

std::string CompletePrefix(const std::string& text, size_t width) {
  if (text.empty()) return std::string(width, '=');
  std::string s = text;
  while (s.size() < width) s += '?';
  return s;
}

Prefixes DecodePrefixes(const ConfigImage& image, const ImageLayout& layout) {
  Prefixes p;
  if (!layout.Has(Field::MobilePrefixes)) return p;
  const long mp = layout.Offset(Field::MobilePrefixes);
  const long ip = layout.Offset(Field::InternationalPrefixes);
  for (int k = 0; k < 4; ++k) {
    p.mobile[k] = ByteToDigitPair(image.ImageByte(mp + 2 * k)) +
                  ByteToDigitPair(image.ImageByte(mp + 2 * k + 1));
  }
  for (int k = 0; k < 2; ++k) p.international[k] = ByteToDigitPair(image.ImageByte(ip + k));
  return p;
}

Refusal StoreNumberPlan4(ConfigImage& image, const ImageLayout& layout,
                         const std::vector<std::string>& exceptionTexts, Prefixes& prefixes) {
  if (layout.model() != DeviceModel::FourLine) return std::nullopt;
  for (auto& t : prefixes.mobile) t = CompletePrefix(t, 4);
  for (auto& t : prefixes.international) t = CompletePrefix(t, 2);

  // Check every entry before writing any, so a bad one leaves the image as it was.
  std::array<uint8_t, kExceptionCount> lengths{};
  for (int i = 0; i < kExceptionCount && i < static_cast<int>(exceptionTexts.size()); ++i) {
    if (!EntryLength(exceptionTexts[i], lengths[i])) return kLengthMessage;
  }
  const long base = layout.Offset(Field::AreaExceptions);
  for (int i = 0; i < kExceptionCount && i < static_cast<int>(exceptionTexts.size()); ++i) {
    const std::string& t = exceptionTexts[i];
    image.SetImageByte(base + 3 * i, DigitPairToByte(t.substr(0, 2)));
    image.SetImageByte(base + 3 * i + 1, DigitPairToByte(t.substr(2, 2)));
    image.SetImageByte(base + 3 * i + 2, lengths[i]);
  }
  const long mp = layout.Offset(Field::MobilePrefixes);
  for (int k = 0; k < 4; ++k) {
    image.SetImageByte(mp + 2 * k, DigitPairToByte(prefixes.mobile[k].substr(0, 2)));
    image.SetImageByte(mp + 2 * k + 1, DigitPairToByte(prefixes.mobile[k].substr(2, 2)));
  }
  const long ip = layout.Offset(Field::InternationalPrefixes);
  for (int k = 0; k < 2; ++k)
    image.SetImageByte(ip + k, DigitPairToByte(prefixes.international[k]));
  return std::nullopt;
}

CallInSettings DecodeCallIn(const ConfigImage& image, const ImageLayout& layout) {
  CallInSettings s;
  const uint8_t flags = image.ImageByte(layout.Offset(Field::GatewayFlags));
  s.foreign = (flags & 2) != 0;
  s.national = (flags & 1) != 0;
  const long number = layout.Offset(Field::CallInNumber);
  for (int i = 0; i < 24; ++i) {
    const uint8_t b = image.ImageByte(number + i);
    if (b == 0) break;
    s.number += static_cast<char>(b);
  }
  const long forbidden = layout.Offset(Field::ForbiddenAreaCodes);
  for (int k = 0; k < kForbiddenCount; ++k) {
    s.forbidden.push_back(ByteToDigitPair(image.ImageByte(forbidden + k)));
  }
  return s;
}

uint8_t RewriteGatewayFlags(uint8_t flags, bool foreign, bool national) {
  flags = foreign ? (flags | 2) : (flags & 1);
  flags = national ? (flags | 1) : (flags & 2);
  return flags;
}

void EncodeCallIn(ConfigImage& image, const ImageLayout& layout, const CallInSettings& s) {
  const long number = layout.Offset(Field::CallInNumber);
  std::string stored = s.number.substr(0, std::min<size_t>(s.number.size(), 24));
  stored.resize(24, '\0');
  image.SetBytes(number, stored);

  const long flags = layout.Offset(Field::GatewayFlags);
  image.SetImageByte(flags, RewriteGatewayFlags(image.ImageByte(flags), s.foreign, s.national));

  const long forbidden = layout.Offset(Field::ForbiddenAreaCodes);
  for (int k = 0; k < kForbiddenCount && k < static_cast<int>(s.forbidden.size()); ++k) {
    image.SetImageByte(forbidden + k, DigitPairToByte(s.forbidden[k]));
  }
}

std::string CompleteForbiddenEntry(const std::string& text) {
  std::string s = text;
  while (s.size() < 2) s += '?';
  return s;
}

}  // namespace tarvelo
