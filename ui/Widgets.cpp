#include "ui/Widgets.h"

#include "ui/ErrorGuard.h"

#include <QApplication>
#include <QFocusEvent>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>

#include <stdexcept>

#include "model/General.h"
#include "model/Settings.h"
#include "ui/DialogService.h"
#include "ui/QtText.h"

namespace tarvelo {

RadioGroup::RadioGroup(const QString& objectName, const QString& caption, int columns,
                       QWidget* parent)
    : QGroupBox(caption, parent), grid_(new QGridLayout(this)), columns_(columns) {
  setObjectName(objectName);
  grid_->setContentsMargins(2, 0, 2, 0);
  grid_->setVerticalSpacing(0);
  grid_->setHorizontalSpacing(4);
  connect(&buttons_, &QButtonGroup::idClicked, this, &RadioGroup::clicked);
}

void RadioGroup::setItems(const std::vector<std::string>& utf8Items) {
  QStringList items;
  for (const auto& s : utf8Items) items << QString::fromStdString(s);
  setItems(items);
}

void RadioGroup::setItems(const QStringList& items) {
  if (items == items_) return;
  const int old = itemIndex();
  for (auto* b : buttons_.buttons()) {
    buttons_.removeButton(b);
    delete b;
  }
  items_ = items;
  const int rows = (items.size() + columns_ - 1) / columns_;
  for (int i = 0; i < items.size(); ++i) {
    auto* b = new QRadioButton(items[i], this);
    buttons_.addButton(b, i);
    grid_->addWidget(b, i % rows, i / rows);
  }
  if (old >= 0) setItemIndex(std::min<int>(old, items.size() - 1));
}

void RadioGroup::setItemIndex(int index) {
  if (auto* b = button(index)) b->setChecked(true);
}

QRadioButton* RadioGroup::button(int index) const {
  return qobject_cast<QRadioButton*>(buttons_.button(index));
}

LeaveDispatcher::LeaveDispatcher(QObject* parent) : QObject(parent) {
  qApp->installEventFilter(this);
}

LeaveDispatcher::~LeaveDispatcher() {
  qApp->removeEventFilter(this);
}

void LeaveDispatcher::OnLeave(QWidget* scope, LeaveHandler handler) {
  handlers_.emplace_back(scope, std::move(handler));
  connect(scope, &QObject::destroyed, this, [this, scope] { Forget(scope); });
}

void LeaveDispatcher::Forget(QWidget* scope) {
  std::erase_if(handlers_, [scope](const auto& h) { return h.first == scope; });
}

QWidget* LeaveDispatcher::ScopeOf(QWidget* widget) const {
  for (QWidget* w = widget; w; w = w->parentWidget()) {
    for (const auto& h : handlers_) {
      if (h.first == w) return w;
    }
  }
  return nullptr;
}

bool LeaveDispatcher::Run(QWidget* widget) {
  QWidget* scope = ScopeOf(widget);
  if (!scope || running_) return true;
  LeaveHandler handler;
  for (const auto& h : handlers_) {
    if (h.first == scope) handler = h.second;
  }
  running_ = true;
  // A handler that fails has stored nothing: the field keeps the focus like a refused one.
  bool ok = false;
  RunGuarded([&] { ok = handler(); });
  if (!ok) {
    // Back into the field; whatever had just got the focus must not run its own handler.
    scope->setFocus(Qt::OtherFocusReason);
  }
  running_ = false;
  return ok;
}

bool LeaveDispatcher::Commit() {
  QWidget* focus = QApplication::focusWidget();
  return !focus || Run(focus);
}

void LeaveDispatcher::GuardPages(QTabWidget* pages) {
  pages_ = pages;
}

bool LeaveDispatcher::IsPageSwitch(QObject* watched, QEvent* event) const {
  if (!pages_) return false;
  QTabBar* bar = pages_->tabBar();
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
      if (watched != bar) return false;
      const int tab = bar->tabAt(static_cast<QMouseEvent*>(event)->position().toPoint());
      return tab >= 0 && tab != bar->currentIndex();
    }
    case QEvent::Wheel:
    case QEvent::Shortcut:  // a tab's mnemonic
      return watched == bar;
    case QEvent::KeyPress: {
      if (watched != pages_) return false;
      const auto* key = static_cast<QKeyEvent*>(event);
      if (!(key->modifiers() & Qt::ControlModifier)) return false;
      const int k = key->key();
      return k == Qt::Key_Tab || k == Qt::Key_Backtab || k == Qt::Key_PageUp ||
             k == Qt::Key_PageDown;
    }
    default:
      return false;
  }
}

bool LeaveDispatcher::FocusOut(QObject* watched, QEvent* event) {
  if (running_ || !watched->isWidgetType()) return false;
  const auto reason = static_cast<QFocusEvent*>(event)->reason();
  if (reason == Qt::PopupFocusReason || reason == Qt::ActiveWindowFocusReason) return false;
  QWidget* scope = ScopeOf(static_cast<QWidget*>(watched));
  if (!scope) return false;
  QWidget* next = QApplication::focusWidget();
  if (next && (next == scope || scope->isAncestorOf(next))) return false;
  if (!Run(scope) && reason == Qt::MouseFocusReason) {
    // The press that moved the focus is delivered after this; it must not click, check or
    // open what it was aimed at. It comes before any other event, so a stale flag is cleared
    // at the next turn of the event loop. Its release alone clicks nothing.
    swallowPress_ = true;
    QTimer::singleShot(0, this, [this] { swallowPress_ = false; });
  }
  return false;
}

bool LeaveDispatcher::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::FocusOut:
      return FocusOut(watched, event);
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
      if (swallowPress_) {
        swallowPress_ = false;
        return true;
      }
      break;
    default:
      break;
  }
  return !running_ && IsPageSwitch(watched, event) && !Commit();
}

QLineEdit* MakeEdit(const QString& objectName, int maxLength, QWidget* parent) {
  auto* e = new QLineEdit(parent);
  e->setObjectName(objectName);
  if (maxLength > 0) e->setMaxLength(maxLength);
  return e;
}

int ChosenRow(const QListWidget* list) {
  const QListWidgetItem* item = list->currentItem();
  return item && item->isSelected() ? list->row(item) : -1;
}

const SettingRow& RowOf(const char* object, const char* key) {
  if (const SettingRow* row = SettingByKey(object, key)) return *row;
  throw std::logic_error(std::string("no setting ") + object + "." + key);
}

const SettingRow& RowOfBox(const ByteFieldRow& box) {
  if (const SettingRow* row = SettingByControl(box.control)) return *row;
  throw std::logic_error(std::string("no setting shown in ") + box.control);
}

QString Caption(const SettingRow& row) {
  std::string caption = row.caption;
  if (row.list != SettingListId::None) {
    const SettingList& list = ListOf(row.list);
    if (list.caption && caption == list.entryCaption) caption = list.caption;
  }
  if (!row.parts.empty()) {
    std::string parts;
    for (const SettingPart& part : row.parts)
      parts += (parts.empty() ? "" : ":") + std::string(part.caption);
    caption += " (" + parts + ")";
  }
  return Q(caption);
}

QString LabelText(const SettingRow& row) {
  return Caption(row) + ":";
}

QLabel* MakeLabel(const SettingRow& row, QWidget* box, QWidget* parent) {
  auto* label = new QLabel(LabelText(row), parent);
  label->setBuddy(box);
  return label;
}

std::string ReadSetting(PageHost& host, const SettingRow& row, int index) {
  // The rows read from a whole record; the page holds only its image.
  DatabaseRecord record;
  record.image = host.image();
  ConfigImage decoded = record.image;
  const ImageView view = DecodeImageView(decoded, host.layout());
  return row.get(SettingSource(record, host.layout(), view), index);
}

bool StoreSetting(PageHost& host, const SettingRow& row, int index, const QString& value) {
  DatabaseRecord record;
  record.image = host.image();
  if (const SetResult refused = row.set(record, host.layout(), index, value.toStdString())) {
    host.dialogs().Message(Q(refused->message));
    return false;
  }
  host.image() = record.image;
  return true;
}

QLineEdit* ByteBoxes::Add(const ByteFieldRow& row, QWidget* parent) {
  QLineEdit* edit = MakeEdit(row.control, 3, parent);
  boxes_.push_back({edit, &row});
  host_.leave().OnLeave(edit, [this, box = boxes_.back()] { return Store(box); });
  return edit;
}

void ByteBoxes::Decode(const ImageView& view) {
  for (const Box& box : boxes_) {
    for (const ByteFieldValue& f : view.byteFields) {
      if (f.row == box.row) box.edit->setText(QString::number(f.value));
    }
  }
}

bool ByteBoxes::Store(const Box& box) {
  const SettingRow& setting = RowOfBox(*box.row);
  if (!setting.In(host_.layout().model())) return true;  // its box is hidden in that model
  return StoreSetting(host_, setting, 0, box.edit->text());
}

}  // namespace tarvelo
