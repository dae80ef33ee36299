// The one owner of the serial connection to the device. The window, the command-line tool,
// the terminal page and the COM port dialog all reach the port through it, so the device's
// line settings are made in one place and one rule decides who opens and who closes: the
// terminal page may hold the port open; a transfer then uses it and leaves it open, and
// otherwise opens it itself and closes it when done.
#pragma once

#include <string>

#include "serial/ComPort.h"

namespace tarvelo {

class DeviceConnection {
 public:
  DeviceConnection();
  DeviceConnection(const DeviceConnection&) = delete;
  DeviceConnection& operator=(const DeviceConnection&) = delete;

  TComPort& port() { return port_; }
  bool IsOpen() const { return port_.Connected(); }

  // The terminal page's connect button. Hold opens the port at the workstation's name and
  // speed index and keeps it open until Release; a failed open raises EComPort and leaves
  // nothing held.
  void Hold(const std::string& portName, int speedIndex);
  void Release();
  bool Held() const { return held_; }

  // A transfer's use of the port: Begin opens it unless it is open already, End closes it
  // only when Begin opened it and nobody has taken hold of it since. Begin raises EComPort
  // when the port cannot be opened.
  void BeginTransfer(const std::string& portName, int speedIndex);
  void BeginTransfer(const std::string& portName, TBaudRate rate, int customBaudRate = 0);
  void EndTransfer();
  // After a port error a port nobody holds is closed, so the next use starts afresh.
  void CloseUnlessHeld();
  // Closes the port whoever holds it, raising nothing: its owner is going away.
  void Shutdown();
  // The system's error number of the last failed open, 0 when none failed.
  int LastOpenError() const { return lastOpenError_; }

 private:
  void OpenAt(const std::string& portName, TBaudRate rate, int customBaudRate);
  void CloseQuietly();

  TComPort port_;
  bool held_ = false;
  bool openedForTransfer_ = false;
  int lastOpenError_ = 0;
};

}  // namespace tarvelo
