// Every message box, question and file dialog of the program goes through this, so tests
// can answer them and read what was shown.
#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <optional>

class QWidget;

namespace tarvelo {

struct FileDialogOptions {
  QString title;
  QString filter;         // Qt form: "Pinkód adatbázis (*.pi1);;Minden file (*.*)"
  QString defaultSuffix;  // added to a name typed without one
};

class DialogService {
 public:
  virtual ~DialogService() = default;
  // A plain message with an OK button.
  virtual void Message(const QString& text, const QString& caption = QString()) = 0;
  virtual QMessageBox::StandardButton Ask(const QString& text, const QString& caption,
                                          QMessageBox::StandardButtons buttons,
                                          QMessageBox::Icon icon = QMessageBox::Question) = 0;
  // A question whose answers are named by their buttons; the index of the one pressed, or -1
  // when the box was closed without one. The last button is the one Escape presses.
  virtual int Choose(const QString& text, const QString& caption, const QStringList& buttons) = 0;
  // Empty when cancelled.
  virtual QString OpenFileName(const FileDialogOptions& options) = 0;
  virtual QString SaveFileName(const FileDialogOptions& options) = 0;
  // The text typed into the password question; how it was closed does not matter.
  virtual QString Password() = 0;
};

// The question buttons read the same whatever the system's language.
void SetHungarianButtonTexts(QMessageBox& box);

// The real thing, with Qt's dialogs over the given window.
class QtDialogService : public DialogService {
 public:
  explicit QtDialogService(QWidget* parent) : parent_(parent) {}
  void Message(const QString& text, const QString& caption) override;
  QMessageBox::StandardButton Ask(const QString& text, const QString& caption,
                                  QMessageBox::StandardButtons buttons,
                                  QMessageBox::Icon icon) override;
  int Choose(const QString& text, const QString& caption, const QStringList& buttons) override;
  QString OpenFileName(const FileDialogOptions& options) override;
  QString SaveFileName(const FileDialogOptions& options) override;
  QString Password() override;

 private:
  QWidget* parent_;
};

}  // namespace tarvelo
