#include "ui/PasswordDialog.h"

#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

namespace tarvelo {

TPasswordDlg::TPasswordDlg(QWidget* parent) : QDialog(parent) {
  setObjectName("PasswordDlg");
  setWindowTitle("Tarvelo beléptetö");
  // A caption without buttons: the dialog is answered, not dismissed.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowStaysOnTopHint);
  setModal(true);
  QFont bold = font();
  bold.setBold(true);
  setFont(bold);

  auto* grid = new QGridLayout(this);
  grid->addWidget(new QLabel("Jelszó:", this), 0, 0);
  Password = new QLineEdit(this);
  Password->setObjectName("Password");
  Password->setEchoMode(QLineEdit::Password);
  Password->setMinimumWidth(180);
  grid->addWidget(Password, 0, 1, 1, 2);
  auto* ok = new QPushButton("&OK", this);
  ok->setObjectName("OKBtn");
  ok->setDefault(true);
  auto* cancel = new QPushButton("&Mégsem", this);
  cancel->setObjectName("CancelBtn");
  grid->addWidget(ok, 1, 1);
  grid->addWidget(cancel, 1, 2);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  adjustSize();
}

void TPasswordDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (QScreen* screen = QApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
  Password->setFocus(Qt::ActiveWindowFocusReason);
}

}  // namespace tarvelo
