// The one owner of the serial connection to the device. The window, the command-line tool,
// the terminal page and the COM port dialog all reach the line through it, so the device's
// line settings are made in one place and one rule decides who opens and who closes: the
// terminal page may hold the port open; a transfer then uses it and leaves it open, and
// otherwise opens it itself and closes it when done. The port itself is never handed out:
// whoever had it could open, close or rebind it behind this rule's back.
#pragma once

#include <functional>
#include <string>

#include "serial/ComPort.h"

namespace tarvelo {

class DeviceConnection {
 public:
  DeviceConnection();
  DeviceConnection(const DeviceConnection&) = delete;
  DeviceConnection& operator=(const DeviceConnection&) = delete;

  bool IsOpen() const { return port_.Connected(); }
  // The name the port was last opened by (or is about to be).
  const std::string& PortName() const { return port_.Port(); }

  // The terminal page's connect button. Hold opens the port at the workstation's name and
  // speed index, with the terminal's own line settings where it has any (the device's
  // otherwise), and keeps it open until Release; a failed open raises EComPort and leaves
  // nothing held.
  void Hold(const std::string& portName, int speedIndex, const LineChoice& line = {});
  void Release();
  bool Held() const { return held_; }

  // A transfer's use of the port: Begin opens it unless it is open already, End closes it
  // only when Begin opened it and nobody has taken hold of it since. Begin raises EComPort
  // when the port cannot be opened. A transfer always talks with the device's line
  // settings: on a port the terminal holds they stand while the transfer runs, and End gives
  // the terminal its own back.
  void BeginTransfer(const std::string& portName, int speedIndex);
  void BeginTransfer(const std::string& portName, TBaudRate rate, int customBaudRate = 0);
  void EndTransfer();
  // After a port error a port nobody holds is closed, so the next use starts afresh.
  void CloseUnlessHeld();
  // Closes the port whoever holds it, raising nothing: its owner is going away.
  void Shutdown();
  // The system's error number of the last failed open, 0 when none failed.
  int LastOpenError() const { return lastOpenError_; }

  // The line. Raise EComPort when the port is closed or fails.
  int Write(const std::string& bytes) { return port_.WriteText(bytes); }
  int Read(uint8_t* buffer, int count) { return port_.Read(buffer, count); }
  void WaitForInput(int timeoutMs, int expected) { port_.WaitForInput(timeoutMs, expected); }

  // A reader that is told of what the line receives and sends, on the thread that serves
  // the events; it stays bound across closes and opens until it is unbound.
  void Bind(TComLink* link) { port_.AddLink(link); }
  void Unbind(TComLink* link) { port_.RemoveLink(link); }

  // Whether an event thread serves the port from its next open on. A caller that only reads
  // and writes in turn (the command line) needs none.
  void SetEventThread(bool on) { port_.SetEvents(on ? kAllComEvents : TComEvents(0)); }
  // Where the event thread hands its events over to be served (none: served on the event
  // thread itself). The owner clears it before it goes away.
  void SetHandOver(TSyncPoster poster) { port_.SetSyncPoster(std::move(poster)); }
  // Told after the port has opened (true) or closed (false), on the thread that opened or
  // closed it.
  void OnOpenChanged(std::function<void(bool open)> changed);

 private:
  void OpenAt(const std::string& portName, TBaudRate rate, int customBaudRate);
  void CloseQuietly();
  // Sets the line's format and flow control; an empty field takes the device's.
  void SetLine(const LineChoice& line);

  TComPort port_;
  bool held_ = false;
  bool openedForTransfer_ = false;
  bool transferOnHeldPort_ = false;
  LineChoice terminalLine_;  // what Hold was given
  int lastOpenError_ = 0;
};

}  // namespace tarvelo
