// Page "&Számok": the numbers callable without a code and the "Számok" menu. The list is
// the page's working copy; the image gets it at a page change, a "&Nézet" item, a save and
// when the focus leaves the page.
#pragma once

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "model/FreeNumbers.h"
#include "ui/Page.h"
#include "ui/UndoHistory.h"

class QAction;
class QDragEnterEvent;
class QDropEvent;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;

namespace tarvelo {

class FindBar;

class NumbersPage : public Page {
  Q_OBJECT
 public:
  explicit NumbersPage(PageHost& host);
  void ApplyModel(DeviceModel model) override;
  void Decode(const ImageView& view) override;
  // The "Számok" menu's items.
  void FillMenu(QMenu* menu);

  const FreeNumberList& numbers() const { return list_; }
  // The selected items' indexes in the list's order, from 0.
  std::set<int> selectedItems() const;
  FindBar* findBar() const { return findBar_; }

  // Writes the list into the image as it is; the trimmed form when the focus leaves.
  void Flush();
  void FlushTrimmed();

  void showCurrentNumber();
  void addNumber();
  void replaceNumber();
  void deleteNumbers();
  void clearNumbers();
  void setSorted(bool sorted);
  void findNumber(const QString& sought);
  // CALL.TXT.
  void importNumbers();
  void importFile(const QString& file);
  void exportNumbers();

  // The chosen numbers as clipboard text; cut removes them as well.
  void copyNumbers();
  void cutNumbers();
  void pasteNumbers();
  // Numbers one a line, added as "&Uj szám" adds them; false (the user told why) when they
  // cannot go in whole.
  bool pasteText(const QString& text);
  // The history ends where the database was saved, opened, created or downloaded.
  void ClearHistory() { history_.Clear(); }
  bool canUndo() const { return history_.CanUndo(); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  struct NumberState {
    std::vector<std::string> items;
    bool sorted = false;
  };
  // Runs a command as one step of the history; one that changed nothing leaves no step.
  void Step(const std::function<void()>& command);
  void Restore(const NumberState& state);
  void SayListFull();
  // Copy, cut and paste keys in the list or the entry field; true when taken.
  bool ClipboardKey(QObject* watched, QKeyEvent* key);

  // Shows the list's items again, with item `current` (if any) current and selected.
  void ShowItems(int current);
  void DropWhatDoesNotFit();
  // The buttons and the counter.
  void Refresh();
  // The entry field's text as the list stores it; nothing (the user told why) when it holds a
  // character the code page lacks.
  std::optional<std::string> TypedNumber();

  FreeNumberList list_;
  QListWidget* numberList_;
  QLineEdit* numberEdit_;
  QPushButton* replaceButton_;
  QPushButton* addButton_;
  QPushButton* deleteButton_;
  QLabel* counter_;
  QAction* sortedItem_ = nullptr;
  UndoHistory<NumberState> history_{[this] {
                                      return NumberState{list_.items(), list_.sorted()};
                                    },
                                    [this](const NumberState& state) { Restore(state); }};
  FindBar* findBar_;
};

}  // namespace tarvelo
