// Number lengths, area-code exceptions, prefixes (page "Szám&hosszak") and call-in
// (page "&Behívás"). List entry texts are the pages' working copy; these functions take
// and return them so the pages stay thin.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "model/ConfigImage.h"
#include "model/General.h"
#include "model/ImageLayout.h"

namespace tarvelo {

constexpr int kExceptionCount = 16;
constexpr int kForbiddenCount = 64;

// The texts the lists hold before anything is decoded.
constexpr const char* kEmptyExceptionText = "====00";
constexpr const char* kEmptyForbiddenText = "??";

// 4-line entry texts ("062011"): computed in both models, used only in the 4-line one.
std::vector<std::string> DecodeExceptionTexts(const ConfigImage& image, const ImageLayout& layout);

// What an exception row shows (area code at the left, length in the middle). In the
// 16-line model the row is read from the image, not from the entry text.
struct ExceptionCells {
  std::string areaCode;
  std::string length;
};
ExceptionCells ExceptionRow(const ConfigImage& image, const ImageLayout& layout,
                            const std::string& entryText, int index);

// Whether the length box holds what the user typed, or still the length the entry had
// when it was selected. Only a typed length is held to 0..99: a stored one of 100..255 must
// survive an edit of the area code.
enum class LengthInput { Typed, AsSelected };

// "&Módosítás", 4-line model: the new entry text from the two edits, area code padded
// with "?" to 4 and length with leading "0" to 2. Refuses a typed length that is not 0..99.
Refusal MakeExceptionText(const std::string& areaCode, const std::string& length, LengthInput input,
                          std::string& text);
// "&Módosítás" and "&Törlés", 16-line model: straight into the image. A length as selected
// leaves the entry's length byte as it is.
Refusal EditException16(ConfigImage& image, const ImageLayout& layout, int index,
                        const std::string& areaCode, const std::string& length, LengthInput input);
void DeleteException16(ConfigImage& image, const ImageLayout& layout, int index);

// Empty becomes all "=", a shorter text is padded with "?".
std::string CompletePrefix(const std::string& text, size_t width);

struct Prefixes {
  std::array<std::string, 4> mobile;
  std::array<std::string, 2> international;
};
Prefixes DecodePrefixes(const ConfigImage& image, const ImageLayout& layout);

// `lbKivExit`: completes the prefix texts in place and stores the 16 entries and the
// prefixes. 4-line model only; does nothing in the other.
Refusal StoreNumberPlan4(ConfigImage& image, const ImageLayout& layout,
                         const std::vector<std::string>& exceptionTexts, Prefixes& prefixes);

// Call-in.
struct CallInSettings {
  std::string number;                  // Windows-1250, at most 24 characters
  bool foreign = false;                // chkIntGW, bit 1
  bool national = false;               // chkNatGW, bit 0
  std::vector<std::string> forbidden;  // 64 entry texts
};
CallInSettings DecodeCallIn(const ConfigImage& image, const ImageLayout& layout);
uint8_t RewriteGatewayFlags(uint8_t flags, bool foreign, bool national);
// `edBehivExit`: number, flags and all 64 forbidden area codes.
void EncodeCallIn(ConfigImage& image, const ImageLayout& layout, const CallInSettings& settings);
// "&Felvesz": the entry text from the edit, padded with "?" to 2.
std::string CompleteForbiddenEntry(const std::string& text);

}  // namespace tarvelo
