#include "files/ExchangeFiles.h"

#include <algorithm>

#include "files/SafeFile.h"
#include "model/FreeNumbers.h"

namespace tarvelo {
namespace {

constexpr int kMinCodeLength = 2;
constexpr int kMaxCodeLength = kMaxCodeRecordLength - 1;
constexpr const char* kUnchanged = " A kódtábla nem változott.";
constexpr const char* kListUnchanged = " A lista nem változott.";

// The lines of a text file: LF ends a line, a CR before it belongs to the line end, and
// nothing after the last line end is a line of its own.
std::vector<std::string_view> Lines(std::string_view bytes) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    const size_t next = end == std::string_view::npos ? bytes.size() : end + 1;
    if (end == std::string_view::npos) end = bytes.size();
    std::string_view line = bytes.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    start = next;
  }
  return lines;
}

// The lines of a number file as any editor shows them: CR LF, LF and CR alone each end a
// line. `lastEnded` says whether the bytes end with a line end.
std::vector<std::string_view> AnyEndLines(std::string_view bytes, bool* lastEnded) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start < bytes.size()) {
    const size_t end = bytes.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      lines.push_back(bytes.substr(start));
      *lastEnded = false;
      return lines;
    }
    lines.push_back(bytes.substr(start, end - start));
    start = end + 1;
    if (bytes[end] == '\r' && start < bytes.size() && bytes[start] == '\n') ++start;
  }
  *lastEnded = true;
  return lines;
}

std::string_view BeforeTab(std::string_view line) {
  return line.substr(0, std::min(line.find('\t'), line.size()));
}

// Blanks and control characters at both ends are not part of a code.
std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
  return s;
}

std::string LengthRange() {
  return std::to_string(kMinCodeLength) + ".." + std::to_string(kMaxCodeLength);
}

// Whether `count` codes of `codeLength` digits fit the table; the reason if not.
Refusal CheckTableSize(int codeLength, long count, const ImageLayout& layout) {
  const long size = layout.Size(Field::CodeTable);
  if (count * (codeLength + 1) > size) {
    return "A fájl " + std::to_string(count) +
           " kódja nem fér el a kódtáblában: " + std::to_string(codeLength) +
           " jegyű kódból legfeljebb " + std::to_string(size / (codeLength + 1)) + " lehet !!!" +
           kUnchanged;
  }
  return std::nullopt;
}

// A PIN.DAT header: its record length holds the code and the rights byte.
Refusal CheckPinDatHeader(int L, long count, const ImageLayout& layout) {
  if (L < 2) {
    return "A fájl fejlécében a rekordhossz " + std::to_string(L) +
           ", ebben kód nem fér el; a rekordhossz " + std::to_string(kMinCodeLength + 1) + ".." +
           std::to_string(kMaxCodeLength + 1) + " lehet (a kód és a jogok bájtja) !!!" + kUnchanged;
  }
  if (L - 1 < kMinCodeLength || L - 1 > kMaxCodeLength) {
    return "A fájl fejléce szerint a kódok " + std::to_string(L - 1) + " jegyűek; a kód " +
           LengthRange() + " jegyű lehet !!!" + kUnchanged;
  }
  return CheckTableSize(L - 1, count, layout);
}

// The table holds codes of digits, shorter ones padded with blanks; anything else in a file
// (letters, control characters, another file read by mistake) is no code the device can take.
// `hint` tells the user more about where the code came from.
Refusal CheckCodeCharacters(std::string_view code, int k, const char* hint = "") {
  for (char c : code) {
    if ((c < '0' || c > '9') && c != ' ') {
      return "A fájl " + std::to_string(k) + ". kódjában nem számjegy is van" + hint + " !!!" +
             kUnchanged;
    }
  }
  return std::nullopt;
}

bool Granted(const std::string& right) {
  return !right.empty() && right[0] == 'I';
}

}  // namespace

Refusal ImportPinDat(std::string_view bytes, ConfigImage& image, const ImageLayout& layout,
                     CodeGrid& grid) {
  if (bytes.size() < 3)
    return std::string("A fájl rövidebb egy PIN.DAT fejlécénél !!!") + kUnchanged;
  const int L = static_cast<uint8_t>(bytes[0]);
  const int N = static_cast<uint8_t>(bytes[1]) | (static_cast<uint8_t>(bytes[2]) << 8);
  if (Refusal bad = CheckPinDatHeader(L, N, layout)) return bad;
  if (bytes.size() < 3 + static_cast<size_t>(N) * L) {
    return "A fájl rövidebb a benne jelzett " + std::to_string(N) + " kódnál !!!" + kUnchanged;
  }
  for (int k = 1; k <= N; ++k) {
    if (Refusal bad =
            CheckCodeCharacters(bytes.substr(3 + static_cast<size_t>(k - 1) * L, L - 1), k))
      return bad;
  }
  StoreRecordLength(image, layout, L);
  StoreCodeCount(image, layout, N);
  grid.setRowCount(N + 1);
  if (N == 0) grid.row(1) = {" ", {kYes, kYes, kYes, kYes}};  // as a decode shows no codes
  for (int k = 1; k <= N; ++k) {
    const std::string_view record = bytes.substr(3 + static_cast<size_t>(k - 1) * L, L);
    CodeRow& row = grid.row(k);
    row.code = std::string(record.substr(0, L - 1));
    const auto rights = static_cast<uint8_t>(record[L - 1]);
    for (int r = 0; r < 4; ++r) row.rights[r] = (rights >> r) & 1 ? kYes : kNo;
  }
  return std::nullopt;
}

std::string ExportPinDat(const ConfigImage& image, const ImageLayout& layout,
                         const CodeGrid& grid) {
  const int L = StoredRecordLength(image, layout);
  const int N = ExportedCodeCount(image, layout, grid);
  const size_t codeLength = L > 1 ? L - 1 : 0;
  std::string out;
  out += static_cast<char>(L);
  out += static_cast<char>(N & 0xFF);
  out += static_cast<char>((N >> 8) & 0xFF);
  for (int k = 1; k <= N; ++k) {
    const CodeRow& row = grid.row(k);
    std::string code = row.code;
    if (code.size() < codeLength) code.append(codeLength - code.size(), ' ');
    out.append(code, 0, codeLength);
    // The bits alone: the image's 0x30 base is not part of this format.
    out += static_cast<char>(RightsByte(row.rights) & 0x0F);
  }
  out += '\0';
  return out;
}

Refusal ImportCodeText(std::string_view bytes, ConfigImage& image, const ImageLayout& layout,
                       CodeGrid& grid) {
  const std::vector<std::string_view> lines = Lines(bytes);
  const long N = static_cast<long>(lines.size());
  // What each line holds is looked at before its length: a line of other words than a code
  // (no tab after the code, say) is not a code of many digits.
  for (int k = 1; k <= N; ++k) {
    const std::string_view line = lines[k - 1];
    const bool tab = line.find('\t') != std::string_view::npos;
    if (Refusal bad =
            CheckCodeCharacters(Trimmed(BeforeTab(line)), k,
                                tab ? "" : " (a sorban nincs tabulátor: az egész sor kód)"))
      return bad;
  }
  size_t longest = 0;
  long longestLine = 0;
  for (long k = 1; k <= N; ++k) {
    const size_t length = Trimmed(BeforeTab(lines[k - 1])).size();
    if (length > longest) longest = length, longestLine = k;
  }
  if (longest == 0) return std::string("A fájlban nincs kód !!!") + kUnchanged;
  const int codeLength = static_cast<int>(std::min<size_t>(longest, 1000));
  if (codeLength < kMinCodeLength) {
    return "A fájl leghosszabb kódja is csak " + std::to_string(codeLength) + " jegyű; a kód " +
           LengthRange() + " jegyű lehet !!!" + kUnchanged;
  }
  if (codeLength > kMaxCodeLength) {
    return "A fájl " + std::to_string(longestLine) + ". kódja " + std::to_string(codeLength) +
           " jegyű; a kód " + LengthRange() + " jegyű lehet !!!" + kUnchanged;
  }
  if (Refusal bad = CheckTableSize(codeLength, N, layout)) return bad;
  StoreRecordLength(image, layout, codeLength + 1);
  StoreCodeCount(image, layout, static_cast<int>(N));
  grid.setRowCount(static_cast<int>(N) + 1);
  // Stored as measured: blanks before a code would push its last digits past the length.
  for (int k = 1; k <= N; ++k) {
    grid.row(k) = {std::string(Trimmed(BeforeTab(lines[k - 1]))), {kYes, kYes, kYes, kYes}};
  }
  return std::nullopt;
}

void StoreImportedCodes(ConfigImage& image, const ImageLayout& layout, const CodeGrid& grid) {
  // The grid shows an empty table as one blank row; encoded, that row would become a code.
  if (StoredCodeCount(image, layout) == 0) return;
  EncodeCodeTable(image, layout, grid);
}

int ExportedCodeCount(const ConfigImage& image, const ImageLayout& layout, const CodeGrid& grid) {
  const int count = std::max(StoredCodeCount(image, layout), grid.rowCount() - 1);
  // A new database's table: the one blank row the grid shows for no codes at all.
  if (count == 1 && grid.row(1).code.find_first_not_of(' ') == std::string::npos) return 0;
  return count;
}

std::string ExportCodeText(const ConfigImage& image, const ImageLayout& layout,
                           const CodeGrid& grid) {
  // The words are Windows-1250, as the rest of the file.
  static const char* const kWords[4] = {"Helyi", "T\xE1v", "Mobil", "Nemz"};
  const int N = ExportedCodeCount(image, layout, grid);
  std::string out;
  for (int k = 1; k <= N; ++k) {
    const CodeRow& row = grid.row(k);
    out += row.code;
    for (int r = 0; r < 4; ++r) {
      out += '\t';
      if (Granted(row.rights[r])) out += kWords[r];
    }
    out += "\r\n";
  }
  return out;
}

NumberImport ImportCallTxt(std::string_view bytes, std::vector<std::string> items, int capacity,
                           bool more) {
  NumberImport out;
  bool lastEnded = true;
  std::vector<std::string_view> lines = AnyEndLines(bytes, &lastEnded);
  // Where only the start of a file was read, its last line may be cut anywhere: it is not a
  // number of the file.
  if (more && !lastEnded && !lines.empty()) lines.pop_back();
  const auto blank = [](std::string_view line) { return Trimmed(line).empty(); };
  const size_t kept = items.size();
  size_t i = 0;
  for (; i < lines.size() && static_cast<int>(items.size()) < capacity; ++i) {
    // A blank line is no number: stored, it would take a place and be gone after a reload.
    if (blank(lines[i])) continue;
    std::string_view number = lines[i];
    while (static_cast<unsigned char>(number.back()) <= ' ') number.remove_suffix(1);
    if (number.size() > static_cast<size_t>(kFreeNumberWidth)) {
      items.resize(kept);
      out.refused = "A fájl " + std::to_string(i + 1) + ". sora " + std::to_string(number.size()) +
                    " karakter hosszú; egy szám legfeljebb " + std::to_string(kFreeNumberWidth) +
                    " karakter lehet !!!" + kListUnchanged;
      out.items = std::move(items);
      return out;
    }
    std::string item(number);
    item.resize(kFreeNumberWidth, ' ');
    items.push_back(std::move(item));
  }
  const bool numbersLeft = std::any_of(lines.begin() + static_cast<long>(i), lines.end(),
                                       [&](std::string_view line) { return !blank(line); });
  if (more && static_cast<int>(items.size()) < capacity) {
    // The list had room for what was not read: taking part of the file would pass for all.
    items.resize(kept);
    out.refused = "A fájl nagyobb " + std::to_string(kTextFileMaxBytes >> 20) +
                  " MiB-nál, ezért nem olvasható be egészben !!!" + kListUnchanged;
    out.items = std::move(items);
    return out;
  }
  out.linesLeft = numbersLeft || more;
  out.items = std::move(items);
  return out;
}

std::string ExportCallTxt(const std::vector<std::string>& items) {
  std::string out;
  for (const std::string& item : items) out += item + "\r\n";
  return out;
}

std::string CallTxtFullMessage(int capacity) {
  return "Maximum " + std::to_string(capacity) +
         " szám lehet a listában, ezért néhány szám beolvasatlan maradt!";
}

Refusal ImportPinDatFile(const std::string& path, ConfigImage& image, const ImageLayout& layout,
                         CodeGrid& grid) {
  const ReadResult read = ReadRegularFile(path, kPinDatMaxBytes);
  if (!read.ok) return read.message;
  return ImportPinDat(read.bytes, image, layout, grid);
}

Refusal ImportCodeTextFile(const std::string& path, ConfigImage& image, const ImageLayout& layout,
                           CodeGrid& grid) {
  const ReadResult read = ReadRegularFile(path, kTextFileMaxBytes);
  if (!read.ok) return read.message;
  // No file this large holds a table that fits.
  if (!read.whole) return std::string("A fájl túl nagy egy kódlistához !!!") + kUnchanged;
  return ImportCodeText(read.bytes, image, layout, grid);
}

std::optional<NumberImport> ImportCallTxtFile(const std::string& path,
                                              std::vector<std::string> items, int capacity) {
  const ReadResult read = ReadRegularFile(path, kTextFileMaxBytes);
  if (!read.ok) return std::nullopt;
  return ImportCallTxt(read.bytes, std::move(items), capacity, !read.whole);
}

Refusal WriteExchangeFile(const std::string& path, std::string_view bytes) {
  const FileResult written = WriteFileAtomically(path, bytes);
  if (!written.ok) return written.message;
  return std::nullopt;
}

}  // namespace tarvelo
