#include "model/CodeClipboard.h"

#include <algorithm>
#include <utility>

#include "model/Codecs.h"
#include "model/FreeNumbers.h"
#include "model/Text.h"

namespace tarvelo {

namespace {

// Lines as CR LF, LF or CR end them; blank lines after the last row are no rows.
std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    lines.push_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  while (!lines.empty() && lines.back().find_first_not_of(' ') == std::string_view::npos)
    lines.pop_back();
  return lines;
}

std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  size_t start = 0;
  for (size_t i = 0; i <= line.size(); ++i) {
    if (i < line.size() && line[i] != '\t' && line[i] != ';') continue;
    fields.push_back(line.substr(start, i - start));
    start = i + 1;
  }
  return fields;
}

// A field without the blanks around it and without the quotes a spreadsheet may put
// around a text.
std::string_view Bare(std::string_view field) {
  auto trim = [](std::string_view s) {
    const size_t first = s.find_first_not_of(' ');
    if (first == std::string_view::npos) return std::string_view();
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
  };
  field = trim(field);
  if (field.size() >= 2 && field.front() == '"' && field.back() == '"')
    field = trim(field.substr(1, field.size() - 2));
  return field;
}

// A text from the clipboard quoted in a message: shown in UTF-8, long ones cut.
std::string Quoted(std::string_view cp1250) {
  constexpr size_t kShown = 24;
  std::string shown = Cp1250ToUtf8(EscapeControlBytes(cp1250.substr(0, kShown)));
  if (cp1250.size() > kShown) shown += "...";
  return "\"" + shown + "\"";
}

// "az" before the numbers read out with a vowel first (1, 5, 50, 1000...), "a" otherwise.
std::string Article(long n) {
  const std::string digits = std::to_string(n);
  const bool vowel =
      digits[0] == '5' ||
      (digits[0] == '1' && (digits.size() == 1 || digits.size() == 4 || digits.size() == 7));
  return vowel ? "az" : "a";
}

std::string LineName(int line) {
  return "A vágólap " + std::to_string(line) + ". sor";
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = Cp1250Lower(c);
  return out;
}

// 1 granted, 0 withdrawn, -1 not a right.
int ReadRight(std::string_view field, int column) {
  static const char* const kWords[4] = {"helyi", "t\xE1v", "mobil", "nemz"};
  static const char* const kHeadings[4] = {"helyi", "t\xE1vols\xE1gi", "mobil", "nemzetk\xF6zi"};
  const std::string word = Lower(Bare(field));
  for (const char* yes : {"igen", "i", "1", "x"}) {
    if (word == yes) return 1;
  }
  if (word == kWords[column] || word == kHeadings[column]) return 1;
  for (const char* no : {"nem", "n", "0", ""}) {
    if (word == no) return 0;
  }
  return -1;
}

bool AllDigits(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

int LastCodeRowAllowed(const CodeGrid& grid, int codeLength) {
  return std::max(CodeCountLimit(codeLength), grid.rowCount() - 1);
}

CodePaste ReadCodeClipboard(std::string_view text, int codeLength, int firstRow, int lastAllowed) {
  CodePaste out;
  const std::vector<std::string_view> lines = Lines(text);
  for (size_t i = 0; i < lines.size(); ++i) {
    const int line = static_cast<int>(i) + 1;
    const std::string name = LineName(line);
    if (firstRow + static_cast<long>(i) > lastAllowed) {
      out.refused = name + "a már nem fér el: a táblában legfeljebb " +
                    std::to_string(std::max(lastAllowed, 0)) + " kód lehet !!!";
      break;
    }
    if (lines[i].find_first_not_of(' ') == std::string_view::npos) {
      out.refused = name + "a üres !!!";
      break;
    }
    const std::vector<std::string_view> fields = Fields(lines[i]);
    const std::string_view code = Bare(fields[0]);
    if (!AllDigits(code)) {
      out.refused = name + "ában a kód (" + Quoted(code) + ") nem csak számjegyekből áll !!!";
      break;
    }
    if (static_cast<long>(code.size()) > codeLength) {
      out.refused = name + "ában a kód (" + Quoted(code) + ") hosszabb " +
                    std::to_string(std::max(codeLength, 0)) + " jegynél !!!";
      break;
    }
    CodeRow row{std::string(code), {kYes, kYes, kYes, kYes}};
    for (size_t f = 5; f < fields.size() && !out.refused; ++f) {
      if (!Bare(fields[f]).empty()) {
        out.refused = name + "ában a kód és a négy jog után még adat áll (" +
                      Quoted(Bare(fields[f])) + ") !!!";
      }
    }
    if (out.refused) break;
    // With only the code given every right is granted; once rights are given, a missing one
    // is an empty cell, as a spreadsheet leaves out the empty cells at a line's end.
    for (int r = 0; r < 4 && fields.size() > 1; ++r) {
      const size_t f = static_cast<size_t>(r) + 1;
      const int granted = f < fields.size() ? ReadRight(fields[f], r) : 0;
      if (granted < 0) {
        out.refused = name + "ában a \"" + RightHeadings()[r] + "\" oszlopban " +
                      Quoted(Bare(fields[f])) + " áll; Igen vagy Nem lehet !!!";
        break;
      }
      row.rights[r] = granted ? kYes : kNo;
    }
    if (out.refused) break;
    out.rows.push_back(std::move(row));
  }
  if (out.refused) out.rows.clear();
  return out;
}

PasteResult PasteCodes(CodeGrid& grid, std::string_view text, int firstRow, int codeLength) {
  PasteResult out;
  if (firstRow < 1) firstRow = 1;
  CodePaste read =
      ReadCodeClipboard(text, codeLength, firstRow, LastCodeRowAllowed(grid, codeLength));
  if (read.refused) {
    out.refused = std::move(read.refused);
    return out;
  }
  const int n = static_cast<int>(read.rows.size());
  for (int i = 0; i < n; ++i) grid.row(firstRow + i) = std::move(read.rows[i]);
  if (firstRow + n > grid.rowCount()) grid.setRowCount(firstRow + n);
  out.rows = n;
  return out;
}

std::string CodeClipboardText(const CodeGrid& grid, int first, int last) {
  std::string out;
  first = std::max(first, 1);
  last = std::min(last, grid.rowCount() - 1);
  for (int k = first; k <= last; ++k) {
    const CodeRow& row = grid.row(k);
    std::string code = row.code;
    code.erase(code.find_last_not_of(' ') + 1);
    out += code;
    for (const std::string& right : row.rights) {
      out += '\t';
      out += !right.empty() && right[0] == 'I' ? kYes : kNo;
    }
    out += '\n';
  }
  return out;
}

bool InsertCodeRow(CodeGrid& grid, int at, int codeLength) {
  const int rows = grid.rowCount() - 1;
  if (at < 1 || at > rows + 1) return false;
  if (rows + 1 > std::max(CodeCountLimit(codeLength), rows)) return false;
  grid.setRowCount(rows + 2);
  // A copy first: writing a row may move the storage the row read lies in.
  for (int k = rows + 1; k > at; --k) {
    CodeRow above = std::as_const(grid).row(k - 1);
    grid.row(k) = std::move(above);
  }
  grid.row(at) = {"", {kYes, kYes, kYes, kYes}};
  return true;
}

int DeleteCodeRows(CodeGrid& grid, int first, int last) {
  const int rows = grid.rowCount() - 1;
  first = std::max(first, 1);
  last = std::min(last, rows);
  if (first > last) return 0;
  const int removed = last - first + 1;
  for (int k = first; k + removed <= rows; ++k) {
    CodeRow below = std::as_const(grid).row(k + removed);
    grid.row(k) = std::move(below);
  }
  for (int k = std::max(rows - removed + 1, 1); k <= rows; ++k) grid.row(k) = CodeRow{};
  if (removed >= rows) {
    // The grid of an empty table.
    grid.setRowCount(2);
    grid.row(1) = {" ", {kYes, kYes, kYes, kYes}};
  } else {
    grid.setRowCount(rows - removed + 1);
  }
  return removed;
}

void SortCodeRows(CodeGrid& grid, bool ascending) {
  const int rows = grid.rowCount() - 1;
  std::vector<std::pair<std::string, CodeRow>> keyed;
  keyed.reserve(static_cast<size_t>(std::max(rows, 0)));
  for (int k = 1; k <= rows; ++k) {
    const CodeRow& row = std::as_const(grid).row(k);
    std::string key = row.code;
    key.erase(key.find_last_not_of(' ') + 1);
    key.erase(0, std::min(key.find_first_not_of(' '), key.size()));
    keyed.emplace_back(std::move(key), row);
  }
  std::stable_sort(keyed.begin(), keyed.end(), [ascending](const auto& a, const auto& b) {
    if (a.first.empty() || b.first.empty()) return !a.first.empty() && b.first.empty();
    return ascending ? a.first < b.first : b.first < a.first;
  });
  for (int k = 1; k <= rows; ++k) grid.row(k) = std::move(keyed[static_cast<size_t>(k - 1)].second);
}

NumberPaste ReadNumberClipboard(std::string_view text, const std::vector<std::string>& items,
                                int capacity) {
  NumberPaste out;
  std::vector<int> lineOf;  // the clipboard line each number came from
  const std::vector<std::string_view> lines = Lines(text);
  const int room = std::max(capacity - static_cast<int>(items.size()), 0);
  for (size_t i = 0; i < lines.size(); ++i) {
    const int line = static_cast<int>(i) + 1;
    const std::string name = LineName(line);
    const std::vector<std::string_view> fields = Fields(lines[i]);
    const std::string typed = TrimBlanks(Bare(fields[0]));
    for (size_t f = 1; f < fields.size() && !out.refused; ++f) {
      if (!Bare(fields[f]).empty())
        out.refused = name + "ában a szám után még adat áll (" + Quoted(Bare(fields[f])) + ") !!!";
    }
    if (out.refused) break;
    if (typed.empty()) continue;
    if (std::any_of(typed.begin(), typed.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; })) {
      out.refused = name + "ában a szám vezérlőkaraktert tartalmaz (" + Quoted(typed) + ") !!!";
      break;
    }
    std::string number = NormalizeNumber16(typed);
    if (number.size() > static_cast<size_t>(kFreeNumberWidth)) {
      out.refused = name + "ában a szám (" + Quoted(typed) + ") hosszabb " +
                    std::to_string(kFreeNumberWidth) + " karakternél !!!";
      break;
    }
    if (std::find(items.begin(), items.end(), number) != items.end()) {
      out.refused =
          name + "ának száma (" + Quoted(TrimBlanks(number)) + ") már bent van a listában !!!";
      break;
    }
    const auto earlier = std::find(out.numbers.begin(), out.numbers.end(), number);
    if (earlier != out.numbers.end()) {
      const int other = lineOf[static_cast<size_t>(earlier - out.numbers.begin())];
      out.refused = name + "ának száma (" + Quoted(TrimBlanks(number)) + ") " + Article(other) +
                    " " + std::to_string(other) + ". sorban is szerepel !!!";
      break;
    }
    if (static_cast<int>(out.numbers.size()) >= room) {
      out.refused = name + "a már nem fér el: a listában legfeljebb " +
                    std::to_string(std::max(capacity, 0)) + " szám lehet !!!";
      break;
    }
    out.numbers.push_back(std::move(number));
    lineOf.push_back(line);
  }
  if (out.refused) out.numbers.clear();
  return out;
}

std::string NumberClipboardText(const std::vector<std::string>& items,
                                const std::set<int>& chosen) {
  std::string out;
  for (int i : chosen) {
    if (i < 0 || i >= static_cast<int>(items.size())) continue;
    out += TrimBlanks(items[static_cast<size_t>(i)]);
    out += '\n';
  }
  return out;
}

}  // namespace tarvelo
