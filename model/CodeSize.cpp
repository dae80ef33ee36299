#include "model/CodeSize.h"

#include "model/CodeTable.h"

namespace tarvelo {

int MaxCodeCount(const ImageLayout& layout, int codeLength) {
  return CodeCountLimit(codeLength, layout.Size(Field::CodeTable));
}

Refusal StoreCodeSize(ConfigImage& image, const ImageLayout& layout, int count, int codeLength) {
  if (codeLength < kMinCodeLength || codeLength > kMaxCodeLength) {
    return "A kódjegyek száma " + std::to_string(kMinCodeLength) + ".." +
           std::to_string(kMaxCodeLength) + " lehet !!!";
  }
  const int limit = MaxCodeCount(layout, codeLength);
  if (count < 0 || count > limit) {
    return "A kódok darabszáma " + std::to_string(codeLength) + " jegyű kódból 0.." +
           std::to_string(limit) + " lehet !!!";
  }
  image.SetImageByte(layout.Offset(Field::CodeRecordLength), static_cast<uint8_t>(codeLength + 1));
  const long at = layout.Offset(Field::CodeCount);
  image.SetImageByte(at, static_cast<uint8_t>(count & 0xFF));
  image.SetImageByte(at + 1, static_cast<uint8_t>(count >> 8));
  return std::nullopt;
}

}  // namespace tarvelo
