#include "model/Codecs.h"

#include <charconv>

namespace tarvelo {

std::string ByteToDigitPair(uint8_t b) {
  return {static_cast<char>(0x30 + (b >> 4)), static_cast<char>(0x30 + (b & 0x0F))};
}

uint8_t DigitPairToByte(std::string_view text) {
  if (text.size() != 2) return 0xEE;
  return static_cast<uint8_t>(((static_cast<uint8_t>(text[0]) & 0x0F) << 4) |
                              (static_cast<uint8_t>(text[1]) & 0x0F));
}

std::string ByteToHex(uint8_t b) {
  static const char kDigits[] = "0123456789ABCDEF";
  return {kDigits[b >> 4], kDigits[b & 0x0F]};
}

std::string ImageTextField(const ConfigImage& image, uint16_t base, uint8_t n, uint8_t k) {
  return image.Bytes(static_cast<long>(base) + static_cast<long>(n) * (static_cast<long>(k) - 1),
                     n);
}

std::string ExceptionEntryText(const ConfigImage& image, uint16_t base, uint8_t k) {
  const long e = static_cast<long>(base) + 3L * k;
  const uint8_t length = image.ImageByte(e + 2);
  return ByteToDigitPair(image.ImageByte(e)) + ByteToDigitPair(image.ImageByte(e + 1)) +
         (length < 10 ? "0" : "") + std::to_string(length);
}

std::string NormalizeNumber16(std::string_view text) {
  std::string s(text);
  size_t i = 0;
  while (s.size() > 0 && i + 1 < s.size()) {
    if (s[i] == ' ') {
      s.erase(i, 1);
    } else {
      ++i;
    }
  }
  if (s.size() < 16) s.append(16 - s.size(), ' ');
  return s;
}

bool ParseWholeNumber(std::string_view text, long& value) {
  // One sign at most, then digits only. from_chars takes a minus of its own, so "+-5" would
  // pass as -5 once the plus was dropped.
  const size_t digits = (!text.empty() && (text.front() == '+' || text.front() == '-')) ? 1 : 0;
  if (digits >= text.size()) return false;
  for (size_t i = digits; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  if (text.front() == '+') text.remove_prefix(1);
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end;
}

std::string TrimBlanks(std::string_view text) {
  size_t b = 0, e = text.size();
  while (b < e && static_cast<uint8_t>(text[b]) <= ' ') ++b;
  while (e > b && static_cast<uint8_t>(text[e - 1]) <= ' ') --e;
  return std::string(text.substr(b, e - b));
}

std::string WithoutBlanks(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (static_cast<uint8_t>(c) > ' ') out += c;
  }
  return out;
}

}  // namespace tarvelo
