// The terminal page: holds the serial port open for the terminal, dials a modem, switches
// the device's modem interface into and out of transparent mode, sets the device clock, and
// records the session to a file: the timestamped log of every block, and the readable capture
// of the received text.
#pragma once

#include <string>

#include "files/LogFile.h"
#include "terminal/TextCapture.h"
#include "ui/Page.h"

class QAction;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace tarvelo {

class DeviceConnection;
class TComTerminal;
struct WorkstationSettings;

// What the terminal page gets from the window beside what every page gets.
class TerminalHost {
 public:
  virtual ~TerminalHost() = default;
  // The one connection to the device: the page holds it open while connected, and the
  // terminal reads and writes through it.
  virtual DeviceConnection& connection() = 0;
  // The port and speed the connect button opens.
  virtual const WorkstationSettings& workstation() const = 0;
  // Sets the device's clock; a transfer of its own, which waits while another runs.
  virtual void SetDeviceClock() = 0;
  // Whether the screen takes the rows and columns the page can show rather than 80 x 24; the
  // choice is the workstation's and is kept at once.
  virtual bool TerminalFitsWindow() const = 0;
  virtual void KeepTerminalFitsWindow(bool on) = 0;
};

class TerminalPage : public Page {
 public:
  TerminalPage(PageHost& host, TerminalHost& terminalHost);

  TComTerminal* terminal() const { return ComTerminal1; }
  // The port has opened or closed, for the terminal or for a transfer.
  void PortOpened();
  void PortClosed();
  // Leaves transparent mode first when it is on, giving the device a second to switch back,
  // then closes the port.
  void Disconnect();
  // The number to dial, as the COM port dialog or a database's connection gives it.
  void ShowPhoneNumber(const std::string& cp1250);
  // The port goes before this page does: the terminal must let go of it first.
  void DetachPort();
  // The readable capture, as its menu item starts and stops it; Start asks for the file.
  void StartCapture();
  void StopCapture();
  bool Capturing() const { return capture_.IsOpen(); }
  // The screen size: 80 x 24, or what the page shows (taken again whenever it is resized).
  void SetFitsWindow(bool on);
  bool FitsWindow() const { return fitsWindow_; }

 private:
  void ToggleConnection();
  void Dial();
  void ToggleTransparent();
  void SetDeviceClock();
  void ToggleLog();
  void Write(const std::string& bytes);
  void Captured(const std::string& received);

  TerminalHost& terminalHost_;
  QWidget* pnlTerm;
  QToolButton* btnConnect;
  QToolButton* btnTransp;
  QPushButton* btnSync;
  QLabel* Label5;
  QLineEdit* edPhone;
  QPushButton* btnDial;
  QToolButton* btnLog;
  QToolButton* btnOptions;
  QAction* fitAction_;
  QAction* captureAction_;
  TComTerminal* ComTerminal1;
  bool disconnecting_ = false;
  bool fitsWindow_ = false;
  LogFile capture_;
  TextCapture captureText_;
};

}  // namespace tarvelo
