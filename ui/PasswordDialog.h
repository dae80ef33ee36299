// The login dialog: asks for the database's password when a file is opened. How it is
// closed does not matter to the caller; only the typed text counts.
#pragma once

#include <QDialog>

class QLineEdit;

namespace tarvelo {

class TPasswordDlg : public QDialog {
 public:
  explicit TPasswordDlg(QWidget* parent = nullptr);
  QLineEdit* password() const { return Password; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QLineEdit* Password;
};

}  // namespace tarvelo
