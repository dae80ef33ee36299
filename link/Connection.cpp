#include "link/Connection.h"

#include "serial/Speeds.h"

namespace tarvelo {

DeviceConnection::DeviceConnection() {
  // The device's modem interface wants hardware flow control and DTR raised.
  port_.FlowControl().SetOutCTSFlow(true);
  port_.FlowControl().SetControlDTR(dtrEnable);
  port_.FlowControl().SetControlRTS(rtsHandshake);
  // An event thread that ended in error has left the port useless: close it and let the
  // error go on to whoever shows errors.
  port_.OnThreadFailure = [this](TCustomComPort*, std::exception_ptr error) {
    // Without a hand-over the report comes on the event thread itself, which can neither
    // close its own port nor show anything: the port stays open with no more events, and
    // its next read or write fails where the user sees it.
    if (port_.OnEventThread()) return;
    held_ = false;
    openedForTransfer_ = false;
    CloseQuietly();
    std::rethrow_exception(error);
  };
}

void DeviceConnection::OpenAt(const std::string& portName, TBaudRate rate, int customBaudRate) {
  if (port_.Connected()) return;
  port_.SetPort(portName);
  if (rate == brCustom) port_.SetCustomBaudRate(customBaudRate);
  port_.SetBaudRate(rate);
  try {
    port_.Open();
    lastOpenError_ = 0;
  } catch (const EComPort& e) {
    lastOpenError_ = e.SystemErrorCode < 0 ? 0 : e.SystemErrorCode;
    throw;
  }
}

void DeviceConnection::OnOpenChanged(std::function<void(bool open)> changed) {
  if (!changed) {
    port_.OnAfterOpen = nullptr;
    port_.OnAfterClose = nullptr;
    return;
  }
  port_.OnAfterOpen = [changed](TCustomComPort*) { changed(true); };
  port_.OnAfterClose = [changed](TCustomComPort*) { changed(false); };
}

void DeviceConnection::Shutdown() {
  held_ = false;
  openedForTransfer_ = false;
  CloseQuietly();
}

void DeviceConnection::CloseQuietly() {
  try {
    port_.Close();
  } catch (const EComPort&) {
    // A port that fails to purge is released all the same.
  }
}

void DeviceConnection::Hold(const std::string& portName, int speedIndex) {
  OpenAt(portName, PortSpeedFor(speedIndex).rate, 0);
  held_ = true;
  openedForTransfer_ = false;
}

void DeviceConnection::Release() {
  held_ = false;
  openedForTransfer_ = false;
  port_.Close();
}

void DeviceConnection::BeginTransfer(const std::string& portName, int speedIndex) {
  BeginTransfer(portName, PortSpeedFor(speedIndex).rate);
}

void DeviceConnection::BeginTransfer(const std::string& portName, TBaudRate rate,
                                     int customBaudRate) {
  if (port_.Connected()) {
    openedForTransfer_ = false;
    return;
  }
  OpenAt(portName, rate, customBaudRate);
  openedForTransfer_ = true;
}

void DeviceConnection::EndTransfer() {
  if (openedForTransfer_ && !held_) port_.Close();
  openedForTransfer_ = false;
}

void DeviceConnection::CloseUnlessHeld() {
  openedForTransfer_ = false;
  if (!held_) CloseQuietly();
}

}  // namespace tarvelo
