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

class CodesPage;
class ConfigImage;
class DialogService;
class ImageLayout;
class LeaveDispatcher;
struct Session;

// What the preferences dialog reads from the window and stores into it.
class PreferencesHost {
 public:
  virtual ~PreferencesHost() = default;
  // The open database and the date of its file.
  virtual Session& session() = 0;
  virtual const ImageLayout& layout() const = 0;
  virtual DialogService& dialogs() = 0;
  virtual LeaveDispatcher& leave() = 0;
  // The code grid as the user sees it: a new code size must fit the codes in it.
  virtual CodesPage& codesPage() = 0;
};

// The file date as the system writes a short date and a long time; empty before a file
// has been loaded.
QString FileDateText(const std::optional<std::chrono::system_clock::time_point>& date);

class TPrefer : public QDialog {
 public:
  // Fills the fields from the host's database; frees itself when closed.
  TPrefer(PreferencesHost& host, QWidget* parent);
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

  // The open database's image, which the code size is stored into.
  ConfigImage& image();

  PreferencesHost& host_;
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
