// Page "&Kódok": the PIN code grid, its rights popup menu and the "&Kódok" menu. The grid's
// cells are the page's working copy of the code table; the image gets them when the grid
// loses the focus.
#pragma once

#include <QRect>
#include <QTableView>
#include <functional>
#include <string>
#include <vector>

#include "model/CodeTable.h"
#include "model/Reports.h"
#include "ui/Page.h"
#include "ui/UndoHistory.h"

class QAction;
class QLineEdit;
class QMenu;

namespace tarvelo {

class CodeGridModel;
class CodesPage;
class FindBar;

// The grid's view: selection and editing follow the column, keys and mouse as the page
// wants them.
class CodeGridView : public QTableView {
 public:
  explicit CodeGridView(CodesPage& page);
  // The selected cells as one rectangle: x the grid column, y the code row from 0. The
  // current cell when nothing is selected.
  QRect selectedCells() const;
  bool editing() const { return state() == QAbstractItemView::EditingState; }
  // Puts the text of an open cell editor into the grid and closes the editor.
  void commitEditor();
  // Column 1 edits one cell at a time; the rights columns select ranges.
  void followColumn(int column);

 protected:
  QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  CodesPage& page_;
  // The row a click on the row numbers started from, for Shift+click and dragging; -1 when
  // the rows are not being chosen by their numbers.
  int rowAnchor_ = -1;
};

class CodesPage : public Page {
  Q_OBJECT
 public:
  explicit CodesPage(PageHost& host);
  // Another model keeps the table's size elsewhere: no earlier step fits it.
  void ApplyModel(DeviceModel) override { ClearHistory(); }
  void Decode(const ImageView& view) override;
  // The "&Kódok" menu's items.
  void FillMenu(QMenu* menu);

  const CodeGrid& grid() const { return grid_; }
  // The rows of the selected cells, top to bottom, from 1; the current cell's row when
  // nothing is selected, as the grid's own selection always holds the current cell.
  RowRange selectedRows() const;
  CodeGridView* view() const { return view_; }
  QMenu* rightsMenu() const { return rightsMenu_; }
  FindBar* findBar() const { return findBar_; }
  // The stored record length, which the grid's rules go by.
  int recordLength() const;

  void selectAllCodes();
  void generateCodes();
  void checkDuplicateCodes();
  void encodeCodeTable();
  void appendRow();
  void removeLastRow();
  // `row` is the code row from 1, `column` the grid column 2..5.
  void setRight(int row, int column, const std::string& text);
  void toggleRightByInitial(int row, int column);
  void popUpRightsMenu(const QPoint& globalPos);
  void applyRightsItem(int item);
  // A code cell's editor text changed by typing.
  void codeEdited(QLineEdit* editor, int row);
  void findCode(const QString& sought);
  // The exchange files: PIN.DAT or the code text file.
  enum class CodeFile { PinDat, Text };
  void importCodes(CodeFile format);
  void exportCodes(CodeFile format);
  // The row count the preferences leave behind: the stored count + 1.
  void setCodeRowCount(int rows);
  // A dropped file: PIN.DAT by its extension, else the code text file.
  void importDroppedFile(const QString& file);

  // Spreadsheet-like editing. Rows are code rows from 1.
  // Whole rows chosen (by their numbers, or Shift+Space): the selection spans columns 1..5.
  void selectRows(int first, int last);
  bool wholeRowsSelected() const;
  void copyRows();
  void cutRows();
  void pasteRows();
  // The code text pasted into the grid from row `first` down; false (the user told why)
  // when it cannot go in whole.
  bool pasteText(const QString& text, int first);
  // A blank row above `row`.
  void insertRow(int row);
  // Asks once, naming how many, then removes the selected rows.
  void deleteSelectedRows();
  void deleteRows(int first, int last);
  // The "Kód" heading: a sort by code, ascending first, then descending.
  void offerSort();
  void sortRows(bool ascending);
  // The history ends where the database was saved, opened, created or downloaded.
  void ClearHistory() { history_.Clear(); }

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // The code table as the grid and the image hold it: what one step of the history restores.
  struct CodeState {
    CodeGrid grid;
    std::string stored;  // record length, count and table bytes
  };
  CodeState Capture() const;
  std::string StoredBytes() const;
  bool SameAsNow(const CodeState& state) const;
  void Restore(const CodeState& state);
  // Runs a command as one step of the history: the image follows a changed grid at once,
  // and a command that changed nothing leaves no step.
  // `storesImage`: the command stores the image itself (an import keeps the file's table as
  // it stands, which an empty grid row written back would not).
  void Step(const std::function<void()>& command, bool storesImage = false);
  void ShowCount();
  // The status bar's word for a table with no room for another code.
  void SayTableFull();
  void importFile(CodeFile format, const QString& file);

  // The grid keeps the texts of rows it no longer has; rows it had up to `oldRowCount` are
  // emptied, so a row added later starts empty instead of bringing a removed code back.
  void ForgetRowsBeyondGrid(int oldRowCount);

  CodeGrid grid_;
  UndoHistory<CodeState> history_{[this] { return Capture(); },
                                  [this](const CodeState& state) { Restore(state); }};
  bool sortAscending_ = true;
  CodeGridModel* model_;
  CodeGridView* view_;
  QMenu* rightsMenu_;
  FindBar* findBar_;
};

}  // namespace tarvelo
