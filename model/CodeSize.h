// The size of the code table as the Preferences dialog sets it: the code length and how
// many codes of that length there are.
#pragma once

#include "model/ConfigImage.h"
#include "model/General.h"
#include "model/ImageLayout.h"

namespace tarvelo {

constexpr int kMinCodeLength = 2;
constexpr int kMaxCodeLength = 8;

// The largest count for a code length, as the Preferences dialog allows it: as many records
// as the table holds, but no more than there are different codes of that length.
int MaxCodeCount(const ImageLayout& layout, int codeLength);

// Stores the count and the record length (code length + 1). Where the dialog's spin boxes
// hold their values to the limits, a value given as text is refused; nothing is stored then.
Refusal StoreCodeSize(ConfigImage& image, const ImageLayout& layout, int count, int codeLength);

}  // namespace tarvelo
