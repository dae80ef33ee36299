// The size of the code table: how many codes there are and how many digits each has. The
// Preferences dialog and the command line's `apply` change it through the one rule here.
#pragma once

#include "model/CodeTable.h"
#include "model/ConfigImage.h"
#include "model/General.h"
#include "model/ImageLayout.h"

namespace tarvelo {

constexpr int kMinCodeLength = 2;
constexpr int kMaxCodeLength = 8;

// The largest count for a code length, as the Preferences dialog allows it: as many records
// as the table holds, but no more than there are different codes of that length.
int MaxCodeCount(const ImageLayout& layout, int codeLength);

// The boxes' own limits, checked as each is left: a new length of 2..8, a count up to what
// the length allows. The size as stored passes, whatever it is: a table that lies outside
// these limits (an imported one, or a device's) stays as it is until the user changes it.
Refusal CheckCodeLength(const ConfigImage& image, const ImageLayout& layout, int codeLength);
Refusal CheckCodeCount(const ConfigImage& image, const ImageLayout& layout, int count,
                       int codeLength);

// The rule for a new count and code length. `codes` holds the table as it is to be kept
// (row k is code k, at any length; the page's grid, or what `apply` makes of it), rights
// as the grid holds them.
//
// A new length re-lays every record at the new record length: each code is kept, padded
// with blanks when it grows, and what the old records held past the new ones is blanked. A
// table whose codes would be cut, or that would no longer fit its bytes (or hold more codes
// than that length has), is refused with a reason naming how many codes, and nothing is
// stored. At the same length only the count changes; the records it adds are written from
// `codes`, so that the table reads as the grid shows it (a row never filled is a blank code
// without rights). Records a lower count leaves behind stay as they are. The size as stored
// is no change at all.
Refusal CheckCodeSize(const ConfigImage& image, const ImageLayout& layout, int count,
                      int codeLength, const CodeGrid& codes);
Refusal StoreCodeSize(ConfigImage& image, const ImageLayout& layout, int count, int codeLength,
                      const CodeGrid& codes);
// The same with the codes as the image holds them, rights bytes kept as they are.
Refusal StoreCodeSize(ConfigImage& image, const ImageLayout& layout, int count, int codeLength);

}  // namespace tarvelo
