#include "model/Text.h"

#include <array>
#include <cstdint>

namespace tarvelo {
namespace {

// Code points of bytes 0x80..0xFF; the five undefined positions hold their C1 control.
constexpr std::array<char32_t, 128> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0083, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x0088, 0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179,  // 88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x0098, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A,  // 98
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7,  // A0
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,  // A8
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C,  // B8
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,  // C0
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,  // C8
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7,  // D0
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,  // D8
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,  // E0
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F,  // E8
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,  // F0
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,  // F8
};

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Decodes one UTF-8 sequence at `i`; returns false on a malformed one.
bool NextCodePoint(std::string_view s, size_t& i, char32_t& cp) {
  const auto b0 = static_cast<uint8_t>(s[i]);
  int extra = 0;
  if (b0 < 0x80) {
    cp = b0;
  } else if ((b0 & 0xE0) == 0xC0) {
    cp = b0 & 0x1F, extra = 1;
  } else if ((b0 & 0xF0) == 0xE0) {
    cp = b0 & 0x0F, extra = 2;
  } else if ((b0 & 0xF8) == 0xF0) {
    cp = b0 & 0x07, extra = 3;
  } else {
    return false;
  }
  if (extra > 0 && i + extra >= s.size()) return false;
  for (int k = 1; k <= extra; ++k) {
    const auto b = static_cast<uint8_t>(s[i + k]);
    if ((b & 0xC0) != 0x80) return false;
    cp = (cp << 6) | (b & 0x3F);
  }
  static constexpr char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
  if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
  i += extra + 1;
  return true;
}

}  // namespace

std::string Cp1250ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (char c : bytes) {
    const auto b = static_cast<uint8_t>(c);
    AppendUtf8(out, b < 0x80 ? char32_t(b) : kHigh[b - 0x80]);
  }
  return out;
}

std::optional<std::string> Utf8ToCp1250(std::string_view utf8, std::string* bad) {
  std::string out;
  out.reserve(utf8.size());
  size_t i = 0;
  while (i < utf8.size()) {
    const size_t start = i;
    char32_t cp = 0;
    if (!NextCodePoint(utf8, i, cp)) {
      if (bad) {
        static const char kHex[] = "0123456789ABCDEF";
        const auto b = static_cast<uint8_t>(utf8[start]);
        *bad = std::string("\\x") + kHex[b >> 4] + kHex[b & 15];
      }
      return std::nullopt;
    }
    if (cp < 0x80) {
      out += static_cast<char>(cp);
      continue;
    }
    int found = -1;
    for (int k = 0; k < 128; ++k) {
      if (kHigh[k] == cp) {
        found = k;
        break;
      }
    }
    if (found < 0) {
      if (bad) *bad = std::string(utf8.substr(start, i - start));
      return std::nullopt;
    }
    out += static_cast<char>(0x80 + found);
  }
  return out;
}

std::string EscapeControlBytes(std::string_view cp1250) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(cp1250.size());
  for (char c : cp1250) {
    const auto b = static_cast<uint8_t>(c);
    const bool c1 = b >= 0x80 && kHigh[b - 0x80] < 0xA0;
    if (b < 0x20 || b == 0x7F || c1) {
      out += "\\x";
      out += kHex[b >> 4];
      out += kHex[b & 15];
    } else if (c == '\\') {
      out += "\\\\";
    } else {
      out += c;
    }
  }
  return out;
}

std::string UnencodableMessage(const std::string& bad) {
  return "A(z) \"" + bad + "\" karakter nem használható (nincs a közép-európai kódlapban) !!!";
}

char Cp1250Lower(char byte) {
  const auto b = static_cast<uint8_t>(byte);
  if (b >= 'A' && b <= 'Z') return static_cast<char>(b + 0x20);
  // Capitals from 0xC0 pair with the letters 0x20 above them, the multiplication sign
  // excepted; the few capitals below 0xC0 are paired one by one.
  if (b >= 0xC0 && b <= 0xDE && b != 0xD7) return static_cast<char>(b + 0x20);
  switch (b) {
    case 0x8A:
    case 0x8C:
    case 0x8D:
    case 0x8E:
    case 0x8F:  // Š Ś Ť Ž Ź
      return static_cast<char>(b + 0x10);
    case 0xA3:
      return static_cast<char>(0xB3);  // Ł
    case 0xA5:
      return static_cast<char>(0xB9);  // Ą
    case 0xAA:
      return static_cast<char>(0xBA);  // Ş
    case 0xAF:
      return static_cast<char>(0xBF);  // Ż
    case 0xBC:
      return static_cast<char>(0xBE);  // Ľ
    default:
      return byte;
  }
}

std::string Numbered(long n, int digits) {
  std::string text = std::to_string(n);
  if (n >= 0 && static_cast<int>(text.size()) < digits) {
    // Built by appending: GCC 12 sees a phantom overlap in an inlined insert at -O3.
    std::string padded(static_cast<size_t>(digits) - text.size(), '0');
    padded += text;
    return padded;
  }
  return text;
}

std::string RightTrimmed(std::string text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

}  // namespace tarvelo
