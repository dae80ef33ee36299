// Small conversions between image bytes and the texts the pages show and the device reads.
// The device reads the same bytes, so each rule is exact, quirks included.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "model/ConfigImage.h"

namespace tarvelo {

// High nibble first; nibbles 10..15 come out as ':' ';' '<' '=' '>' '?'.
std::string ByteToDigitPair(uint8_t b);
// Every character gives its low four bits; any length but 2 gives 0xEE.
uint8_t DigitPairToByte(std::string_view text);
std::string ByteToHex(uint8_t b);
// Record k (from 1) of a table of n-byte fields starting at `base`.
std::string ImageTextField(const ConfigImage& image, uint16_t base, uint8_t n, uint8_t k);
// Entry k (from 0) of the 3-byte exception table: four digits, then the length with at
// least two digits.
std::string ExceptionEntryText(const ConfigImage& image, uint16_t base, uint8_t k);
// Drops spaces (the last character is not examined) and pads with spaces to 16.
std::string NormalizeNumber16(std::string_view text);

// Whole decimal number with an optional sign, nothing else; blanks are the caller's business.
bool ParseWholeNumber(std::string_view text, long& value);
// Drops leading and trailing blanks and control characters.
std::string TrimBlanks(std::string_view text);
// Drops every blank and control character, wherever it stands (how searches compare).
std::string WithoutBlanks(std::string_view text);

}  // namespace tarvelo
