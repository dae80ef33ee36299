#include "ui/QtText.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "model/Text.h"

namespace tarvelo {

namespace {

// Texts of the file dialogs that Qt's Hungarian catalogue leaves in English. Asked only when
// the catalogue has no text of its own.
class MissingTexts : public QTranslator {
 public:
  using QTranslator::QTranslator;
  bool isEmpty() const override { return false; }
  QString translate(const char* context, const char* text, const char*, int) const override {
    if (qstrcmp(context, "QAbstractFileIconProvider") != 0 &&
        qstrcmp(context, "QFileSystemModel") != 0) {
      return {};
    }
    static const std::pair<const char*, const char*> kTexts[] = {
        {"Folder", "Mappa"},    {"Drive", "Meghajtó"},       {"File", "Fájl"},
        {"%1 File", "%1 fájl"}, {"Shortcut", "Parancsikon"}, {"Unknown", "Ismeretlen"}};
    for (const auto& [english, hungarian] : kTexts) {
      if (qstrcmp(text, english) == 0) return QString::fromUtf8(hungarian);
    }
    return {};
  }
};

}  // namespace

bool InstallHungarianTexts(QCoreApplication& app) {
  const QLocale hungarian(QLocale::Hungarian, QLocale::Hungary);
  QLocale::setDefault(hungarian);
  // The translator installed last is asked first.
  QCoreApplication::installTranslator(new MissingTexts(&app));
  auto* translator = new QTranslator(&app);
  if (!translator->load(hungarian, "qtbase", "_",
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return false;
  }
  return QCoreApplication::installTranslator(translator);
}

QLocale DisplayLocale() {
  const QLocale system = QLocale::system();
  if (system.language() == QLocale::C) return QLocale(QLocale::Hungarian, QLocale::Hungary);
  return system;
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
