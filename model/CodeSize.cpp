#include "model/CodeSize.h"

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace tarvelo {

namespace {

struct CodeRecord {
  std::string code;  // any length; the record gets it cut or padded to the code length
  uint8_t rights = 0x30;
};
using CodeSource = std::function<CodeRecord(int k)>;

struct StoredSize {
  int count;
  int length;
};

StoredSize Stored(const ConfigImage& image, const ImageLayout& layout) {
  return {StoredCodeCount(image, layout), StoredRecordLength(image, layout) - 1};
}

std::string LengthRangeMessage() {
  return "A kódjegyek száma " + std::to_string(kMinCodeLength) + ".." +
         std::to_string(kMaxCodeLength) + " lehet !!!";
}

std::string CountRangeMessage(int codeLength, int limit) {
  return "A kódok darabszáma " + std::to_string(codeLength) + " jegyű kódból 0.." +
         std::to_string(limit) + " lehet !!!";
}

// Whether storing the code at `length` characters drops anything but blanks.
bool CutAt(const std::string& code, int length) {
  for (size_t i = static_cast<size_t>(length); i < code.size(); ++i) {
    if (code[i] != ' ') return true;
  }
  return false;
}

// The first record the change writes: every record when the length changes (they all move),
// else only those a higher count adds.
int FirstWritten(const StoredSize& stored, int codeLength) {
  return codeLength != stored.length ? 1 : stored.count + 1;
}

Refusal Check(const ConfigImage& image, const ImageLayout& layout, int count, int codeLength,
              const CodeSource& codes) {
  const StoredSize stored = Stored(image, layout);
  if (count == stored.count && codeLength == stored.length) return std::nullopt;
  if (Refusal r = CheckCodeLength(image, layout, codeLength)) return r;
  const bool newLength = codeLength != stored.length;
  const int limit = MaxCodeCount(layout, codeLength);
  if (count < 0 || (!newLength && count > limit)) return CountRangeMessage(codeLength, limit);
  if (count > limit) {
    const long bytes = static_cast<long>(count) * (codeLength + 1);
    if (bytes > layout.Size(Field::CodeTable)) {
      return std::to_string(count) + " darab " + std::to_string(codeLength) +
             " jegyű kód nem fér el a kódtáblában (legfeljebb " + std::to_string(limit) +
             " fér el) !!!";
    }
    return std::to_string(count) + " darab " + std::to_string(codeLength) +
           " jegyű kód túl sok: csak " + std::to_string(limit) + " különböző van !!!";
  }
  int cut = 0;
  for (int k = FirstWritten(stored, codeLength); k <= count; ++k) {
    if (CutAt(codes(k).code, codeLength)) ++cut;
  }
  if (cut > 0) {
    return std::to_string(cut) + " kód hosszabb " + std::to_string(codeLength) +
           " jegynél, a kódjegyek száma nem lehet " + std::to_string(codeLength) + " !!!";
  }
  return std::nullopt;
}

Refusal Store(ConfigImage& image, const ImageLayout& layout, int count, int codeLength,
              const CodeSource& codes) {
  if (Refusal r = Check(image, layout, count, codeLength, codes)) return r;
  const StoredSize stored = Stored(image, layout);
  if (count == stored.count && codeLength == stored.length) return std::nullopt;
  // Everything is read before anything is written: the old and new records overlap.
  const int first = FirstWritten(stored, codeLength);
  std::vector<CodeRecord> records;
  for (int k = first; k <= count; ++k) records.push_back(codes(k));
  const int L = codeLength + 1;
  const long table = layout.Offset(Field::CodeTable);
  for (int k = first; k <= count; ++k) {
    const CodeRecord& r = records[static_cast<size_t>(k - first)];
    std::string code = r.code;
    code.resize(static_cast<size_t>(codeLength), ' ');
    const long start = table + static_cast<long>(k - 1) * L;
    image.SetBytes(start, code);
    image.SetImageByte(start + codeLength, r.rights);
  }
  // What the old records held past the new ones is blanked as a new table is, so that a
  // length changed and changed back leaves the table as it was.
  if (codeLength != stored.length && stored.length >= 0) {
    const long oldEnd = std::min<long>(static_cast<long>(stored.count) * (stored.length + 1),
                                       layout.Size(Field::CodeTable));
    const long newEnd = static_cast<long>(count) * L;
    if (oldEnd > newEnd) image.Fill(table + newEnd, table + oldEnd - 1, ' ');
  }
  StoreRecordLength(image, layout, L);
  StoreCodeCount(image, layout, count);
  return std::nullopt;
}

CodeSource FromGrid(const CodeGrid& grid) {
  return [&grid](int k) { return CodeRecord{grid.row(k).code, RightsByte(grid.row(k).rights)}; };
}

// Records as stored; one beyond the count, or that the stored length does not lay inside
// the table, is a blank code without rights.
CodeSource FromImage(const ConfigImage& image, const ImageLayout& layout) {
  const StoredSize stored = Stored(image, layout);
  const int L = stored.length + 1;
  return [&image, &layout, stored, L](int k) {
    CodeRecord r;
    if (k > stored.count || L < 1 || static_cast<long>(k) * L > layout.Size(Field::CodeTable))
      return r;
    const long start = layout.Offset(Field::CodeTable) + static_cast<long>(k - 1) * L;
    r.code = image.Bytes(start, L - 1);
    r.rights = image.ImageByte(start + L - 1);
    return r;
  };
}

}  // namespace

int MaxCodeCount(const ImageLayout& layout, int codeLength) {
  return CodeCountLimit(codeLength, layout.Size(Field::CodeTable));
}

Refusal CheckCodeLength(const ConfigImage& image, const ImageLayout& layout, int codeLength) {
  if (codeLength == Stored(image, layout).length) return std::nullopt;
  if (codeLength < kMinCodeLength || codeLength > kMaxCodeLength) return LengthRangeMessage();
  return std::nullopt;
}

Refusal CheckCodeCount(const ConfigImage& image, const ImageLayout& layout, int count,
                       int codeLength) {
  const StoredSize stored = Stored(image, layout);
  if (count == stored.count && codeLength == stored.length) return std::nullopt;
  const int limit = MaxCodeCount(layout, codeLength);
  if (count < 0 || count > limit) return CountRangeMessage(codeLength, limit);
  return std::nullopt;
}

Refusal CheckCodeSize(const ConfigImage& image, const ImageLayout& layout, int count,
                      int codeLength, const CodeGrid& codes) {
  return Check(image, layout, count, codeLength, FromGrid(codes));
}

Refusal StoreCodeSize(ConfigImage& image, const ImageLayout& layout, int count, int codeLength,
                      const CodeGrid& codes) {
  return Store(image, layout, count, codeLength, FromGrid(codes));
}

Refusal StoreCodeSize(ConfigImage& image, const ImageLayout& layout, int count, int codeLength) {
  // The source reads the image that Store writes, but only before the first write.
  return Store(image, layout, count, codeLength, FromImage(image, layout));
}

}  // namespace tarvelo
