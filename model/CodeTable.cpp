#include "model/CodeTable.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <random>
#include <utility>

#include "model/Codecs.h"

namespace tarvelo {

const std::vector<std::string>& RightHeadings() {
  static const std::vector<std::string> items = {"Helyi", "Távolsági", "Mobil", "Nemzetközi"};
  return items;
}

void CodeGrid::setRowCount(int rows) {
  rowCount_ = rows < 2 ? 2 : rows;
}

const CodeRow& CodeGrid::row(int k) const {
  static const CodeRow kNeverWritten;
  if (k < 1 || k > static_cast<int>(cells_.size())) return kNeverWritten;
  return cells_[k - 1];
}

CodeRow& CodeGrid::row(int k) {
  if (k >= static_cast<int>(cells_.size()) + 1) cells_.resize(k);
  return cells_[k - 1];
}

int StoredRecordLength(const ConfigImage& image, const ImageLayout& layout) {
  return image.ImageByte(layout.Offset(Field::CodeRecordLength));
}

int StoredCodeCount(const ConfigImage& image, const ImageLayout& layout) {
  const long at = layout.Offset(Field::CodeCount);
  return image.ImageByte(at) | (image.ImageByte(at + 1) << 8);
}

void StoreCodeCount(ConfigImage& image, const ImageLayout& layout, int n) {
  const long at = layout.Offset(Field::CodeCount);
  image.SetImageByte(at, static_cast<uint8_t>(n & 0xFF));
  image.SetImageByte(at + 1, static_cast<uint8_t>((n >> 8) & 0xFF));
}

void StoreRecordLength(ConfigImage& image, const ImageLayout& layout, int recordLength) {
  image.SetImageByte(layout.Offset(Field::CodeRecordLength), static_cast<uint8_t>(recordLength));
}

int CodeCountLimit(int codeLength, int tableSize) {
  if (codeLength < 1) return 0;
  long different = 1;
  for (int i = 0; i < codeLength && different <= tableSize; ++i) different *= 10;
  return static_cast<int>(std::min<long>(different, tableSize / (codeLength + 1)));
}

namespace {

// Where record k (from 1) of length L starts.
long RecordStart(const ImageLayout& layout, int k, int L) {
  return layout.Offset(Field::CodeTable) + static_cast<long>(k - 1) * L;
}

// Whether record k of length L lies inside the table.
bool RecordFits(const ImageLayout& layout, int k, int L) {
  return L >= 1 && static_cast<long>(k) * L <= layout.Size(Field::CodeTable);
}

}  // namespace

CodeTableDecode DecodeCodeTable(ConfigImage& image, const ImageLayout& layout, CodeGrid& grid) {
  CodeTableDecode out;
  int L = StoredRecordLength(image, layout);
  int N = StoredCodeCount(image, layout);
  const int size = layout.Size(Field::CodeTable);
  if (N * L > size) {
    out.messages.push_back("Érvénytelen kódmennyiség! Az adatbázis sérült lehet.");
    if (L > kMaxCodeRecordLength) {
      out.messages.push_back("Jelzett kód hosszúság:" + std::to_string(L) + "\rBeállítom " +
                             std::to_string(kMaxCodeRecordLength - 1) + "-ra (maximum)");
      L = kMaxCodeRecordLength;
      image.SetImageByte(layout.Offset(Field::CodeRecordLength), kMaxCodeRecordLength);
    }
    if (N * L > size) {
      const int fitting = size / kMaxCodeRecordLength;  // of the longest records
      out.messages.push_back("Jelzett kód mennyiség:" + std::to_string(N) + "\rBeállítom " +
                             std::to_string(fitting) + "-ra (maximum)");
      N = fitting;
      StoreCodeCount(image, layout, N);
    }
  }
  if (N > 0) {
    grid.setRowCount(N + 1);
  } else {
    grid.setRowCount(2);
    grid.row(1) = {" ", {kYes, kYes, kYes, kYes}};
  }
  for (int k = 1; k <= N; ++k) {
    CodeRow& row = grid.row(k);
    // A record length of 0 or 1 holds no code characters; such a table is shown empty.
    if (!RecordFits(layout, k, L)) {
      row = {"", {kNo, kNo, kNo, kNo}};
      continue;
    }
    const long start = RecordStart(layout, k, L);
    row.code = image.Bytes(start, L - 1);
    const uint8_t rights = image.ImageByte(start + L - 1);
    for (int r = 0; r < 4; ++r) row.rights[r] = (rights >> r) & 1 ? kYes : kNo;
  }
  out.countText = CodeCountText(grid, L);
  return out;
}

std::string CodeCountText(const CodeGrid& grid, int recordLength) {
  return std::to_string(grid.rowCount() - 1) + "/" + std::to_string(recordLength - 1);
}

bool AppendCodeRow(ConfigImage& image, const ImageLayout& layout, CodeGrid& grid) {
  const int L = StoredRecordLength(image, layout);
  // As many codes as the preferences allow for this length, no fewer.
  if (L < 1 || grid.rowCount() - 1 >= CodeCountLimit(L - 1, layout.Size(Field::CodeTable)))
    return false;
  grid.setRowCount(grid.rowCount() + 1);
  grid.row(grid.rowCount() - 1).rights = {kYes, kYes, kYes, kYes};
  StoreCodeCount(image, layout, grid.rowCount() - 1);
  return true;
}

bool RemoveLastCodeRow(ConfigImage& image, const ImageLayout& layout, CodeGrid& grid) {
  if (grid.rowCount() <= 2) return false;
  grid.setRowCount(grid.rowCount() - 1);
  const int rows = grid.rowCount() - 1;
  if (StoredCodeCount(image, layout) > rows) StoreCodeCount(image, layout, rows);
  return true;
}

bool CodeKeyAccepted(char c) {
  return (c >= '0' && c <= '9') || c == '\b';
}

std::optional<std::string> RightForKey(char c) {
  if (c == 'I' || c == 'i') return kYes;
  if (c == 'N' || c == 'n') return kNo;
  return std::nullopt;
}

EditedCode TakeEditedCode(const std::string& typed, int recordLength) {
  EditedCode out;
  for (char c : typed) {
    if ((c >= '0' && c <= '9') || c == ' ') out.text += c;
  }
  const size_t length = recordLength > 1 ? recordLength - 1 : 0;
  if (out.text.size() > length) {
    out.text.resize(length);
    out.cut = true;
  }
  return out;
}

std::string ToggledRight(const std::string& text) {
  return text == kYes ? kNo : kYes;
}

std::string ToggledRightByInitial(const std::string& text) {
  return !text.empty() && text[0] == 'I' ? kNo : kYes;
}

void ApplyRightsItem(CodeGrid& grid, int first, int last, int item) {
  if (item != kForbidAllItem && (item < 2 || item > 5)) return;
  first = std::max(first, 1);
  last = std::min(last, grid.rowCount() - 1);
  for (int k = first; k <= last; ++k) {
    auto& rights = grid.row(k).rights;
    if (item == kForbidAllItem) {
      rights = {kNo, kNo, kNo, kNo};
    } else {
      rights[item - 2] = ToggledRight(rights[item - 2]);
    }
  }
}

int FindCode(const CodeGrid& grid, int current, const std::string& sought) {
  const std::string wanted = WithoutBlanks(sought);
  const int rows = grid.rowCount() - 1;
  if (wanted.empty() || rows < 1) return 0;
  if (current < 1 || current > rows) current = rows;  // so the search starts at row 1
  for (int step = 1; step <= rows; ++step) {
    const int k = (current - 1 + step) % rows + 1;
    if (WithoutBlanks(grid.row(k).code).find(wanted) != std::string::npos) return k;
  }
  return 0;
}

uint8_t RightsByte(const std::array<std::string, 4>& rights) {
  uint8_t b = 0x30;
  for (int r = 0; r < 4; ++r) {
    if (!rights[r].empty() && rights[r][0] == 'I') b += static_cast<uint8_t>(1 << r);
  }
  return b;
}

void EncodeCodeTable(ConfigImage& image, const ImageLayout& layout, const CodeGrid& grid) {
  const int L = StoredRecordLength(image, layout);
  int N = StoredCodeCount(image, layout);
  if (N + 1 < grid.rowCount()) {
    N = grid.rowCount() - 1;
    StoreCodeCount(image, layout, N);
  }
  // Records that would run past the table are not written.
  for (int k = 1; k <= N && RecordFits(layout, k, L); ++k) {
    const long start = RecordStart(layout, k, L);
    const CodeRow& row = grid.row(k);
    std::string code = row.code + "        ";
    code.resize(L - 1, ' ');
    image.SetBytes(start, code);
    image.SetImageByte(start + L - 1, RightsByte(row.rights));
  }
}

RandomSource ClockSeededRandom() {
  static std::mt19937 engine(static_cast<std::mt19937::result_type>(
      std::chrono::system_clock::now().time_since_epoch().count()));
  return
      [](uint32_t bound) { return std::uniform_int_distribution<uint32_t>(0, bound - 1)(engine); };
}

Refusal GenerateCodes(const ConfigImage& image, const ImageLayout& layout, CodeGrid& grid,
                      const RandomSource& random) {
  const int N = StoredCodeCount(image, layout);
  const int L = StoredRecordLength(image, layout);
  if (N > kMaxGeneratedCodes) return "Értelmetlen adat: Kódok darabszáma:" + std::to_string(N);
  if (L < 3 || L > kMaxCodeRecordLength)
    return "Értelmetlen adat: Kódok hossza:" + std::to_string(L);
  const int length = L - 1;
  double range = std::pow(10.0, length);
  double scale = 1.0;
  if (range >= 65535) {
    scale = range / 65535.0;
    range = 65535;
  }
  // Scaled draws stay different from each other (the scale is above 1), so the number of
  // different codes is the range itself.
  if (N > range) {
    return "Értelmetlen adat: " + std::to_string(length) + " jegyű kódból csak " +
           std::to_string(static_cast<long>(range)) + " különböző van, " + std::to_string(N) +
           " nem generálható !!!";
  }
  if (grid.rowCount() < N + 1) grid.setRowCount(N + 1);
  for (int i = 1; i <= N; ++i) {
    std::string code;
    bool repeated = true;
    while (repeated) {
      const uint32_t r = random(static_cast<uint32_t>(range));
      const long value = std::lround(r * scale);
      code = std::to_string(value);
      if (static_cast<int>(code.size()) < length) code.insert(0, length - code.size(), '0');
      repeated = false;
      for (int j = 1; j < i && !repeated; ++j) repeated = std::as_const(grid).row(j).code == code;
    }
    grid.row(i) = {code, {kYes, kYes, kYes, kYes}};
  }
  return std::nullopt;
}

std::string DuplicateCodeMessage(int i, int j) {
  return "Kód eggyezés:" + std::to_string(i) + " = " + std::to_string(j);
}

bool CheckDuplicateCodes(const CodeGrid& grid, const std::function<bool(int, int)>& report) {
  bool found = false;
  for (int i = 1; i < grid.rowCount(); ++i) {
    for (int j = i + 1; j < grid.rowCount(); ++j) {
      if (grid.row(i).code == grid.row(j).code) {
        found = true;
        if (!report(i, j)) return true;
      }
    }
  }
  return found;
}

}  // namespace tarvelo
