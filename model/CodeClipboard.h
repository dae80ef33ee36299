// The code grid and the number list as a spreadsheet edits them: text taken from the
// clipboard as rows, rows written as clipboard text, rows inserted, deleted and sorted.
// Texts are Windows-1250; the clipboard's own form is the window's business.
#pragma once

#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "model/CodeTable.h"
#include "model/General.h"

namespace tarvelo {

// Clipboard text as code rows: a line per row (CR LF, LF or CR ends it; blank lines at the
// end are no rows), fields split by tabs or by ";". The first field is the code, the next
// four the rights in the grid's order. A code is checked as a typed one: digits only, at
// most `codeLength` of them (the blanks around it do not count). A right is granted by
// "Igen", "I", "1", "x", the column's heading or the code text file's word for it, and
// withdrawn by "Nem", "N", "0" or nothing; a line of a code alone gets every right, as a new
// row does. The rows go in from `firstRow` on, and the last may not lie beyond `lastAllowed`.
// A text that cannot go in whole is refused, naming the first line it cannot take and why.
struct CodePaste {
  std::vector<CodeRow> rows;
  Refusal refused;
};
CodePaste ReadCodeClipboard(std::string_view text, int codeLength, int firstRow, int lastAllowed);

// The last row a paste or an insert may reach: as many codes as the table holds of that
// length, or the rows already there when a stored table holds more.
int LastCodeRowAllowed(const CodeGrid& grid, int codeLength);

// Reads the text and puts its rows into the grid from `firstRow` down, adding rows as
// needed; a refused text leaves the grid as it was. Returns the number of rows put in.
struct PasteResult {
  int rows = 0;
  Refusal refused;
};
PasteResult PasteCodes(CodeGrid& grid, std::string_view text, int firstRow, int codeLength);

// Rows first..last as the paste reads them: the code without the blanks after it, a tab,
// the four rights as the grid shows them, a line feed after each row.
std::string CodeClipboardText(const CodeGrid& grid, int first, int last);

// A blank row (no code, every right, as Down adds it) at row `at`, the rows from there on
// one lower; refused (false) when the table has no room for another code.
bool InsertCodeRow(CodeGrid& grid, int at, int codeLength);
// Removes rows first..last; the rows below move up. One row always stays: removing every
// row leaves the blank row of an empty table. Returns the number of rows removed. The rows
// that moved up leave nothing behind, so a row added later starts empty.
int DeleteCodeRows(CodeGrid& grid, int first, int last);
// Orders the rows by code, each with its rights; rows without a code come last.
void SortCodeRows(CodeGrid& grid, bool ascending);

// Clipboard text as free-call numbers: each line (blank ones skipped, as the number file's
// are) is one number, stored as a typed one is (blanks dropped, padded to 16). Refused,
// naming the line: a number longer than 16 characters, one holding a control character or
// a second column, one the list or an earlier line already has, and the first that no
// longer fits the list's `capacity`.
struct NumberPaste {
  std::vector<std::string> numbers;
  Refusal refused;
};
NumberPaste ReadNumberClipboard(std::string_view text, const std::vector<std::string>& items,
                                int capacity);
// The chosen items, one a line, without the blanks that pad them.
std::string NumberClipboardText(const std::vector<std::string>& items, const std::set<int>& chosen);

}  // namespace tarvelo
