// The PIN code table: decode into the code grid's cells, encode back, generation and the
// duplicate check.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "model/ConfigImage.h"
#include "model/General.h"
#include "model/ImageLayout.h"

namespace tarvelo {

constexpr int kMaxGeneratedCodes = 614;
// A code of 8 characters and its rights byte.
constexpr int kMaxCodeRecordLength = 9;

const std::vector<std::string>& RightHeadings();  // "Helyi", "Távolsági", "Mobil", "Nemzetközi"
constexpr const char* kYes = "Igen";
constexpr const char* kNo = "Nem";

struct CodeRow {
  std::string code;                   // Windows-1250
  std::array<std::string, 4> rights;  // "Igen" / "Nem" as the grid holds them
};

// The grid's cells below the heading row. Like the grid it stands for, it keeps the texts
// of rows cut off when the row count was lowered, and a row that never had texts reads
// as empty.
class CodeGrid {
 public:
  int rowCount() const { return rowCount_; }  // heading row included
  void setRowCount(int rows);
  // k from 1. Reading never changes the storage, so references to rows read earlier stay
  // good; writing gives the row (and those before it) storage of their own.
  const CodeRow& row(int k) const;
  CodeRow& row(int k);

 private:
  int rowCount_ = 2;
  std::vector<CodeRow> cells_;
};

struct CodeTableDecode {
  std::vector<std::string> messages;  // repair messages, in the order shown
  std::string countText;              // status panel 1, e.g. "100/6"
};
CodeTableDecode DecodeCodeTable(ConfigImage& image, const ImageLayout& layout, CodeGrid& grid);
void EncodeCodeTable(ConfigImage& image, const ImageLayout& layout, const CodeGrid& grid);

uint8_t RightsByte(const std::array<std::string, 4>& rights);

// Status panel 1: the code rows, a slash and the code length, e.g. "100/6".
std::string CodeCountText(const CodeGrid& grid, int recordLength);

// The grid's Down key on its last row: adds a row with every right granted (its code as the
// grid still holds it) while the table has room for another code of the stored length (as
// many as the preferences allow), and stores the new count at once.
// Returns whether a row was added.
bool AppendCodeRow(ConfigImage& image, const ImageLayout& layout, CodeGrid& grid);
// Ctrl+Delete on the last row: removes it while more than one code row is left. The stored
// count comes down with it, so the removed row does not return at the next decode.
bool RemoveLastCodeRow(ConfigImage& image, const ImageLayout& layout, CodeGrid& grid);

// Typing into the code column: only digits and backspace.
bool CodeKeyAccepted(char c);
// Typing into a rights column: "I"/"i" grants, "N"/"n" withdraws; other keys do nothing.
std::optional<std::string> RightForKey(char c);

// A code cell's text as the user edits it. Characters that cannot be typed into it (say,
// pasted letters) are dropped; a text longer than the code length is cut to it, which ends
// the edit.
struct EditedCode {
  std::string text;
  bool cut = false;
};
EditedCode TakeEditedCode(const std::string& typed, int recordLength);

// The rights popup menu's toggle: exactly "Igen" becomes "Nem", anything else "Igen".
std::string ToggledRight(const std::string& text);
// The double click's toggle: a text beginning with "I" becomes "Nem", anything else "Igen".
std::string ToggledRightByInitial(const std::string& text);
// A rights popup item on rows first..last: item 2..5 toggles that column, item 0 ("Tiltott")
// withdraws every right.
constexpr int kForbidAllItem = 0;
void ApplyRightsItem(CodeGrid& grid, int first, int last, int item);

// The next row from `current` on (wrapping, `current` itself last) whose code holds the
// sought digits, blanks ignored on both sides; 0 when none does or nothing is sought.
int FindCode(const CodeGrid& grid, int current, const std::string& sought);
constexpr const char* kNoSuchCodeMessage = "Nincs ilyen kód !";

// Draws a number uniformly from 0..bound-1.
using RandomSource = std::function<uint32_t(uint32_t bound)>;
// One generator for the process, seeded once from the clock.
RandomSource ClockSeededRandom();

// Fills the grid's rows 1..N with different random codes of the stored length, all rights
// granted. Refuses (grid unchanged) a count or length it cannot serve, also a count larger
// than the number of different codes there are, which would never finish. The caller
// decodes before and encodes after.
Refusal GenerateCodes(const ConfigImage& image, const ImageLayout& layout, CodeGrid& grid,
                      const RandomSource& random);

// Reports each pair of rows with equal codes, in order, until `report` returns false.
// Returns whether any pair was found.
std::string DuplicateCodeMessage(int i, int j);
constexpr const char* kNoDuplicatesMessage = "Nincs két egyforma kód !";
bool CheckDuplicateCodes(const CodeGrid& grid, const std::function<bool(int i, int j)>& report);

// Code record length and count as stored.
int StoredRecordLength(const ConfigImage& image, const ImageLayout& layout);
int StoredCodeCount(const ConfigImage& image, const ImageLayout& layout);
void StoreCodeCount(ConfigImage& image, const ImageLayout& layout, int n);
void StoreRecordLength(ConfigImage& image, const ImageLayout& layout, int recordLength);

// The most codes of `codeLength` digits the table can hold: as many as fit, but no more
// than there are different codes of that length. The exchange files, which know no model,
// size their limits by kCodeTableSize; a layout test holds it to the memory map of both models.
constexpr int kCodeTableSize = 3072;
int CodeCountLimit(int codeLength, int tableSize = kCodeTableSize);

}  // namespace tarvelo
