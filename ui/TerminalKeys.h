// Which keys belong to the terminal and which to the window. While the terminal is connected
// and has the focus, every key it sends goes down the line and no window shortcut takes it:
// Ctrl+D, Ctrl+S, Tab and the rest mean what the far end makes of them. The window's
// commands stay reachable through the menus (Alt+letter, F10) and through Ctrl+Shift+letter.
#pragma once

#include <QObject>

#include "terminal/KeyInput.h"

class QKeyEvent;

namespace tarvelo {

class TCustomComTerminal;

// The key as the terminal knows it, from Qt's description of it.
TypedKey TypedKeyOf(const QKeyEvent& event);

// Watches one terminal's events: a key it would send is kept from the shortcuts while it is
// connected. Disconnected, the window's shortcuts work as ever.
class TerminalKeys : public QObject {
 public:
  explicit TerminalKeys(TCustomComTerminal* terminal);
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  TCustomComTerminal* terminal_;
};

}  // namespace tarvelo
