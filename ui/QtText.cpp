#include "ui/QtText.h"

#include "model/Text.h"

namespace tarvelo {

QString FromCp1250(const std::string& bytes) {
  return Q(Cp1250ToUtf8(bytes));
}

std::optional<std::string> ToCp1250(const QString& text, QString* message) {
  std::string bad;
  auto bytes = Utf8ToCp1250(text.toStdString(), &bad);
  if (!bytes && message) *message = Q(UnencodableMessage(bad));
  return bytes;
}

}  // namespace tarvelo
