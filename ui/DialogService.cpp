#include "ui/DialogService.h"

#include <QApplication>
#include <QFileDialog>
#include <QGridLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSpacerItem>
#include <algorithm>

#include "ui/PasswordDialog.h"

namespace tarvelo {
namespace {

// A short message would give a box too narrow for its own caption; the window manager then
// cuts the caption to a few letters. The room for the caption's buttons is a guess that
// holds for the common window managers.
void MakeRoomForCaption(QMessageBox& box) {
  const int captionWidth = box.fontMetrics().horizontalAdvance(box.windowTitle()) + 140;
  const int width = std::max(captionWidth, 32 * box.fontMetrics().averageCharWidth());
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                  grid->rowCount(), 0, 1, grid->columnCount());
  }
}

}  // namespace

void SetHungarianButtonTexts(QMessageBox& box) {
  const std::pair<QMessageBox::StandardButton, const char*> texts[] = {
      {QMessageBox::Yes, "&Igen"},
      {QMessageBox::No, "&Nem"},
      {QMessageBox::Cancel, "&Mégsem"},
      {QMessageBox::Ok, "OK"}};
  for (const auto& [which, text] : texts) {
    if (QAbstractButton* b = box.button(which)) b->setText(QString::fromUtf8(text));
  }
}

void QtDialogService::Message(const QString& text, const QString& caption) {
  QMessageBox box(QMessageBox::NoIcon,
                  caption.isEmpty() ? QApplication::applicationName() : caption, text,
                  QMessageBox::Ok, parent_);
  SetHungarianButtonTexts(box);
  MakeRoomForCaption(box);
  box.exec();
}

QMessageBox::StandardButton QtDialogService::Ask(const QString& text, const QString& caption,
                                                 QMessageBox::StandardButtons buttons,
                                                 QMessageBox::Icon icon) {
  QMessageBox box(icon, caption.isEmpty() ? QApplication::applicationName() : caption, text,
                  buttons, parent_);
  SetHungarianButtonTexts(box);
  MakeRoomForCaption(box);
  return static_cast<QMessageBox::StandardButton>(box.exec());
}

int QtDialogService::Choose(const QString& text, const QString& caption,
                            const QStringList& buttons) {
  QMessageBox box(QMessageBox::Question,
                  caption.isEmpty() ? QApplication::applicationName() : caption, text,
                  QMessageBox::NoButton, parent_);
  QList<QAbstractButton*> added;
  for (const QString& b : buttons) added << box.addButton(b, QMessageBox::AcceptRole);
  if (!added.isEmpty()) {
    box.setDefaultButton(qobject_cast<QPushButton*>(added.first()));
    box.setEscapeButton(added.last());
  }
  MakeRoomForCaption(box);
  box.exec();
  return static_cast<int>(added.indexOf(box.clickedButton()));
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
  // Made for this question and gone after it, so no earlier entry is ever offered again.
  TPasswordDlg dialog(parent_);
  dialog.password()->clear();
  dialog.exec();
  return dialog.password()->text();
}

}  // namespace tarvelo
