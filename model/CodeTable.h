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
  const CodeRow& row(int k) const;  // k from 1
  CodeRow& row(int k);

 private:
  int rowCount_ = 2;
  mutable std::vector<CodeRow> cells_;
};

struct CodeTableDecode {
  std::vector<std::string> messages;  // repair messages, in the order shown
  std::string countText;              // status panel 1, e.g. "100/6"
};
CodeTableDecode DecodeCodeTable(ConfigImage& image, const ImageLayout& layout, CodeGrid& grid);
void EncodeCodeTable(ConfigImage& image, const ImageLayout& layout, const CodeGrid& grid);

uint8_t RightsByte(const std::array<std::string, 4>& rights);

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

}  // namespace tarvelo
