// Page "&Számok": the numbers callable without a code and the "Számok" menu. The list is
// the page's working copy; the image gets it at a page change, a "&Nézet" item, a save and
// when the focus leaves the page.
#pragma once

#include <optional>
#include <set>
#include <string>

#include "model/FreeNumbers.h"
#include "ui/Page.h"

class QAction;
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
  void exportNumbers();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
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
  FindBar* findBar_;
};

}  // namespace tarvelo
