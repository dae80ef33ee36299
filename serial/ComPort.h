// The serial port component: a named port with its line settings, reads and writes that
// return when done, an event thread while open, and links through which other components
// hear what happens on the line.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "serial/ComTypes.h"
#include "serial/Speeds.h"

namespace tarvelo {

class EComPort : public std::runtime_error {
 public:
  // `detail` is added to the message, e.g. who holds a port that is in use.
  EComPort(TComErrorCode code, int systemError = -1, const std::string& detail = std::string());
  TComErrorCode ErrorCode;
  int SystemErrorCode;
  // The port was closed by the handler its event thread's failure was given to, which has
  // shown that failure: a read or write that then finds it closed has nothing to add.
  bool AlreadyReported = false;
  static std::string Text(TComErrorCode code);
};

class TCustomComPort;

// The ways another component hears about the port; any of them may be left empty.
struct TComLink {
  std::function<void(TCustomComPort*, bool)> LinkConnChange;
  std::function<void(TCustomComPort*, const uint8_t*, int)> LinkRxBuf;
  std::function<void(TCustomComPort*, const uint8_t*, int)> LinkTxBuf;
  std::function<void(TCustomComPort*)> LinkTxEmpty;
  std::function<void(TCustomComPort*)> LinkRxFlag;
  std::function<void(TCustomComPort*, bool)> LinkCTSChange;
  std::function<void(TCustomComPort*, bool)> LinkDSRChange;
  std::function<void(TCustomComPort*, bool)> LinkRLSDChange;
  std::function<void(TCustomComPort*)> LinkRing;
  std::function<void(TCustomComPort*, bool)> LinkTxActive;
  std::function<void(TCustomComPort*, bool)> LinkRxActive;
};

using TNotifyEvent = std::function<void(TCustomComPort*)>;
using TRxCharEvent = std::function<void(TCustomComPort*, int)>;
using TRxBufEvent = std::function<void(TCustomComPort*, const uint8_t*, int)>;
using TComSignalEvent = std::function<void(TCustomComPort*, bool)>;
using TComErrorEvent = std::function<void(TCustomComPort*, TComErrors)>;
// Runs a function later on the user-interface thread; must not wait for it.
using TSyncPoster = std::function<void(std::function<void()>)>;

class TComTimeouts {
 public:
  explicit TComTimeouts(TCustomComPort* port) : port_(port) {}
  int ReadInterval() const { return readInterval_; }
  int ReadTotalMultiplier() const { return readTotalMultiplier_; }
  int ReadTotalConstant() const { return readTotalConstant_; }
  int WriteTotalMultiplier() const { return writeTotalMultiplier_; }
  int WriteTotalConstant() const { return writeTotalConstant_; }
  void SetReadInterval(int v) { Set(readInterval_, v); }
  void SetReadTotalMultiplier(int v) { Set(readTotalMultiplier_, v); }
  void SetReadTotalConstant(int v) { Set(readTotalConstant_, v); }
  void SetWriteTotalMultiplier(int v) { Set(writeTotalMultiplier_, v); }
  void SetWriteTotalConstant(int v) { Set(writeTotalConstant_, v); }
  void Assign(const TComTimeouts& other);

 private:
  void Set(int& field, int v);
  TCustomComPort* port_;
  int readInterval_ = -1, readTotalMultiplier_ = 0, readTotalConstant_ = 0;
  int writeTotalMultiplier_ = 100, writeTotalConstant_ = 1000;
};

class TComFlowControl {
 public:
  explicit TComFlowControl(TCustomComPort* port) : port_(port) {}
  bool OutCTSFlow() const { return outCTSFlow_; }
  bool OutDSRFlow() const { return outDSRFlow_; }
  TDTRFlowControl ControlDTR() const { return controlDTR_; }
  TRTSFlowControl ControlRTS() const { return controlRTS_; }
  bool XonXoffOut() const { return xonXoffOut_; }
  bool XonXoffIn() const { return xonXoffIn_; }
  bool DSRSensitivity() const { return dsrSensitivity_; }
  bool TxContinueOnXoff() const { return txContinueOnXoff_; }
  uint8_t XonChar() const { return xonChar_; }
  uint8_t XoffChar() const { return xoffChar_; }
  void SetOutCTSFlow(bool v) { Set(outCTSFlow_, v); }
  void SetOutDSRFlow(bool v) { Set(outDSRFlow_, v); }
  void SetControlDTR(TDTRFlowControl v) { Set(controlDTR_, v); }
  void SetControlRTS(TRTSFlowControl v) { Set(controlRTS_, v); }
  void SetXonXoffOut(bool v) { Set(xonXoffOut_, v); }
  void SetXonXoffIn(bool v) { Set(xonXoffIn_, v); }
  void SetDSRSensitivity(bool v) { Set(dsrSensitivity_, v); }
  void SetTxContinueOnXoff(bool v) { Set(txContinueOnXoff_, v); }
  void SetXonChar(uint8_t v) { Set(xonChar_, v); }
  void SetXoffChar(uint8_t v) { Set(xoffChar_, v); }
  // The summary of the fields above.
  TFlowControl FlowControl() const;
  void SetFlowControl(TFlowControl v);
  void Assign(const TComFlowControl& other);

 private:
  template <typename T>
  void Set(T& field, T v);
  TCustomComPort* port_;
  bool outCTSFlow_ = false, outDSRFlow_ = false;
  TDTRFlowControl controlDTR_ = dtrDisable;
  TRTSFlowControl controlRTS_ = rtsDisable;
  bool xonXoffOut_ = false, xonXoffIn_ = false, dsrSensitivity_ = false, txContinueOnXoff_ = false;
  uint8_t xonChar_ = 17, xoffChar_ = 19;
};

class TComParity {
 public:
  explicit TComParity(TCustomComPort* port) : port_(port) {}
  TParityBits Bits() const { return bits_; }
  bool Check() const { return check_; }
  bool Replace() const { return replace_; }
  uint8_t ReplaceChar() const { return replaceChar_; }
  void SetBits(TParityBits v) { Set(bits_, v); }
  void SetCheck(bool v) { Set(check_, v); }
  void SetReplace(bool v) { Set(replace_, v); }
  void SetReplaceChar(uint8_t v) { Set(replaceChar_, v); }
  void Assign(const TComParity& other);

 private:
  template <typename T>
  void Set(T& field, T v);
  TCustomComPort* port_;
  TParityBits bits_ = prNone;
  bool check_ = false, replace_ = false;
  uint8_t replaceChar_ = 0;
};

// Queue sizes. Linux has no call to size a tty's queues, so the values are kept (and
// their rules followed) without reaching the driver.
class TComBuffer {
 public:
  explicit TComBuffer(TCustomComPort* port) : port_(port) {}
  int InputSize() const { return inputSize_; }
  int OutputSize() const { return outputSize_; }
  void SetInputSize(int v);
  void SetOutputSize(int v);
  void Assign(const TComBuffer& other);

 private:
  TCustomComPort* port_;
  int inputSize_ = 1024, outputSize_ = 1024;
};

class TComThread;
struct HandOverBox;
class PortLine;

class TCustomComPort {
 public:
  TCustomComPort();
  virtual ~TCustomComPort();
  TCustomComPort(const TCustomComPort&) = delete;
  TCustomComPort& operator=(const TCustomComPort&) = delete;

  void Open();
  void Close();
  bool Connected() const { return fd_ >= 0; }
  void SetConnected(bool on) { on ? Open() : Close(); }
  int Read(uint8_t* buffer, int count);
  int WriteText(const std::string& text);
  int QueuedInput();
  // Waits up to `timeoutMs` for input to arrive; true when some is queued. Once input has
  // begun, holds on while `expected` bytes could still be on their way at the line's speed.
  bool WaitForInput(int timeoutMs, int expected = 1);

  void AddLink(TComLink* link);
  void RemoveLink(TComLink* link);

  // Properties.
  const std::string& Port() const { return port_; }
  void SetPort(const std::string& name);
  TBaudRate BaudRate() const { return baudRate_; }
  void SetBaudRate(TBaudRate v);
  int CustomBaudRate() const { return customBaudRate_; }
  void SetCustomBaudRate(int v);
  TDataBits DataBits() const { return dataBits_; }
  void SetDataBits(TDataBits v);
  TStopBits StopBits() const { return stopBits_; }
  void SetStopBits(TStopBits v);
  bool DiscardNull() const { return discardNull_; }
  void SetDiscardNull(bool v);
  uint8_t EventChar() const { return eventChar_; }
  void SetEventChar(uint8_t v);
  TComEvents Events() const { return events_; }
  void SetEvents(TComEvents v) { events_ = v; }
  TSyncMethod SyncMethod() const { return syncMethod_; }
  void SetSyncMethod(TSyncMethod v);
  bool ReportRxCountOnly() const { return reportRxCountOnly_; }
  void SetReportRxCountOnly(bool v) { reportRxCountOnly_ = v; }
  TThreadPriority EventPriority() const { return eventPriority_; }
  void SetEventPriority(TThreadPriority v) { eventPriority_ = v; }
  // How event sets reach the user-interface thread with smThreadSync.
  void SetSyncPoster(TSyncPoster poster) { poster_ = std::move(poster); }

  TComParity& Parity() { return parity_; }
  TComFlowControl& FlowControl() { return flowControl_; }
  TComTimeouts& Timeouts() { return timeouts_; }
  TComBuffer& Buffer() { return buffer_; }

  // The device path the port name stands for; a network address stands for itself.
  std::string DevicePath() const;
  // CPU time the event thread has used, in nanoseconds (0 when none runs).
  long long EventThreadCpuNs() const;
  // Why the event thread ended early: a handler's error, or the device going away. Set on
  // the user-interface thread when the end is reported there (see OnThreadFailure).
  std::exception_ptr EventThreadError() const { return threadError_; }
  // Whether the caller runs on this port's event thread (where handlers run with smNone or
  // with no hand-over), which cannot close its own port.
  bool OnEventThread() const;

  // Handlers.
  TNotifyEvent OnAfterOpen, OnAfterClose, OnBeforeOpen, OnBeforeClose;
  TRxCharEvent OnRxChar;
  TRxBufEvent OnRxBuf;
  TNotifyEvent OnTxEmpty, OnBreak, OnRing, OnRxFlag, OnRx80Full;
  TComSignalEvent OnCTSChange, OnDSRChange, OnRLSDChange;
  TComErrorEvent OnError;
  // The event thread has ended with an error while the port stays open: no more events
  // arrive until it is closed and opened again. Runs where the handlers run (with smNone
  // that is the event thread, which cannot close the port).
  std::function<void(TCustomComPort*, std::exception_ptr)> OnThreadFailure;

  // Used by the settings objects.
  void ApplyLineSettings();
  void ApplyTimeouts();
  void ApplyBuffer();

 private:
  friend class TComThread;
  friend struct HandOverBox;
  template <typename F>
  void EachLink(F f);
  void DispatchEvents(TComEvents events);
  void ReceiveRule(TComEvents& events);
  using SignalCallback = std::function<void(TCustomComPort*, bool)>;
  bool ModemSignal(uint32_t bit);
  // Reads one input signal and tells every link, then the handler.
  void ReportSignal(uint32_t bit, SignalCallback TComLink::*linkCallback,
                    const TComSignalEvent& handler);
  void ReportSignals();
  void StopThread();
  using Clock = std::chrono::steady_clock;
  void DrainOutput(size_t bytes, Clock::time_point started,
                   std::optional<Clock::time_point> deadline);
  void ThreadFailed(unsigned generation, std::exception_ptr error);
  // What a read or write of a closed port raises.
  EComPort ClosedPortError(TComErrorCode code) const;

  std::string port_ = "COM1";
  TBaudRate baudRate_ = br9600;
  int customBaudRate_ = 9600;
  TDataBits dataBits_ = dbEight;
  TStopBits stopBits_ = sbOneStopBit;
  bool discardNull_ = false;
  uint8_t eventChar_ = 0;
  TComEvents events_ = kAllComEvents;
  TSyncMethod syncMethod_ = smThreadSync;
  bool reportRxCountOnly_ = true;
  TThreadPriority eventPriority_ = TThreadPriority::tpNormal;
  TComParity parity_;
  TComFlowControl flowControl_;
  TComTimeouts timeouts_;
  TComBuffer buffer_;

  int fd_ = -1;  // the line's descriptor while open
  std::unique_ptr<PortLine> line_;
  std::atomic<bool> gone_{false};  // the device went away while open; set by either thread
  std::vector<TComLink*> links_;
  bool hasRxLink_ = false;
  TSyncPoster poster_;
  std::unique_ptr<TComThread> thread_;
  std::shared_ptr<HandOverBox> box_;
  std::exception_ptr threadError_;  // user-interface thread only
  unsigned generation_ = 0;         // counts opens, so a late report of an old one is dropped
  // User-interface thread only: OnThreadFailure runs there now, and the port was closed
  // while it ran (until the next open).
  bool reportingFailure_ = false;
  bool closedOnReportedFailure_ = false;
  // Input counted from the open: bytes reads have taken from the device, and how far the
  // receive rule has told its readers (taken then, plus queued then).
  std::atomic<long long> rxTaken_{0};
  std::atomic<long long> rxTold_{0};
};

class TComPort : public TCustomComPort {};

}  // namespace tarvelo
