// The preferences dialog: the open database's site, owner and password, the date of its
// file, and the number and length of its PIN codes. It has no cancel: however it is
// closed, what the user changed in it is stored, and nothing else.
#pragma once

#include <QDialog>
#include <chrono>
#include <optional>

class QLineEdit;
class QSpinBox;

namespace tarvelo {

class TMainForm;

// The file date as the system writes a short date and a long time; empty before a file
// has been loaded.
QString FileDateText(const std::optional<std::chrono::system_clock::time_point>& date);

class TPrefer : public QDialog {
 public:
  // Fills the fields from the window's database; frees itself when closed.
  explicit TPrefer(TMainForm& window);
  ~TPrefer() override;

 protected:
  void done(int result) override;

 private:
  void Fill();
  // The count box's limit follows the length box; the count itself is left as it is.
  void CodeLengthChanged();
  // Leaving a box checks its own limit; a refusal keeps the focus there.
  bool CodeLengthLeft();
  bool CodeCountLeft();
  // All or nothing: a refused field keeps the dialog open with the focus on it.
  bool Store();

  TMainForm& window_;
  QLineEdit* Esite;
  QLineEdit* Euser;
  QLineEdit* Epassw1;
  QLineEdit* Edatetime;
  QSpinBox* SEkoddb;
  QSpinBox* SEkodlen;
  // The texts as filled: only a text the user changed is stored, so that one the code page
  // round trip would alter stays as it is.
  QString filledTexts_[3];
};

}  // namespace tarvelo
