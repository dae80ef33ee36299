#include "ui/QtText.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "model/Text.h"

namespace tarvelo {

bool InstallHungarianTexts(QCoreApplication& app) {
  const QLocale hungarian(QLocale::Hungarian, QLocale::Hungary);
  QLocale::setDefault(hungarian);
  auto* translator = new QTranslator(&app);
  if (!translator->load(hungarian, "qtbase", "_",
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return false;
  }
  return QCoreApplication::installTranslator(translator);
}

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
