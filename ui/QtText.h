// Where the window meets the core's texts: Windows-1250 data and UTF-8 messages.
#pragma once

#include <QString>
#include <optional>
#include <string>

class QCoreApplication;
class QLocale;

namespace tarvelo {

// Qt's own texts (standard buttons, file dialogs, edit menus) in Hungarian, whatever the
// system's language; false when Qt's Hungarian catalogue is not installed.
bool InstallHungarianTexts(QCoreApplication& app);

// The locale dates and times are shown in: the user's own, or Hungarian where the system
// names none (the "C" locale would show English month names in a Hungarian window).
QLocale DisplayLocale();

inline QString Q(const std::string& utf8) {
  return QString::fromStdString(utf8);
}
QString FromCp1250(const std::string& bytes);
// Nothing when the text holds a character the code page lacks; `message` then says which.
std::optional<std::string> ToCp1250(const QString& text, QString* message = nullptr);

}  // namespace tarvelo
