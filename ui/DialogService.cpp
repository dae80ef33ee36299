#include "ui/DialogService.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>

namespace tarvelo {

void QtDialogService::Message(const QString& text, const QString& caption) {
  QMessageBox box(QMessageBox::NoIcon,
                  caption.isEmpty() ? QApplication::applicationName() : caption, text,
                  QMessageBox::Ok, parent_);
  box.exec();
}

QMessageBox::StandardButton QtDialogService::Ask(const QString& text, const QString& caption,
                                                 QMessageBox::StandardButtons buttons,
                                                 QMessageBox::Icon icon) {
  QMessageBox box(icon, caption.isEmpty() ? QApplication::applicationName() : caption, text,
                  buttons, parent_);
  return static_cast<QMessageBox::StandardButton>(box.exec());
}

QString QtDialogService::OpenFileName(const FileDialogOptions& options) {
  QFileDialog dialog(parent_, options.title, QString(), options.filter);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setDefaultSuffix(options.defaultSuffix);
  return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
}

QString QtDialogService::SaveFileName(const FileDialogOptions& options) {
  QFileDialog dialog(parent_, options.title, QString(), options.filter);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setDefaultSuffix(options.defaultSuffix);
  return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
}

QString QtDialogService::Password() {
  QInputDialog dialog(parent_);
  dialog.setWindowTitle("Jelszó");
  dialog.setLabelText("Jelszó:");
  dialog.setTextEchoMode(QLineEdit::Password);
  dialog.setOkButtonText("OK");
  dialog.setCancelButtonText("&Mégsem");
  dialog.exec();
  return dialog.textValue();
}

}  // namespace tarvelo
