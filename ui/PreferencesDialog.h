// The preferences dialog: the open database's site, owner and password, the date of its
// file, and the number and length of its PIN codes. It has no cancel: however it is
// closed, what it shows is stored.
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

 protected:
  void done(int result) override;

 private:
  void Fill();
  // Largest count for the chosen length; a count above it comes down to it.
  void CodeLengthChanged();
  bool Store();

  TMainForm& window_;
  QLineEdit* Esite;
  QLineEdit* Euser;
  QLineEdit* Epassw1;
  QLineEdit* Edatetime;
  QSpinBox* SEkoddb;
  QSpinBox* SEkodlen;
  // The table as the dialog found it: a table the fields cannot show (a count above what a
  // length can hold, a length outside 2..8) is kept unless the user changes either field.
  int filledCount_ = 0;
  int filledLength_ = 0;
};

}  // namespace tarvelo
