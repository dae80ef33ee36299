// Small building blocks shared by the pages: a radio group with replaceable items, and
// "leave" handlers that run when the focus leaves a control (or a group of controls).
#pragma once

#include <QButtonGroup>
#include <QGroupBox>
#include <QLineEdit>
#include <QObject>
#include <QStringList>
#include <functional>
#include <string>
#include <vector>

#include "model/Lines.h"
#include "model/Settings.h"
#include "ui/Page.h"

class QGridLayout;
class QListWidget;
class QLabel;
class QRadioButton;
class QTabWidget;

namespace tarvelo {

class RadioGroup : public QGroupBox {
  Q_OBJECT
 public:
  RadioGroup(const QString& objectName, const QString& caption, int columns = 1,
             QWidget* parent = nullptr);
  // Replaces the items; the selection stays where it was when it still fits, else the last.
  void setItems(const QStringList& items);
  void setItems(const std::vector<std::string>& utf8Items);
  QStringList items() const { return items_; }
  int itemIndex() const { return buttons_.checkedId(); }
  void setItemIndex(int index);
  QRadioButton* button(int index) const;

 signals:
  void clicked(int index);

 private:
  QStringList items_;
  QButtonGroup buttons_;
  QGridLayout* grid_;
  int columns_;
};

// A handler that returns false refuses the entry: the focus goes back to the control.
using LeaveHandler = std::function<bool()>;

// Runs the leave handler of a control when the focus moves from it (or from anything
// inside it, for a group) to somewhere outside it. Focus lost to a menu or another window
// does not count. A refused entry holds the focus whichever way the user tried to leave: the
// click that took the focus away does nothing more, and a guarded page control keeps its
// page. One dispatcher serves a window; it installs itself on the application.
class LeaveDispatcher : public QObject {
 public:
  explicit LeaveDispatcher(QObject* parent);
  ~LeaveDispatcher() override;

  void OnLeave(QWidget* scope, LeaveHandler handler);
  // Drops a control's handler. A dialog whose handlers reach into it calls this before its
  // controls die: a control gives up the focus while it is destroyed, after its dialog's own
  // part is gone.
  void Forget(QWidget* scope);
  // Runs the handler of the control holding the focus as if it had been left; used to
  // store the field being edited before a command. False when the entry was refused: the
  // focus is back in the control and the command must not run.
  bool Commit();
  // Runs the handler registered for a control or its nearest registered ancestor.
  bool Run(QWidget* widget);
  // A page change by mouse, wheel, mnemonic or Ctrl+Tab first stores the field being
  // edited, and does not happen when its entry is refused.
  void GuardPages(QTabWidget* pages);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* ScopeOf(QWidget* widget) const;
  bool FocusOut(QObject* watched, QEvent* event);
  bool IsPageSwitch(QObject* watched, QEvent* event) const;
  std::vector<std::pair<QWidget*, LeaveHandler>> handlers_;
  QTabWidget* pages_ = nullptr;
  bool running_ = false;
  bool swallowPress_ = false;  // the press that took the focus from a refused entry
};

// The list's current row when the user chose it, else -1. A list that takes the focus by
// the keyboard makes its first row current without selecting it: nobody chose that row.
int ChosenRow(const QListWidget* list);

// An edit box with its object name and, when maxLength is above 0, a length limit.
QLineEdit* MakeEdit(const QString& objectName, int maxLength, QWidget* parent = nullptr);

// A setting's row by its place in the settings document, or by the control name of its
// byte box. Asking for a row that does not exist is a programming error (std::logic_error).
const SettingRow& RowOf(const char* object, const char* key);
const SettingRow& RowOfBox(const ByteFieldRow& box);

// What a page shows over or beside a setting: the row's caption, or, for a row that is one
// entry of a list (a prefix, an exception), the caption of the whole list, followed by the
// names of an entry's parts in brackets, joined by a colon as the entry is written.
// `LabelText` adds the colon of a label in front of a box.
QString Caption(const SettingRow& row);
QString LabelText(const SettingRow& row);

// The label in front of a setting's box; the box is its buddy, which is how the label and the
// box are found as a pair.
QLabel* MakeLabel(const SettingRow& row, QWidget* box, QWidget* parent);

// What the row reads from the image the page edits.
std::string ReadSetting(PageHost& host, const SettingRow& row, int index = 0);
// Stores a value the way the command line stores it, through the row's check. A refusal is
// shown, leaves the image as it was, and returns false.
bool StoreSetting(PageHost& host, const SettingRow& row, int index, const QString& value);

// The byte-valued edit boxes of a page, each one row of the model's byte-field table. A box
// stores into its field as the model in the type box places it, like every other control:
// after a switch by hand, the offset the shown value was read from may be another field.
class ByteBoxes {
 public:
  explicit ByteBoxes(PageHost& host) : host_(host) {}
  // Creates the box of `row` and has the shared range check run when it is left.
  QLineEdit* Add(const ByteFieldRow& row, QWidget* parent);
  // Shows the values of the boxes whose fields the decoded model has.
  void Decode(const ImageView& view);

 private:
  struct Box {
    QLineEdit* edit;
    const ByteFieldRow* row;
  };
  bool Store(const Box& box);

  PageHost& host_;
  std::vector<Box> boxes_;
};

}  // namespace tarvelo
