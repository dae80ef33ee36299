#include "ui/FindBar.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QShortcut>

#include "ui/ErrorGuard.h"
#include "ui/Widgets.h"

namespace tarvelo {

FindBar::FindBar(const QString& editName, QWidget* page, QWidget* back,
                 std::function<void(const QString&)> findNext)
    : QWidget(page), back_(back), findNext_(std::move(findNext)) {
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 2, 0, 2);
  row->addWidget(new QLabel("Keresés:", this));
  edit_ = MakeEdit(editName, 16, this);
  edit_->setMaximumWidth(160);
  row->addWidget(edit_);
  row->addStretch(1);
  edit_->installEventFilter(this);
  hide();
  auto* shortcut = new QShortcut(QKeySequence::Find, page);
  shortcut->setContext(Qt::WidgetWithChildrenShortcut);
  connect(shortcut, &QShortcut::activated, this, Guarded([this] { open(); }));
}

void FindBar::open() {
  show();
  edit_->setFocus(Qt::ShortcutFocusReason);
  edit_->selectAll();
}

void FindBar::close() {
  hide();
  back_->setFocus(Qt::OtherFocusReason);
}

bool FindBar::eventFilter(QObject* watched, QEvent* event) {
  if (watched == edit_ && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      if (!edit_->text().trimmed().isEmpty()) findNext_(edit_->text());
      return true;
    }
    if (key == Qt::Key_Escape) {
      close();
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace tarvelo
