#include "ui/CodesPage.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>

#include "files/ExchangeFiles.h"
#include "model/CodeClipboard.h"
#include "ui/DialogService.h"
#include "ui/ErrorGuard.h"
#include "ui/FindBar.h"
#include "ui/QtText.h"
#include "ui/Widgets.h"

namespace tarvelo {

namespace {

constexpr int kColumns = 6;
constexpr int kRowHeight = 16;
constexpr int kColumnWidths[kColumns] = {64, 64, 64, 64, 64, 82};
const char* const kHeadings[kColumns] = {"Sorsz.",    "Kód",   "Helyi",
                                         "Távolsági", "Mobil", "Nemzetközi"};

// A typed character as the grid's rules see it; characters outside ASCII are never accepted,
// so they come out as 0.
char TypedChar(const QString& text) {
  if (text.isEmpty()) return 0;
  const char16_t c = text.at(0).unicode();
  return c < 0x80 ? static_cast<char>(c) : 0;
}

bool IsTypedCharacter(const QString& text) {
  return !text.isEmpty() && text.at(0).isPrint();
}

// Clipboard text that is more than one cell: the grid takes it as rows and columns.
bool IsCellBlock(const QString& text) {
  return text.contains('\n') || text.contains('\r') || text.contains('\t') || text.contains(';');
}

// Steps the history keeps; the oldest go first.

// The one local file a drag brings, if that is what it brings.
QString DroppedFile(const QMimeData* data) {
  if (!data || !data->hasUrls() || data->urls().size() != 1) return {};
  const QUrl url = data->urls().first();
  return url.isLocalFile() ? url.toLocalFile() : QString();
}

// Holds the hourglass for as long as it lives.
struct WaitCursor {
  WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { Restore(); }
  void Restore() {
    if (on) QApplication::restoreOverrideCursor();
    on = false;
  }
  bool on = true;
};

}  // namespace

// The grid's cells: column 0 the row number, 1 the code, 2..5 the rights. Model row r is
// code row r + 1; the heading row is the view's header.
class CodeGridModel : public QAbstractTableModel {
 public:
  CodeGridModel(CodeGrid& grid, QObject* parent) : QAbstractTableModel(parent), grid_(grid) {}

  int rowCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : grid_.rowCount() - 1;
  }
  int columnCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : kColumns;
  }

  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole)) return {};
    const int k = index.row() + 1;
    if (index.column() == 0) return QString("%1").arg(k, 4, 10, QChar('0'));
    const CodeRow& row = std::as_const(grid_).row(k);
    if (index.column() == 1) return FromCp1250(row.code);
    return Q(row.rights[index.column() - 2]);
  }

  Qt::ItemFlags flags(const QModelIndex& index) const override {
    // The row numbers are the fixed column: never current, never selected.
    if (!index.isValid() || index.column() == 0) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == 1) f |= Qt::ItemIsEditable;
    return f;
  }

  bool setData(const QModelIndex& index, const QVariant& value, int role) override {
    if (!index.isValid() || index.column() != 1 || role != Qt::EditRole) return false;
    const auto typed = ToCp1250(value.toString());
    if (!typed) return false;
    const std::string code = TakeEditedCode(*typed, recordLength_()).text;
    step_([&] { grid_.row(index.row() + 1).code = code; });
    emit dataChanged(index, index);
    return true;
  }

  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (orientation != Qt::Horizontal) return {};
    if (role == Qt::DisplayRole) return QString(kHeadings[section]);
    if (role == Qt::TextAlignmentRole) return int(Qt::AlignLeft | Qt::AlignTop);
    if (role == Qt::FontRole) {
      QFont font;
      font.setPointSize(8);
      font.setBold(true);
      return font;
    }
    return {};
  }

  void setRecordLength(std::function<int()> f) { recordLength_ = std::move(f); }
  // How a typed code goes in: as a step of the page's history.
  void setStep(std::function<void(const std::function<void()>&)> f) { step_ = std::move(f); }
  void reset(const std::function<void()>& change) {
    beginResetModel();
    change();
    endResetModel();
  }
  void rowsChanged(int firstRow, int lastRow, int firstColumn, int lastColumn) {
    emit dataChanged(index(firstRow - 1, firstColumn), index(lastRow - 1, lastColumn));
  }
  // The grid has grown or shrunk by its last row.
  void rowAdded() {
    const int r = rowCount() - 1;
    beginInsertRows({}, r, r);
    endInsertRows();
  }
  void rowRemoving(const std::function<void()>& remove) {
    const int r = rowCount() - 1;
    beginRemoveRows({}, r, r);
    remove();
    endRemoveRows();
  }

 private:
  CodeGrid& grid_;
  std::function<int()> recordLength_ = [] { return 1; };
  std::function<void(const std::function<void()>&)> step_ = [](const auto& f) { f(); };
};

namespace {

// Draws every cell itself and edits the code column with digits only.
class CodeCellDelegate : public QStyledItemDelegate {
 public:
  CodeCellDelegate(CodesPage& page, QObject* parent) : QStyledItemDelegate(parent), page_(page) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    // The row numbers are not selectable, which would draw them greyed out by default.
    QPalette pal = option.palette;
    const bool enabled = !option.widget || option.widget->isEnabled();
    pal.setCurrentColorGroup(enabled ? QPalette::Active : QPalette::Disabled);
    const bool fixed = index.column() == 0;
    const bool selected = !fixed && (option.state & QStyle::State_Selected);
    QFont font = option.font;
    font.setPointSize(8);
    font.setBold(fixed);
    QColor background = pal.color(QPalette::Base);
    QColor text = pal.color(QPalette::ButtonText);
    if (selected) {
      background = pal.color(QPalette::Highlight);
      text = pal.color(QPalette::HighlightedText);
    } else if (fixed) {
      background = pal.color(QPalette::Button);
    }
    painter->save();
    painter->setClipRect(option.rect);
    painter->fillRect(option.rect, background);
    QPen dots(pal.color(QPalette::Mid), 0, Qt::DotLine);
    painter->setPen(dots);
    painter->drawRect(option.rect.adjusted(0, 0, -1, -1));
    painter->setFont(font);
    painter->setPen(text);
    painter->drawText(option.rect.adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignTop,
                      index.data().toString());
    painter->restore();
  }

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                        const QModelIndex& index) const override {
    auto* editor = new QLineEdit(parent);
    editor->setObjectName("StringGrid1Editor");
    editor->setFrame(false);
    QFont font = editor->font();
    font.setPointSize(8);
    editor->setFont(font);
    const int row = index.row() + 1;
    connect(editor, &QLineEdit::textEdited, editor,
            Guarded([this, editor, row] { page_.codeEdited(editor, row); }));
    return editor;
  }

  void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                            const QModelIndex&) const override {
    editor->setGeometry(option.rect);
  }

  QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex& index) const override {
    return {kColumnWidths[index.column()], kRowHeight};
  }

 protected:
  bool eventFilter(QObject* object, QEvent* event) override {
    if (event->type() == QEvent::KeyPress) {
      auto* key = static_cast<QKeyEvent*>(event);
      // Moving between rows and removing the last one are the grid's keys, also while a
      // code is being typed; leaving the cell keeps what was typed.
      const auto mods = key->modifiers() & ~Qt::KeypadModifier;
      const bool rowKey = mods == Qt::NoModifier &&
                          (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down ||
                           key->key() == Qt::Key_PageUp || key->key() == Qt::Key_PageDown);
      if (rowKey || (key->key() == Qt::Key_Delete && mods == Qt::ControlModifier)) {
        QApplication::sendEvent(page_.view(), event);
        return true;
      }
      // Lines or columns pasted into a cell are rows for the grid, not one cell's text.
      if (key->matches(QKeySequence::Paste) && IsCellBlock(QApplication::clipboard()->text())) {
        page_.pasteRows();
        return true;
      }
      if (IsTypedCharacter(key->text()) && !CodeKeyAccepted(TypedChar(key->text()))) return true;
    }
    return QStyledItemDelegate::eventFilter(object, event);
  }

 private:
  CodesPage& page_;
};

}  // namespace

CodeGridView::CodeGridView(CodesPage& page) : QTableView(&page), page_(page) {
  setObjectName("StringGrid1");
  QFont font("MS Sans Serif", 10);
  setFont(font);
  setShowGrid(true);
  setWordWrap(false);
  setTabKeyNavigation(false);
  setSelectionBehavior(QAbstractItemView::SelectItems);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::DoubleClicked |
                  QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
  setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  verticalHeader()->hide();
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setMinimumSectionSize(kRowHeight);
  verticalHeader()->setDefaultSectionSize(kRowHeight);
  horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  horizontalHeader()->setMinimumSectionSize(8);
  horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignTop);
  horizontalHeader()->setFixedHeight(kRowHeight + 2);
  horizontalHeader()->setHighlightSections(false);
  // The "Kód" heading offers a sort; the others do nothing.
  horizontalHeader()->setSectionsClickable(true);
  connect(horizontalHeader(), &QHeaderView::sectionClicked, this, Guarded([this](int section) {
            if (section == 1) page_.offerSort();
          }));
}

QRect CodeGridView::selectedCells() const {
  QRect cells;
  for (const QItemSelectionRange& range : selectionModel()->selection()) {
    cells |= QRect(QPoint(range.left(), range.top()), QPoint(range.right(), range.bottom()));
  }
  const QModelIndex current = currentIndex();
  if (cells.isNull() && current.isValid()) cells = QRect(current.column(), current.row(), 1, 1);
  return cells;
}

void CodeGridView::commitEditor() {
  if (state() != QAbstractItemView::EditingState) return;
  if (QWidget* editor = indexWidget(currentIndex())) {
    commitData(editor);
    closeEditor(editor, QAbstractItemDelegate::NoHint);
  }
}

void CodeGridView::followColumn(int column) {
  if (column < 0) return;
  setSelectionMode(column <= 1 ? QAbstractItemView::SingleSelection
                               : QAbstractItemView::ContiguousSelection);
}

QModelIndex CodeGridView::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
  const QModelIndex next = QTableView::moveCursor(action, modifiers);
  if (next.isValid()) followColumn(next.column());
  return next;
}

void CodeGridView::keyPressEvent(QKeyEvent* event) {
  const QModelIndex current = currentIndex();
  const bool onLastRow = current.isValid() && current.row() == model()->rowCount() - 1;
  const auto mods = event->modifiers() & ~Qt::KeypadModifier;
  const int row = current.isValid() ? current.row() + 1 : 1;
  std::function<void()> command;
  if (event->matches(QKeySequence::Copy)) {
    command = [this] { page_.copyRows(); };
  } else if (event->matches(QKeySequence::Cut)) {
    command = [this] { page_.cutRows(); };
  } else if (event->matches(QKeySequence::Paste)) {
    command = [this] { page_.pasteRows(); };
  } else if (event->key() == Qt::Key_Insert && mods == Qt::NoModifier) {
    command = [this, row] { page_.insertRow(row); };
  } else if (event->key() == Qt::Key_Delete && mods == Qt::NoModifier &&
             page_.wholeRowsSelected()) {
    command = [this] { page_.deleteSelectedRows(); };
  } else if (event->key() == Qt::Key_Space && mods == Qt::ShiftModifier) {
    command = [this] {
      const RowRange rows = page_.selectedRows();
      page_.selectRows(rows.first, rows.last);
    };
  }
  if (command) {
    command();
    event->accept();
    return;
  }
  if (event->key() == Qt::Key_Down && mods == Qt::NoModifier && onLastRow) {
    page_.appendRow();
  } else if (event->key() == Qt::Key_Delete && mods == Qt::ControlModifier) {
    if (onLastRow) page_.removeLastRow();
    event->accept();
    return;
  } else if (current.isValid() && IsTypedCharacter(event->text()) &&
             !(mods & (Qt::ControlModifier | Qt::AltModifier))) {
    const char c = TypedChar(event->text());
    if (current.column() == 1 && !CodeKeyAccepted(c)) {
      event->accept();
      return;
    }
    if (current.column() >= 2) {
      if (const auto right = RightForKey(c))
        page_.setRight(current.row() + 1, current.column(), *right);
      event->accept();
      return;
    }
  }
  QTableView::keyPressEvent(event);
}

void CodeGridView::mousePressEvent(QMouseEvent* event) {
  // The right button leaves the selection alone: the rights menu acts on it.
  if (event->button() == Qt::RightButton) {
    event->accept();
    return;
  }
  const QModelIndex at = indexAt(event->position().toPoint());
  if (event->button() == Qt::LeftButton && at.isValid() && at.column() == 0) {
    // The row numbers choose whole rows, Shift+click from the row chosen before.
    const bool extend = (event->modifiers() & Qt::ShiftModifier) && rowAnchor_ >= 0;
    if (!extend) rowAnchor_ = at.row() + 1;
    page_.selectRows(std::min(rowAnchor_, at.row() + 1), std::max(rowAnchor_, at.row() + 1));
    event->accept();
    return;
  }
  rowAnchor_ = -1;
  followColumn(at.column());
  QTableView::mousePressEvent(event);
}

void CodeGridView::mouseMoveEvent(QMouseEvent* event) {
  if (rowAnchor_ >= 0 && (event->buttons() & Qt::LeftButton)) {
    const QModelIndex at = indexAt(event->position().toPoint());
    if (at.isValid()) {
      page_.selectRows(std::min(rowAnchor_, at.row() + 1), std::max(rowAnchor_, at.row() + 1));
    }
    event->accept();
    return;
  }
  QTableView::mouseMoveEvent(event);
}

void CodeGridView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) {
    const QRect cells = selectedCells();
    if ((!cells.isNull() && cells.left() == 2 && cells.top() >= 0) || page_.wholeRowsSelected()) {
      page_.popUpRightsMenu(event->globalPosition().toPoint());
    }
    event->accept();
    return;
  }
  QTableView::mouseReleaseEvent(event);
}

void CodeGridView::mouseDoubleClickEvent(QMouseEvent* event) {
  const QRect cells = selectedCells();
  if (event->button() == Qt::LeftButton && !cells.isNull() && cells.left() >= 2) {
    page_.toggleRightByInitial(cells.top() + 1, cells.left());
    event->accept();
    return;
  }
  QTableView::mouseDoubleClickEvent(event);
}

CodesPage::CodesPage(PageHost& host) : Page("TabSheet5", host) {
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  model_ = new CodeGridModel(grid_, this);
  model_->setRecordLength([this] { return recordLength(); });
  model_->setStep([this](const std::function<void()>& change) { Step(change); });
  history_.SetBeforeMove([this] { view_->commitEditor(); });
  setAcceptDrops(true);
  view_ = new CodeGridView(*this);
  view_->setModel(model_);
  view_->setItemDelegate(new CodeCellDelegate(*this, view_));
  for (int c = 0; c < kColumns; ++c) view_->setColumnWidth(c, kColumnWidths[c]);
  column->addWidget(view_, 1);
  findBar_ = new FindBar("edFindCode", this, view_, [this](const QString& s) { findCode(s); });
  column->addWidget(findBar_);

  rightsMenu_ = new QMenu(this);
  rightsMenu_->setObjectName("PopupMenu1");
  const std::pair<const char*, int> items[] = {
      {"Nemzetközi", 5}, {"Mobil", 4}, {"Távolsági", 3}, {"Helyi", 2}, {"Tiltott", kForbidAllItem}};
  for (const auto& [caption, number] : items) {
    QAction* a = rightsMenu_->addAction(caption);
    a->setData(number);
    connect(a, &QAction::triggered, this, Guarded([this, number] { applyRightsItem(number); }));
  }
  rightsMenu_->addSeparator();
  QAction* insert = rightsMenu_->addAction("Beszúrás");
  insert->setObjectName("Beszuras1");
  connect(insert, &QAction::triggered, this, Guarded([this] { insertRow(selectedRows().first); }));
  QAction* remove = rightsMenu_->addAction("Sorok törlése");
  remove->setObjectName("SorokTorlese1");
  connect(remove, &QAction::triggered, this, Guarded([this] { deleteSelectedRows(); }));

  host.leave().OnLeave(view_, [this] {
    view_->commitEditor();
    encodeCodeTable();
    return true;
  });
}

void CodesPage::FillMenu(QMenu* menu) {
  auto add = [this](QMenu* m, const char* name, const char* caption,
                    std::function<void()> command) {
    QAction* a = m->addAction(caption);
    a->setObjectName(name);
    connect(a, &QAction::triggered, this, Guarded([command] { command(); }));
    return a;
  };
  add(menu, "Mindkijell1", "Mind kijelöl", [this] { selectAllCodes(); });
  menu->addSeparator();
  add(menu, "Generls1", "Generálás", [this] { generateCodes(); });
  add(menu, "Ellenrzs1", "Ellenörzés", [this] { checkDuplicateCodes(); });
  menu->addSeparator();
  QMenu* import = menu->addMenu("Import");
  import->setObjectName("Import1");
  add(import, "ImportTxt1", "<--Txt", [this] { importCodes(CodeFile::Text); });
  add(import, "ImportPinDat1", "<--PIN.DAT", [this] { importCodes(CodeFile::PinDat); });
  QMenu* exportMenu = menu->addMenu("Export");
  exportMenu->setObjectName("Export1");
  add(exportMenu, "ExportTxt1", "-->Txt", [this] { exportCodes(CodeFile::Text); });
  add(exportMenu, "ExportPinDat1", "-->PIN.DAT", [this] { exportCodes(CodeFile::PinDat); });
  menu->addSeparator();
  history_.AddItems(menu, this, "Visszavonas1", "Megis1");
}

void CodesPage::importCodes(CodeFile format) {
  const bool dat = format == CodeFile::PinDat;
  const FileDialogOptions options{
      "Pinkód kódok importálása",
      dat ? "Pinkód kódok (*.dat);;Minden file (*)" : "Szövegfile (*.txt);;Minden file (*)",
      dat ? "dat" : "txt"};
  const QString file = host_.dialogs().OpenFileName(options);
  host_.ExchangeDialogUsed(true);
  if (file.isEmpty()) return;
  importFile(format, file);
}

void CodesPage::importDroppedFile(const QString& file) {
  importFile(QFileInfo(file).suffix().compare("dat", Qt::CaseInsensitive) == 0 ? CodeFile::PinDat
                                                                               : CodeFile::Text,
             file);
}

void CodesPage::importFile(CodeFile format, const QString& file) {
  const bool dat = format == CodeFile::PinDat;
  view_->commitEditor();
  Step(
      [&] {
        Refusal refused;
        const std::string path = file.toStdString();
        const int rowsBefore = grid_.rowCount();
        model_->reset([&] {
          refused = dat ? ImportPinDatFile(path, host_.image(), host_.layout(), grid_)
                        : ImportCodeTextFile(path, host_.image(), host_.layout(), grid_);
        });
        // A file that was not taken leaves the table as it was, image included.
        if (refused) {
          host_.dialogs().Message(Q(*refused));
          return;
        }
        ForgetRowsBeyondGrid(rowsBefore);
        view_->setFocus(Qt::OtherFocusReason);
        StoreImportedCodes(host_.image(), host_.layout(), grid_);
        ShowCount();
      },
      /*storesImage=*/true);
}

void CodesPage::dragEnterEvent(QDragEnterEvent* event) {
  if (!DroppedFile(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void CodesPage::dropEvent(QDropEvent* event) {
  const QString file = DroppedFile(event->mimeData());
  if (file.isEmpty()) return;
  event->acceptProposedAction();
  RunGuarded([&] { importDroppedFile(file); });
}

void CodesPage::exportCodes(CodeFile format) {
  const bool dat = format == CodeFile::PinDat;
  // The code being typed is part of what the grid shows, and both files write that.
  view_->commitEditor();
  // The binary list is written from the image's header, so the grid goes there first.
  if (dat) encodeCodeTable();
  const FileDialogOptions options{
      "Pinkód kódok exportálása",
      dat ? "Pinkód kódok (*.dat);;Minden file (*)" : "Szöveg file (*.txt);;Minden file (*)",
      dat ? "dat" : "txt"};
  const QString file = host_.dialogs().SaveFileName(options);
  host_.ExchangeDialogUsed(false);
  if (file.isEmpty()) return;
  const std::string bytes = dat ? ExportPinDat(host_.image(), host_.layout(), grid_)
                                : ExportCodeText(host_.image(), host_.layout(), grid_);
  if (Refusal failed = WriteExchangeFile(file.toStdString(), bytes))
    host_.dialogs().Message(Q(*failed));
}

void CodesPage::setCodeRowCount(int rows) {
  view_->commitEditor();
  const int rowsBefore = grid_.rowCount();
  model_->reset([&] { grid_.setRowCount(rows); });
  ForgetRowsBeyondGrid(rowsBefore);
  ShowCount();
  // The preferences may have laid the table out again: no earlier step fits it any more.
  ClearHistory();
}

void CodesPage::ForgetRowsBeyondGrid(int oldRowCount) {
  for (int k = grid_.rowCount(); k < oldRowCount; ++k) {
    const CodeRow& kept = std::as_const(grid_).row(k);
    const bool empty = kept.code.empty() && std::all_of(kept.rights.begin(), kept.rights.end(),
                                                        [](const auto& r) { return r.empty(); });
    if (!empty) grid_.row(k) = CodeRow{};
  }
}

int CodesPage::recordLength() const {
  return StoredRecordLength(host_.image(), host_.layout());
}

void CodesPage::Decode(const ImageView& view) {
  model_->reset([&] { grid_ = view.codes; });
}

void CodesPage::encodeCodeTable() {
  EncodeCodeTable(host_.image(), host_.layout(), grid_);
}

RowRange CodesPage::selectedRows() const {
  const QRect cells = view_->selectedCells();
  if (cells.isNull()) return {1, 0};
  return {cells.top() + 1, cells.bottom() + 1};
}

void CodesPage::selectAllCodes() {
  const int last = model_->rowCount() - 1;
  if (last < 0) return;
  view_->commitEditor();
  view_->followColumn(2);
  QItemSelectionModel* selection = view_->selectionModel();
  selection->setCurrentIndex(model_->index(0, 2), QItemSelectionModel::NoUpdate);
  selection->select(QItemSelection(model_->index(0, 2), model_->index(last, 2)),
                    QItemSelectionModel::ClearAndSelect);
}

void CodesPage::generateCodes() {
  // A code still being typed is stored (as each step is) before the decode shows the table.
  view_->commitEditor();
  Step([this] {
    WaitCursor wait;
    host_.DecodeImage();
    CodeGrid generated = grid_;
    const Refusal refused =
        GenerateCodes(host_.image(), host_.layout(), generated, ClockSeededRandom());
    wait.Restore();
    if (refused) {
      host_.dialogs().Message(Q(*refused));
      encodeCodeTable();
      return;
    }
    int replaced = 0;
    const int count = StoredCodeCount(host_.image(), host_.layout());
    for (int k = 1; k <= count && k < grid_.rowCount(); ++k) {
      if (std::as_const(grid_).row(k).code.find_first_not_of(' ') != std::string::npos) ++replaced;
    }
    if (replaced > 0 &&
        host_.dialogs().Ask(
            QString("A generálás felülírja a táblában lévő %1 kódot. Folytatja ?").arg(replaced),
            "Megerősítés", QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
      return;
    model_->reset([&] { grid_ = std::move(generated); });
    view_->setFocus(Qt::OtherFocusReason);
    encodeCodeTable();
  });
}

void CodesPage::checkDuplicateCodes() {
  view_->commitEditor();
  const bool found = CheckDuplicateCodes(grid_, [this](int i, int j) {
    // The pair is shown while it is asked about.
    view_->setSelectionMode(QAbstractItemView::ContiguousSelection);
    QItemSelection pair(model_->index(i - 1, 1), model_->index(i - 1, 5));
    pair.select(model_->index(j - 1, 1), model_->index(j - 1, 5));
    view_->selectionModel()->setCurrentIndex(model_->index(i - 1, 1),
                                             QItemSelectionModel::NoUpdate);
    view_->selectionModel()->select(pair, QItemSelectionModel::ClearAndSelect);
    view_->scrollTo(model_->index(j - 1, 1));
    view_->scrollTo(model_->index(i - 1, 1));
    return host_.dialogs().Ask(Q(DuplicateCodeMessage(i, j)), "Hiba",
                               QMessageBox::Ok | QMessageBox::Cancel,
                               QMessageBox::Critical) == QMessageBox::Ok;
  });
  if (!found) host_.dialogs().Message(kNoDuplicatesMessage);
}

void CodesPage::appendRow() {
  Step([this] {
    if (!AppendCodeRow(host_.image(), host_.layout(), grid_)) {
      SayTableFull();
      return;
    }
    model_->rowAdded();
    ShowCount();
  });
}

void CodesPage::removeLastRow() {
  if (grid_.rowCount() <= 2) return;
  view_->commitEditor();
  Step([this] {
    const int rowsBefore = grid_.rowCount();
    model_->rowRemoving([this] { RemoveLastCodeRow(host_.image(), host_.layout(), grid_); });
    ForgetRowsBeyondGrid(rowsBefore);
    ShowCount();
  });
}

void CodesPage::setRight(int row, int column, const std::string& text) {
  Step([&] {
    grid_.row(row).rights[column - 2] = text;
    model_->rowsChanged(row, row, column, column);
  });
}

void CodesPage::toggleRightByInitial(int row, int column) {
  if (row < 1 || row >= grid_.rowCount() || column < 2 || column > 5) return;
  setRight(row, column, ToggledRightByInitial(std::as_const(grid_).row(row).rights[column - 2]));
}

void CodesPage::popUpRightsMenu(const QPoint& globalPos) {
  rightsMenu_->popup(globalPos);
}

void CodesPage::applyRightsItem(int item) {
  const QRect cells = view_->selectedCells();
  if (cells.isNull()) return;
  Step([&] {
    ApplyRightsItem(grid_, cells.top() + 1, cells.bottom() + 1, item);
    model_->rowsChanged(cells.top() + 1, cells.bottom() + 1, 2, 5);
  });
}

void CodesPage::codeEdited(QLineEdit* editor, int row) {
  const auto typed = ToCp1250(editor->text());
  if (!typed) return;
  const EditedCode edited = TakeEditedCode(*typed, recordLength());
  if (edited.text != *typed) editor->setText(FromCp1250(edited.text));
  if (!edited.cut) return;
  // The code is complete: it goes into the cell and the cursor moves on to "Helyi".
  view_->commitEditor();
  view_->followColumn(2);
  view_->setCurrentIndex(model_->index(row - 1, 2));
}

void CodesPage::findCode(const QString& sought) {
  const auto wanted = ToCp1250(sought);
  const QModelIndex current = view_->currentIndex();
  const int k = wanted ? FindCode(grid_, current.isValid() ? current.row() + 1 : 0, *wanted) : 0;
  if (k == 0) {
    host_.dialogs().Message(kNoSuchCodeMessage);
    return;
  }
  view_->commitEditor();
  view_->followColumn(1);
  view_->setCurrentIndex(model_->index(k - 1, 1));
  view_->scrollTo(model_->index(k - 1, 1));
}

void CodesPage::ShowCount() {
  host_.ShowCodeCount(Q(CodeCountText(grid_, recordLength())));
}

void CodesPage::SayTableFull() {
  const int length = recordLength() - 1;
  host_.ShowStatus(QString("A kódtábla megtelt: %1 jegyű kódból legfeljebb %2 fér el.")
                       .arg(length)
                       .arg(CodeCountLimit(length, host_.layout().Size(Field::CodeTable))));
}

void CodesPage::selectRows(int first, int last) {
  const int rows = model_->rowCount();
  first = std::clamp(first, 1, rows);
  last = std::clamp(last, first, rows);
  view_->commitEditor();
  view_->setSelectionMode(QAbstractItemView::ContiguousSelection);
  QItemSelectionModel* selection = view_->selectionModel();
  selection->setCurrentIndex(model_->index(first - 1, 1), QItemSelectionModel::NoUpdate);
  selection->select(QItemSelection(model_->index(first - 1, 1), model_->index(last - 1, 5)),
                    QItemSelectionModel::ClearAndSelect);
}

bool CodesPage::wholeRowsSelected() const {
  const QItemSelection selection = view_->selectionModel()->selection();
  if (selection.size() != 1) return false;
  const QItemSelectionRange& range = selection.first();
  return range.left() <= 1 && range.right() == 5;
}

void CodesPage::copyRows() {
  view_->commitEditor();
  const RowRange rows = selectedRows();
  if (rows.first > rows.last) return;
  QApplication::clipboard()->setText(FromCp1250(CodeClipboardText(grid_, rows.first, rows.last)));
}

void CodesPage::cutRows() {
  view_->commitEditor();
  const RowRange rows = selectedRows();
  if (rows.first > rows.last) return;
  copyRows();
  deleteRows(rows.first, rows.last);
}

void CodesPage::pasteRows() {
  view_->commitEditor();
  const QModelIndex current = view_->currentIndex();
  pasteText(QApplication::clipboard()->text(), current.isValid() ? current.row() + 1 : 1);
}

bool CodesPage::pasteText(const QString& text, int first) {
  view_->commitEditor();
  QString refusedCharacter;
  const auto bytes = ToCp1250(text, &refusedCharacter);
  if (!bytes) {
    host_.dialogs().Message(refusedCharacter);
    return false;
  }
  PasteResult pasted;
  Step([&] {
    model_->reset([&] { pasted = PasteCodes(grid_, *bytes, first, recordLength() - 1); });
  });
  if (pasted.refused) {
    host_.dialogs().Message(Q(*pasted.refused));
    return false;
  }
  if (pasted.rows == 0) {
    host_.ShowStatus("A vágólapon nincs beilleszthető kód.");
    return false;
  }
  ShowCount();
  selectRows(first, first + pasted.rows - 1);
  view_->scrollTo(model_->index(first - 1, 1));
  host_.ShowStatus(QString("%1 sor beillesztve.").arg(pasted.rows));
  return true;
}

void CodesPage::insertRow(int row) {
  view_->commitEditor();
  bool inserted = false;
  Step([&] { model_->reset([&] { inserted = InsertCodeRow(grid_, row, recordLength() - 1); }); });
  if (!inserted) {
    SayTableFull();
    return;
  }
  ShowCount();
  view_->followColumn(1);
  view_->setCurrentIndex(model_->index(row - 1, 1));
}

void CodesPage::deleteSelectedRows() {
  view_->commitEditor();
  const RowRange rows = selectedRows();
  if (rows.first > rows.last) return;
  const int count = rows.last - rows.first + 1;
  if (host_.dialogs().Ask(QString("Törli a kijelölt %1 sort ?").arg(count), "Megerősítés",
                          QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
    return;
  deleteRows(rows.first, rows.last);
}

void CodesPage::deleteRows(int first, int last) {
  view_->commitEditor();
  Step([&] {
    ConfigImage& image = host_.image();
    const ImageLayout& layout = host_.layout();
    const int storedBefore = StoredCodeCount(image, layout);
    int removed = 0;
    model_->reset([&] { removed = DeleteCodeRows(grid_, first, last); });
    if (removed == 0) return;
    // The removed codes are gone from the image as well: the count comes down, and the
    // records past it are blanked as a new table's are.
    const int rows = grid_.rowCount() - 1;
    const int L = recordLength();
    if (storedBefore > rows) StoreCodeCount(image, layout, rows);
    const long size = layout.Size(Field::CodeTable);
    if (L >= 1) {
      const long from = std::min<long>(static_cast<long>(rows) * L, size);
      const long to = std::min<long>(static_cast<long>(storedBefore) * L, size);
      if (to > from) {
        const long table = layout.Offset(Field::CodeTable);
        image.Fill(table + from, table + to - 1, ' ');
      }
    }
    ShowCount();
  });
  const int rows = model_->rowCount();
  const int at = std::clamp(first, 1, rows);
  view_->followColumn(1);
  view_->setCurrentIndex(model_->index(at - 1, 1));
}

void CodesPage::offerSort() {
  view_->commitEditor();
  const QString question = sortAscending_ ? "Rendezi a kódokat növekvő sorrendbe ?"
                                          : "Rendezi a kódokat csökkenő sorrendbe ?";
  if (host_.dialogs().Ask(question, "Megerősítés", QMessageBox::Yes | QMessageBox::No) !=
      QMessageBox::Yes)
    return;
  sortRows(sortAscending_);
  sortAscending_ = !sortAscending_;
}

void CodesPage::sortRows(bool ascending) {
  view_->commitEditor();
  Step([&] { model_->reset([&] { SortCodeRows(grid_, ascending); }); });
}

std::string CodesPage::StoredBytes() const {
  const ConfigImage& image = host_.image();
  const ImageLayout& layout = host_.layout();
  return image.Bytes(layout.Offset(Field::CodeRecordLength), 1) +
         image.Bytes(layout.Offset(Field::CodeCount), 2) +
         image.Bytes(layout.Offset(Field::CodeTable), layout.Size(Field::CodeTable));
}

CodesPage::CodeState CodesPage::Capture() const {
  return {grid_, StoredBytes()};
}

namespace {

bool SameRows(const CodeGrid& a, const CodeGrid& b) {
  if (a.rowCount() != b.rowCount()) return false;
  for (int k = 1; k < a.rowCount(); ++k) {
    if (a.row(k).code != b.row(k).code || a.row(k).rights != b.row(k).rights) return false;
  }
  return true;
}

}  // namespace

bool CodesPage::SameAsNow(const CodeState& state) const {
  return SameRows(state.grid, grid_) && state.stored == StoredBytes();
}

void CodesPage::Restore(const CodeState& state) {
  const QModelIndex current = view_->currentIndex();
  model_->reset([&] { grid_ = state.grid; });
  ConfigImage& image = host_.image();
  const ImageLayout& layout = host_.layout();
  image.SetBytes(layout.Offset(Field::CodeRecordLength), state.stored.substr(0, 1));
  image.SetBytes(layout.Offset(Field::CodeCount), state.stored.substr(1, 2));
  image.SetBytes(layout.Offset(Field::CodeTable), state.stored.substr(3));
  ShowCount();
  if (current.isValid() && model_->rowCount() > 0) {
    const int row = std::min(current.row(), model_->rowCount() - 1);
    view_->followColumn(current.column());
    view_->setCurrentIndex(model_->index(row, current.column()));
  }
}

void CodesPage::Step(const std::function<void()>& command, bool storesImage) {
  history_.Step(command, [&](const CodeState& before) {
    // The image follows the grid at once, so that what a step restores is what was stored.
    if (!storesImage && !SameRows(before.grid, grid_)) encodeCodeTable();
    return !SameAsNow(before);
  });
}

}  // namespace tarvelo
