#include "ui/NumbersPage.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>

#include "files/ExchangeFiles.h"
#include "model/CodeClipboard.h"
#include "model/ImageView.h"
#include "ui/DialogService.h"
#include "ui/ErrorGuard.h"
#include "ui/FindBar.h"
#include "ui/QtText.h"
#include "ui/Widgets.h"

namespace tarvelo {

namespace {

QString DroppedFile(const QMimeData* data) {
  if (!data || !data->hasUrls() || data->urls().size() != 1) return {};
  const QUrl url = data->urls().first();
  return url.isLocalFile() ? url.toLocalFile() : QString();
}

}  // namespace

NumbersPage::NumbersPage(PageHost& host)
    : Page("TabSheet6", host), list_(FreeNumberCapacity(host.layout())) {
  auto* grid = new QGridLayout(this);
  // The entry field comes first in the focus order: a list that gets the focus makes its
  // first item current, and the buttons would then act on an item nobody chose.
  numberEdit_ = MakeEdit("MEfreecall", kFreeNumberWidth, this);
  numberEdit_->setMaximumWidth(160);
  numberList_ = new QListWidget(this);
  numberList_->setObjectName("lbFreeCall");
  numberList_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  numberList_->setFont(QFont("MS Sans Serif"));
  numberList_->setUniformItemSizes(true);
  numberList_->setMaximumWidth(200);
  grid->addWidget(numberList_, 0, 0, 8, 1);

  grid->addWidget(new QLabel(QString::fromUtf8(ListOf(SettingListId::FreeNumbers).caption), this),
                  0, 1, 1, 2);
  grid->addWidget(numberEdit_, 1, 1, 1, 2);
  replaceButton_ = new QPushButton("&Javítás", this);
  replaceButton_->setObjectName("BTNfreejav");
  replaceButton_->setEnabled(false);
  addButton_ = new QPushButton("&Uj szám", this);
  addButton_->setObjectName("BTNujszam1");
  deleteButton_ = new QPushButton("&Törlés", this);
  deleteButton_->setObjectName("BTNfreedel");
  deleteButton_->setEnabled(false);
  grid->addWidget(replaceButton_, 2, 1);
  grid->addWidget(addButton_, 2, 2);
  grid->addWidget(deleteButton_, 3, 1);
  counter_ = new QLabel("Bejegyzés:", this);
  counter_->setObjectName("Label50");
  grid->addWidget(counter_, 4, 1, 1, 2);
  findBar_ =
      new FindBar("edFindNumber", this, numberList_, [this](const QString& s) { findNumber(s); });
  grid->addWidget(findBar_, 5, 1, 1, 3);
  grid->setRowStretch(7, 1);
  grid->setColumnStretch(3, 1);

  connect(numberList_, &QListWidget::itemClicked, this, Guarded([this] { showCurrentNumber(); }));
  connect(numberList_, &QListWidget::itemSelectionChanged, this,
          Guarded([this] { showCurrentNumber(); }));
  connect(addButton_, &QPushButton::clicked, this, Guarded([this] { addNumber(); }));
  connect(replaceButton_, &QPushButton::clicked, this, Guarded([this] { replaceNumber(); }));
  connect(deleteButton_, &QPushButton::clicked, this, Guarded([this] { deleteNumbers(); }));
  // Enter in the field adds the number, as the button does.
  connect(numberEdit_, &QLineEdit::returnPressed, this, Guarded([this] { addNumber(); }));
  numberList_->installEventFilter(this);
  numberEdit_->installEventFilter(this);
  setAcceptDrops(true);
  host.leave().OnLeave(this, [this] {
    FlushTrimmed();
    return true;
  });
}

void NumbersPage::FillMenu(QMenu* menu) {
  QAction* clear = menu->addAction("Mind töröl");
  clear->setObjectName("Mindtrl1");
  connect(clear, &QAction::triggered, this, Guarded([this] { clearNumbers(); }));
  sortedItem_ = menu->addAction("ABC Rendezett");
  sortedItem_->setObjectName("ABCRendezett1");
  sortedItem_->setCheckable(true);
  sortedItem_->setChecked(list_.sorted());
  connect(sortedItem_, &QAction::toggled, this, Guarded([this](bool on) { setSorted(on); }));
  menu->addSeparator();
  QAction* import = menu->addAction("Import <- CALL.TXT");
  import->setObjectName("ImportCall1");
  connect(import, &QAction::triggered, this, Guarded([this] { importNumbers(); }));
  QAction* exportItem = menu->addAction("Export -> CALL.TXT");
  exportItem->setObjectName("ExportCall1");
  connect(exportItem, &QAction::triggered, this, Guarded([this] { exportNumbers(); }));
  menu->addSeparator();
  history_.AddItems(menu, this, "Visszavonas2", "Megis2");
}

void NumbersPage::importNumbers() {
  const QString file = host_.dialogs().OpenFileName(
      {"Pinkód számok importálása", "Pinkód szabad számok (*.txt);;Minden file (*)", "txt"});
  host_.ExchangeDialogUsed(true);
  if (file.isEmpty()) return;
  importFile(file);
}

void NumbersPage::importFile(const QString& file) {
  const auto answer =
      host_.dialogs().Ask(QString(kCallTxtQuestion).replace('\r', '\n'), "Megerősítés",
                          QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
  if (answer == QMessageBox::Cancel) return;
  // The file is read before the list is touched: overwriting with a file that cannot be
  // read, or not whole, would lose the list for nothing.
  const bool append = answer == QMessageBox::Yes;
  const auto imported = ImportCallTxtFile(
      file.toStdString(), append ? list_.items() : std::vector<std::string>{}, list_.capacity());
  if (!imported) {
    host_.dialogs().Message(kCallTxtOpenError);
    return;
  }
  if (imported->refused) {
    host_.dialogs().Message(Q(*imported->refused));
    return;
  }
  Step([&] { list_.assign(imported->items); });
  ShowItems(-1);
  if (imported->linesLeft) host_.dialogs().Message(Q(CallTxtFullMessage(list_.capacity())));
  Refresh();
}

void NumbersPage::exportNumbers() {
  const QString file = host_.dialogs().SaveFileName(
      {"Pinkód számok exportálása", "Pinkód számok (*.txt);;Minden file (*)", "txt"});
  host_.ExchangeDialogUsed(false);
  if (file.isEmpty()) return;
  if (Refusal failed = WriteExchangeFile(file.toStdString(), ExportCallTxt(list_.items())))
    host_.dialogs().Message(Q(*failed));
}

void NumbersPage::ApplyModel(DeviceModel model) {
  list_.setCapacity(FreeNumberCapacity(ImageLayout::For(model)));
  Refresh();  // the counter shows the capacity
  // An earlier list could hold more numbers than the new model has places for.
  ClearHistory();
}

void NumbersPage::Decode(const ImageView& view) {
  list_.assign(view.freeNumbers);
  ShowItems(-1);
  // The counter would otherwise show the count of the list before.
  Refresh();
}

void NumbersPage::Flush() {
  DropWhatDoesNotFit();
  FlushFreeNumbers(host_.image(), host_.layout(), list_.items());
}

void NumbersPage::FlushTrimmed() {
  DropWhatDoesNotFit();
  FlushFreeNumbersTrimmed(host_.image(), host_.layout(), list_.items());
}

// After a switch by hand to the model with fewer places the list can hold more numbers than
// the image has room for. Only the first ones can be written: the user is told, and the
// list shows what is kept, rather than the rest going without a word.
void NumbersPage::DropWhatDoesNotFit() {
  const int capacity = list_.capacity();
  const int extra = static_cast<int>(list_.items().size()) - capacity;
  if (extra <= 0) return;
  list_.assign(std::vector<std::string>(list_.items().begin(), list_.items().begin() + capacity));
  ShowItems(-1);
  Refresh();
  host_.dialogs().Message(
      QString("Maximum %1 szám lehet a listában, ezért az utolsó %2 szám kimaradt!")
          .arg(capacity)
          .arg(extra));
}

void NumbersPage::ShowItems(int current) {
  const QSignalBlocker quiet(numberList_);
  const int scrolled = numberList_->verticalScrollBar()->value();
  numberList_->clear();
  for (const std::string& item : list_.items()) numberList_->addItem(FromCp1250(item));
  if (current >= 0 && current < numberList_->count()) {
    numberList_->setCurrentRow(current, QItemSelectionModel::ClearAndSelect);
    numberList_->scrollToItem(numberList_->item(current));
  } else {
    numberList_->verticalScrollBar()->setValue(scrolled);
  }
}

void NumbersPage::Refresh() {
  const bool hasCurrent = ChosenRow(numberList_) >= 0;
  replaceButton_->setEnabled(hasCurrent);
  deleteButton_->setEnabled(hasCurrent);
  // A full list leaves the button as it was: a click then adds nothing.
  if (static_cast<int>(list_.items().size()) < list_.capacity()) addButton_->setEnabled(true);
  counter_->setText(QString("Bejegyzések:%1/%2").arg(list_.items().size()).arg(list_.capacity()));
}

void NumbersPage::showCurrentNumber() {
  const int chosen = ChosenRow(numberList_);
  if (chosen >= 0) numberEdit_->setText(numberList_->item(chosen)->text());
  Refresh();
}

std::optional<std::string> NumbersPage::TypedNumber() {
  QString refused;
  auto typed = ToCp1250(numberEdit_->text(), &refused);
  if (!typed) host_.dialogs().Message(refused);
  return typed;
}

void NumbersPage::addNumber() {
  const auto typed = TypedNumber();
  if (!typed) return;
  std::string entry = *typed;
  int at = -1;
  FreeNumberList::AddResult result = FreeNumberList::AddResult::Full;
  Step([&] { result = list_.Add(entry, &at); });
  switch (result) {
    case FreeNumberList::AddResult::Added:
      numberEdit_->setText(FromCp1250(entry));
      ShowItems(at);
      break;
    case FreeNumberList::AddResult::Duplicate:
      numberEdit_->setText(FromCp1250(entry));
      host_.dialogs().Message(kDuplicateNumberMessage);
      break;
    case FreeNumberList::AddResult::Full:
      SayListFull();
      break;
  }
  Refresh();
  // Selected, so the next number typed replaces this one: the field is full of it.
  numberEdit_->setFocus(Qt::OtherFocusReason);
  numberEdit_->selectAll();
}

void NumbersPage::replaceNumber() {
  const auto typed = TypedNumber();
  if (!typed) return;
  std::string entry = *typed;
  int at = -1;
  Step([&] { at = list_.Replace(ChosenRow(numberList_), entry); });
  numberEdit_->setText(FromCp1250(entry));
  if (at >= 0) {
    ShowItems(at);
  }
  Refresh();
}

std::set<int> NumbersPage::selectedItems() const {
  std::set<int> rows;
  for (const QModelIndex& index : numberList_->selectionModel()->selectedIndexes())
    rows.insert(index.row());
  return rows;
}

void NumbersPage::deleteNumbers() {
  int removed = 0;
  Step([&] { removed = list_.Delete(selectedItems()); });
  if (removed > 0) ShowItems(-1);
  Refresh();
}

void NumbersPage::clearNumbers() {
  if (host_.dialogs().Ask(kClearQuestion, "Megerősítés", QMessageBox::Ok | QMessageBox::Cancel) !=
      QMessageBox::Ok)
    return;
  Step([this] { list_.Clear(); });
  ShowItems(-1);
  numberEdit_->clear();
  Refresh();
}

void NumbersPage::setSorted(bool sorted) {
  const int current = numberList_->currentRow();
  const std::string currentText = current >= 0 ? list_.items()[current] : std::string();
  Step([&] { list_.SetSorted(sorted); });
  if (sortedItem_ && sortedItem_->isChecked() != sorted) {
    const QSignalBlocker quiet(sortedItem_);
    sortedItem_->setChecked(sorted);
  }
  // The current item stays current wherever it moved to.
  int at = -1;
  if (current >= 0) {
    const auto& items = list_.items();
    at = static_cast<int>(std::find(items.begin(), items.end(), currentText) - items.begin());
  }
  ShowItems(at);
}

void NumbersPage::findNumber(const QString& sought) {
  const auto wanted = ToCp1250(sought);
  const int i = wanted ? FindFreeNumber(list_.items(), numberList_->currentRow(), *wanted) : -1;
  if (i < 0) {
    host_.dialogs().Message(kNoSuchNumberMessage);
    return;
  }
  numberList_->setCurrentRow(i, QItemSelectionModel::ClearAndSelect);
  numberList_->scrollToItem(numberList_->item(i));
}

bool NumbersPage::eventFilter(QObject* watched, QEvent* event) {
  // Ctrl+Z in the field takes back its own typing first; with none to take back, it takes
  // back the list's last command, as it does anywhere else on the page (the field would
  // otherwise swallow the key and do nothing).
  if (watched == numberEdit_ && event->type() == QEvent::ShortcutOverride) {
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool redoKey = key->matches(QKeySequence::Redo) ||
                         key->keyCombination() == QKeyCombination(Qt::ControlModifier, Qt::Key_Y);
    if ((key->matches(QKeySequence::Undo) && !numberEdit_->isUndoAvailable()) ||
        (redoKey && !numberEdit_->isRedoAvailable())) {
      event->ignore();
      return true;
    }
  }
  if ((watched == numberList_ || watched == numberEdit_) && event->type() == QEvent::KeyPress &&
      ClipboardKey(watched, static_cast<QKeyEvent*>(event)))
    return true;
  if (watched == numberList_ && event->type() == QEvent::KeyRelease &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
    deleteNumbers();
    return true;
  }
  return Page::eventFilter(watched, event);
}

bool NumbersPage::ClipboardKey(QObject* watched, QKeyEvent* key) {
  if (watched == numberEdit_) {
    // The field takes one number; lines pasted into it are numbers for the list.
    const QString text = QApplication::clipboard()->text();
    if (!key->matches(QKeySequence::Paste) || !(text.contains('\n') || text.contains('\r')))
      return false;
    pasteNumbers();
    return true;
  }
  if (key->matches(QKeySequence::Copy)) {
    copyNumbers();
  } else if (key->matches(QKeySequence::Cut)) {
    cutNumbers();
  } else if (key->matches(QKeySequence::Paste)) {
    pasteNumbers();
  } else {
    return false;
  }
  return true;
}

void NumbersPage::copyNumbers() {
  const std::set<int> chosen = selectedItems();
  if (chosen.empty()) return;
  QApplication::clipboard()->setText(FromCp1250(NumberClipboardText(list_.items(), chosen)));
}

void NumbersPage::cutNumbers() {
  if (selectedItems().empty()) return;
  copyNumbers();
  deleteNumbers();
}

void NumbersPage::pasteNumbers() {
  pasteText(QApplication::clipboard()->text());
}

bool NumbersPage::pasteText(const QString& text) {
  QString refusedCharacter;
  const auto bytes = ToCp1250(text, &refusedCharacter);
  if (!bytes) {
    host_.dialogs().Message(refusedCharacter);
    return false;
  }
  const NumberPaste pasted = ReadNumberClipboard(*bytes, list_.items(), list_.capacity());
  if (pasted.refused) {
    host_.dialogs().Message(Q(*pasted.refused));
    return false;
  }
  if (pasted.numbers.empty()) {
    host_.ShowStatus("A vágólapon nincs beilleszthető szám.");
    return false;
  }
  int last = -1;
  Step([&] {
    for (std::string number : pasted.numbers) list_.Add(number, &last);
  });
  ShowItems(pasted.numbers.size() == 1 ? last : -1);
  Refresh();
  host_.ShowStatus(QString("%1 szám beillesztve.").arg(pasted.numbers.size()));
  return true;
}

void NumbersPage::dragEnterEvent(QDragEnterEvent* event) {
  if (!DroppedFile(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void NumbersPage::dropEvent(QDropEvent* event) {
  const QString file = DroppedFile(event->mimeData());
  if (file.isEmpty()) return;
  event->acceptProposedAction();
  RunGuarded([&] { importFile(file); });
}

void NumbersPage::SayListFull() {
  host_.ShowStatus(
      QString("A lista megtelt: legfeljebb %1 szám lehet benne.").arg(list_.capacity()));
}

void NumbersPage::Step(const std::function<void()>& command) {
  history_.Step(command, [this](const NumberState& before) {
    return before.items != list_.items() || before.sorted != list_.sorted();
  });
}

void NumbersPage::Restore(const NumberState& state) {
  list_.SetSorted(false);
  list_.assign(state.items);
  list_.SetSorted(state.sorted);
  if (sortedItem_ && sortedItem_->isChecked() != state.sorted) {
    const QSignalBlocker quiet(sortedItem_);
    sortedItem_->setChecked(state.sorted);
  }
  ShowItems(-1);
  Refresh();
}

}  // namespace tarvelo
