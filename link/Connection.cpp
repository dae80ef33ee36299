#include "link/Connection.h"

#include "serial/Speeds.h"

namespace tarvelo {

DeviceConnection::DeviceConnection() {
  SetLine({});
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

void DeviceConnection::SetLine(const LineChoice& line) {
  // The device's line: 8 data bits, no parity, one stop bit, and its modem interface wants
  // hardware flow control with DTR raised. DTR stays raised whatever else is chosen: a modem
  // drops its call without it.
  port_.SetDataBits(line.dataBits.value_or(dbEight));
  port_.Parity().SetBits(line.parity.value_or(prNone));
  port_.SetStopBits(line.stopBits.value_or(sbOneStopBit));
  const TFlowControl flow = line.flow.value_or(fcHardware);
  TComFlowControl& f = port_.FlowControl();
  f.SetControlDTR(dtrEnable);
  f.SetOutCTSFlow(flow == fcHardware);
  f.SetXonXoffIn(flow == fcSoftware);
  f.SetXonXoffOut(flow == fcSoftware);
  // Without handshaking RTS is held up, as the far end may wait for it.
  f.SetControlRTS(flow == fcHardware ? rtsHandshake : rtsEnable);
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

void DeviceConnection::Hold(const std::string& portName, int speedIndex, const LineChoice& line) {
  terminalLine_ = line;
  if (!port_.Connected()) SetLine(line);
  OpenAt(portName, PortSpeedFor(speedIndex).rate, 0);
  held_ = true;
  // A transfer running on the port now runs on a held one: its end gives the terminal its line.
  if (openedForTransfer_) transferOnHeldPort_ = true;
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
  // Whatever the terminal last used, the device is spoken to with its own settings.
  SetLine({});
  if (port_.Connected()) {
    openedForTransfer_ = false;
    transferOnHeldPort_ = true;
    return;
  }
  OpenAt(portName, rate, customBaudRate);
  openedForTransfer_ = true;
  transferOnHeldPort_ = false;
}

void DeviceConnection::EndTransfer() {
  const bool transferred = openedForTransfer_ || transferOnHeldPort_;
  if (openedForTransfer_ && !held_) port_.Close();
  openedForTransfer_ = false;
  transferOnHeldPort_ = false;
  // The terminal goes on, or takes over a port it took hold of meanwhile, with its own line
  // settings.
  if (transferred && held_ && port_.Connected()) SetLine(terminalLine_);
}

void DeviceConnection::CloseUnlessHeld() {
  openedForTransfer_ = false;
  transferOnHeldPort_ = false;
  if (!held_) {
    CloseQuietly();
    return;
  }
  try {
    if (port_.Connected()) SetLine(terminalLine_);
  } catch (const EComPort&) {
    // The port that failed the transfer fails this too; the terminal finds out at its next
    // write.
  }
}

}  // namespace tarvelo
