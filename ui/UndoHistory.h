// The undo and redo history of a page's list: states as they stood before each command,
// bounded, with the menu items that offer a step kept enabled only while there is one.
#pragma once

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QWidget>
#include <cstddef>
#include <functional>
#include <vector>

#include "ui/ErrorGuard.h"

namespace tarvelo {

template <typename State>
class UndoHistory {
 public:
  // `capture` reads the page's state now, `restore` puts one back as it was.
  UndoHistory(std::function<State()> capture, std::function<void(const State&)> restore)
      : capture_(std::move(capture)), restore_(std::move(restore)) {}

  // Adds "Visszavonás" and "Mégis" to the page's menu, named `undoName` and `redoName`; their
  // keys work while the focus is on `page`, whichever menu is open.
  void AddItems(QMenu* menu, QWidget* page, const char* undoName, const char* redoName) {
    undoItem_ = menu->addAction("Visszavonás");
    undoItem_->setObjectName(undoName);
    undoItem_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    QObject::connect(undoItem_, &QAction::triggered, page, Guarded([this] { Undo(); }));
    redoItem_ = menu->addAction("Mégis");
    redoItem_->setObjectName(redoName);
    redoItem_->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
    QObject::connect(redoItem_, &QAction::triggered, page, Guarded([this] { Redo(); }));
    for (QAction* a : {undoItem_, redoItem_}) {
      a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
      page->addAction(a);
    }
    ShowItems();
  }

  // Runs a command as one step: the state before it is kept, unless the command changed
  // nothing (`changed` compares it with the state after). A command run inside another is
  // part of the outer step.
  void Step(const std::function<void()>& command,
            const std::function<bool(const State& before)>& changed) {
    if (depth_ > 0) {
      command();
      return;
    }
    State before = capture_();
    ++depth_;
    struct Leave {
      int& depth;
      ~Leave() { --depth; }
    } leave{depth_};
    command();
    if (!changed(before)) return;
    undo_.push_back(std::move(before));
    if (undo_.size() > kSteps) undo_.erase(undo_.begin());
    redo_.clear();
    ShowItems();
  }

  // `before` runs first (a cell being edited is stored, and so becomes a step of its own).
  void SetBeforeMove(std::function<void()> before) { beforeMove_ = std::move(before); }
  void Undo() { Move(undo_, redo_); }
  void Redo() { Move(redo_, undo_); }
  void Clear() {
    undo_.clear();
    redo_.clear();
    ShowItems();
  }
  bool CanUndo() const { return !undo_.empty(); }
  bool CanRedo() const { return !redo_.empty(); }

 private:
  // A hundred steps is more than a user retraces, and keeps a 3 KB table's history small.
  static constexpr std::size_t kSteps = 100;

  void Move(std::vector<State>& from, std::vector<State>& to) {
    if (beforeMove_) beforeMove_();
    if (from.empty()) return;
    to.push_back(capture_());
    const State state = std::move(from.back());
    from.pop_back();
    restore_(state);
    ShowItems();
  }
  void ShowItems() {
    if (undoItem_) undoItem_->setEnabled(CanUndo());
    if (redoItem_) redoItem_->setEnabled(CanRedo());
  }

  std::function<State()> capture_;
  std::function<void(const State&)> restore_;
  std::function<void()> beforeMove_;
  std::vector<State> undo_, redo_;
  QAction* undoItem_ = nullptr;
  QAction* redoItem_ = nullptr;
  int depth_ = 0;
};

}  // namespace tarvelo
