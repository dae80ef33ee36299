#include "ui/TerminalKeys.h"

#include <QKeyEvent>

#include "ui/ComTerminal.h"

namespace tarvelo {

TypedKey TypedKeyOf(const QKeyEvent& event) {
  TypedKey key;
  const int code = event.key();
  static constexpr struct {
    int qt;
    KeyCode code;
  } kNamedKeys[] = {
      {Qt::Key_Home, KeyCode::kHome},
      {Qt::Key_Left, KeyCode::kLeft},
      {Qt::Key_Up, KeyCode::kUp},
      {Qt::Key_Right, KeyCode::kRight},
      {Qt::Key_Down, KeyCode::kDown},
      {Qt::Key_End, KeyCode::kEnd},
      {Qt::Key_PageUp, KeyCode::kPageUp},
      {Qt::Key_PageDown, KeyCode::kPageDown},
      {Qt::Key_Insert, KeyCode::kInsert},
      {Qt::Key_Delete, KeyCode::kDelete},
      {Qt::Key_Backspace, KeyCode::kBackspace},
      {Qt::Key_Tab, KeyCode::kTab},
      {Qt::Key_Backtab, KeyCode::kBacktab},
      {Qt::Key_Escape, KeyCode::kEscape},
      {Qt::Key_Return, KeyCode::kEnter},
      {Qt::Key_Enter, KeyCode::kEnter},
      {Qt::Key_F1, KeyCode::kF1},
      {Qt::Key_F2, KeyCode::kF2},
      {Qt::Key_F3, KeyCode::kF3},
      {Qt::Key_F4, KeyCode::kF4},
  };
  for (const auto& named : kNamedKeys) {
    if (named.qt == code) key.code = named.code;
  }
  if (key.code == KeyCode::kOther && code >= Qt::Key_F5 && code <= Qt::Key_F35)
    key.code = KeyCode::kFunction;
  // Qt numbers the keys with printable ASCII names by that character.
  if (code >= 0x20 && code <= 0x7E) {
    key.code = KeyCode::kCharacter;
    key.character = static_cast<char>(code);
  }
  const Qt::KeyboardModifiers mods = event.modifiers();
  key.modifiers.shift = mods.testFlag(Qt::ShiftModifier);
  key.modifiers.control = mods.testFlag(Qt::ControlModifier);
  key.modifiers.alt = mods.testFlag(Qt::AltModifier);
  key.modifiers.meta = mods.testFlag(Qt::MetaModifier);
  key.modifiers.keypad = mods.testFlag(Qt::KeypadModifier);
  key.text = event.text().toStdString();
  return key;
}

TerminalKeys::TerminalKeys(TCustomComTerminal* terminal) : QObject(terminal), terminal_(terminal) {
  terminal->installEventFilter(this);
}

bool TerminalKeys::eventFilter(QObject* watched, QEvent* event) {
  if (watched != terminal_ || event->type() != QEvent::ShortcutOverride) return false;
  // Only while the keys can reach the line: a disconnected terminal, or one whose port a
  // transfer is reading, leaves every shortcut to the window.
  if (!terminal_->Connected() || terminal_->LinkSuspended()) return false;
  auto* key = static_cast<QKeyEvent*>(event);
  if (TerminalTakesKey(TypedKeyOf(*key), KeyModesOf(terminal_->state()))) key->accept();
  return false;
}

}  // namespace tarvelo
