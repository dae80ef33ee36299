#include "serial/ComPort.h"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <iterator>
#include <system_error>

#include "serial/Platform.h"
#include "serial/PortLine.h"
#include "serial/SystemErrorText.h"

namespace tarvelo {

// ---------------------------------------------------------------- errors

namespace {
constexpr const char* kErrorTexts[] = {"Unable to open com port",
                                       "WriteFile function failed",
                                       "ReadFile function failed",
                                       "Invalid Async parameter",
                                       "PurgeComm function failed",
                                       "Unable to get async status",
                                       "SetCommState function failed",
                                       "SetCommTimeouts failed",
                                       "SetupComm function failed",
                                       "ClearCommError function failed",
                                       "GetCommModemStatus function failed",
                                       "EscapeCommFunction function failed",
                                       "TransmitCommChar function failed",
                                       "Cannot set property while connected",
                                       "EnumPorts function failed",
                                       "Failed to store settings",
                                       "Failed to load settings",
                                       "Link (un)registration failed",
                                       "Cannot change led state if ComPort is selected",
                                       "Cannot wait for event if event thread is created",
                                       "WaitForEvent method failed",
                                       "A component is linked to OnRxBuf event",
                                       "Registry error"};
static_assert(std::size(kErrorTexts) == ecRegistry, "a text for every error code");
}  // namespace

std::string EComPort::Text(TComErrorCode code) {
  return (code >= ecOpenFailed && code <= ecRegistry) ? kErrorTexts[code - ecOpenFailed]
                                                      : "Unknown error";
}

namespace {
std::string Message(TComErrorCode code, int systemError) {
  std::string m = EComPort::Text(code);
  if (systemError < 0) return m;
  m += " (rendszerhiba " + std::to_string(systemError) + ": " + SystemErrorText(systemError) + ")";
  if (systemError == EACCES) {
    m += " – a felhasználónak a \"dialout\" csoport tagjának kell lennie (a felvétel után "
         "újra be kell jelentkeznie)";
  }
  return m;
}
}  // namespace

EComPort::EComPort(TComErrorCode code, int systemError, const std::string& detail)
    : std::runtime_error(Message(code, systemError) + detail),
      ErrorCode(code),
      SystemErrorCode(systemError) {}

// ---------------------------------------------------------------- settings objects

void TComTimeouts::Set(int& field, int v) {
  if (field == v) return;
  field = v;
  port_->ApplyTimeouts();
}

void TComTimeouts::Assign(const TComTimeouts& o) {
  readInterval_ = o.readInterval_;
  readTotalMultiplier_ = o.readTotalMultiplier_;
  readTotalConstant_ = o.readTotalConstant_;
  writeTotalMultiplier_ = o.writeTotalMultiplier_;
  writeTotalConstant_ = o.writeTotalConstant_;
  port_->ApplyTimeouts();
}

template <typename T>
void TComFlowControl::Set(T& field, T v) {
  if (field == v) return;
  field = v;
  port_->ApplyLineSettings();
}

TFlowControl TComFlowControl::FlowControl() const {
  if (controlRTS_ == rtsHandshake && outCTSFlow_ && !xonXoffIn_ && !xonXoffOut_) return fcHardware;
  if (controlRTS_ == rtsDisable && !outCTSFlow_ && xonXoffIn_ && xonXoffOut_) return fcSoftware;
  if (controlRTS_ != rtsDisable || outCTSFlow_ || xonXoffIn_ || xonXoffOut_) return fcCustom;
  return fcNone;
}

void TComFlowControl::SetFlowControl(TFlowControl v) {
  if (v != fcCustom) {
    controlRTS_ = rtsDisable;
    outCTSFlow_ = xonXoffIn_ = xonXoffOut_ = false;
  }
  if (v == fcHardware) {
    controlRTS_ = rtsHandshake;
    outCTSFlow_ = true;
  } else if (v == fcSoftware) {
    xonXoffIn_ = xonXoffOut_ = true;
  }
  port_->ApplyLineSettings();
}

void TComFlowControl::Assign(const TComFlowControl& o) {
  TCustomComPort* port = port_;
  *this = o;
  port_ = port;
  port_->ApplyLineSettings();
}

template <typename T>
void TComParity::Set(T& field, T v) {
  if (field == v) return;
  field = v;
  port_->ApplyLineSettings();
}

template void TComFlowControl::Set<bool>(bool&, bool);
template void TComFlowControl::Set<uint8_t>(uint8_t&, uint8_t);
template void TComFlowControl::Set<TDTRFlowControl>(TDTRFlowControl&, TDTRFlowControl);
template void TComFlowControl::Set<TRTSFlowControl>(TRTSFlowControl&, TRTSFlowControl);
template void TComParity::Set<bool>(bool&, bool);
template void TComParity::Set<uint8_t>(uint8_t&, uint8_t);
template void TComParity::Set<TParityBits>(TParityBits&, TParityBits);

void TComParity::Assign(const TComParity& o) {
  TCustomComPort* port = port_;
  *this = o;
  port_ = port;
  port_->ApplyLineSettings();
}

namespace {
int Even(int v) {
  return (v > 0 && v % 2 == 1) ? v - 1 : v;
}
}  // namespace

void TComBuffer::SetInputSize(int v) {
  v = Even(v);
  if (v == inputSize_) return;
  inputSize_ = v;
  port_->ApplyBuffer();
}

void TComBuffer::SetOutputSize(int v) {
  v = Even(v);
  if (v == outputSize_) return;
  outputSize_ = v;
  port_->ApplyBuffer();
}

void TComBuffer::Assign(const TComBuffer& o) {
  inputSize_ = o.inputSize_;
  outputSize_ = o.outputSize_;
  port_->ApplyBuffer();
}

// ---------------------------------------------------------------- hand-over

// One event set waiting for the user-interface thread. The event thread waits until the
// set has been served there, or cancelled by Close; the posted function holds only a weak
// reference, so a late call after the port is gone does nothing.
struct HandOverBox {
  std::mutex mutex;
  std::condition_variable changed;
  TCustomComPort* port = nullptr;
  bool pending = false;
  TComEvents events = 0;
  bool serving = false;
  std::exception_ptr error;

  void Serve() {
    std::unique_lock lock(mutex);
    if (!pending || !port) return;
    pending = false;
    serving = true;
    const TComEvents set = events;
    TCustomComPort* p = port;
    lock.unlock();
    std::exception_ptr failure;
    try {
      p->DispatchEvents(set);
    } catch (...) {
      failure = std::current_exception();
    }
    lock.lock();
    serving = false;
    error = failure;
    changed.notify_all();
  }

  void ReportFailure(unsigned generation, std::exception_ptr failure) {
    std::unique_lock lock(mutex);
    TCustomComPort* p = port;
    lock.unlock();
    if (p) p->ThreadFailed(generation, std::move(failure));
  }
};

// ---------------------------------------------------------------- event thread

namespace {
// The port whose event thread this is, on that thread.
thread_local const TCustomComPort* tEventThreadOf = nullptr;
}  // namespace

class TComThread {
 public:
  TComThread(TCustomComPort* port)
      : port_(port), fd_(port->fd_), line_(port->line_.get()), generation_(port->generation_) {
    // Without its wake-up the thread could never be stopped on a line that says nothing.
    stopFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (stopFd_ < 0) throw EComPort(ecOpenFailed, errno);
    mask_ = port->events_;
    bool supported = false;
    uint32_t bits = 0;
    line_->ModemStatus(bits, supported);
    modem_ = bits;
    modemSupported_ = supported;
    line_->LineErrorCounts(counts_, countsSupported_);
    try {
      thread_ = std::thread([this] { Run(); });
    } catch (const std::system_error& e) {
      ::close(stopFd_);
      throw EComPort(ecOpenFailed, e.code().value());
    }
    ApplyPriority(port->eventPriority_);
  }

  ~TComThread() { Stop(); }

  void Stop() {
    if (!thread_.joinable()) return;
    stopping_ = true;
    Wake();
    // Serve nothing more, but release a hand-over the event thread is waiting for.
    auto box = port_->box_;
    {
      std::unique_lock lock(box->mutex);
      box->pending = false;
      box->changed.notify_all();
    }
    thread_.join();
    ::close(stopFd_);
  }

  void TxStarted() {
    txPending_ = true;
    Wake();
  }

  long long CpuNs() const {
    clockid_t clock;
    timespec ts{};
    if (pthread_getcpuclockid(const_cast<std::thread&>(thread_).native_handle(), &clock) != 0 ||
        clock_gettime(clock, &ts) != 0) {
      return 0;
    }
    return ts.tv_sec * 1000000000LL + ts.tv_nsec;
  }

 private:
  static constexpr int kSignalPollMs = 50;  // modem lines and line errors, where supported
  static constexpr int kUnreadPollMs = 20;  // input told of but left queued: look for more
  static constexpr int kTxPollMs = 5;       // output draining
  // After input has been handed on, more is let gather this long before the next hand-over:
  // a flood then costs one hand-over (two thread switches and a wait) every few milliseconds
  // instead of one for every few bytes the driver delivers. Input after a quiet spell is
  // handed on at once, and a line waits at most this long for its last bytes to be shown.
  static constexpr auto kGather = std::chrono::milliseconds(8);

  void Wake() {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(stopFd_, &one, sizeof one);
  }

  void ApplyPriority(TThreadPriority p) {
    // Only lowering is open to an ordinary user; higher priorities stay normal.
    int policy = SCHED_OTHER;
    if (p == TThreadPriority::tpIdle) policy = SCHED_IDLE;
    if (p == TThreadPriority::tpLowest || p == TThreadPriority::tpLower) policy = SCHED_BATCH;
    sched_param param{};
    pthread_setschedparam(thread_.native_handle(), policy, &param);
  }

  // Whether bytes have arrived that no reader has been told of. Arrivals are counted as
  // the bytes reads have taken plus those still queued, and what a reader was told of is
  // counted the same way, so neither a read in between nor a queue that stays full (a
  // burst refills it as fast as it is read) hides news.
  bool Untold(int queued) {
    const long long arrived = port_->rxTaken_.load() + queued;
    long long told = port_->rxTold_.load();
    if (arrived < told) {
      // Input went unread (discarded): whatever comes next is news.
      port_->rxTold_.compare_exchange_strong(told, arrived);
      return false;
    }
    return arrived > told;
  }

  void Run() {
    tEventThreadOf = port_;
    const bool watchRx = (mask_ & evRxChar) != 0;
    bool untold = false;  // tell at once, without waiting
    bool rxArmed = true;  // the queue is empty, so "readable" means news
    auto gatherUntil = std::chrono::steady_clock::time_point{};  // no input told of before then
    bool full = false;
    const bool watchSignals = (mask_ & (evCTS | evDSR | evRLSD | evRing)) != 0 && modemSupported_;
    const bool watchErrors = (mask_ & (evError | evBreak)) != 0 && countsSupported_;
    for (;;) {
      int timeout = -1;
      auto shorten = [&](int ms) { timeout = timeout < 0 ? ms : std::min(timeout, ms); };
      if (watchSignals || watchErrors) shorten(kSignalPollMs);
      const auto gatherLeft = gatherUntil - std::chrono::steady_clock::now();
      const bool gathering = watchRx && gatherLeft.count() > 0;
      if (gathering) {
        // Rounded up, so the wait does not end just short of the gathering's end.
        shorten(static_cast<int>(
            (std::chrono::duration_cast<std::chrono::microseconds>(gatherLeft).count() + 999) /
            1000));
      } else if (watchRx && untold) {
        shorten(0);
      } else if (watchRx && !rxArmed) {
        shorten(kUnreadPollMs);
      }
      if (txPending_ && (mask_ & evTxEmpty)) shorten(kTxPollMs);
      const bool pollRx = watchRx && rxArmed && !gathering;
      // A network line may hold input it has already taken from the socket.
      pollfd fds[3] = {{fd_, static_cast<short>(pollRx ? POLLIN : 0), 0},
                       {stopFd_, POLLIN, 0},
                       {line_->HeldInputFd(), static_cast<short>(pollRx ? POLLIN : 0), 0}};
      const int ready = ::poll(fds, 3, timeout);
      if (stopping_) break;
      if (ready < 0 && errno != EINTR) break;
      if (fds[1].revents & POLLIN) {
        uint64_t drained;
        [[maybe_unused]] ssize_t n = ::read(stopFd_, &drained, sizeof drained);
      }
      // The device went away: nothing more will come, and the user must hear of it.
      if ((fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) || line_->Gone()) {
        port_->gone_ = true;
        ReportFailure(std::make_exception_ptr(EComPort(ecReadFailed, line_->GoneError())));
        break;
      }
      TComEvents set = 0;
      int queued = 0;
      if (line_->QueuedInput(queued) != 0) queued = 0;
      const auto now = std::chrono::steady_clock::now();
      if (watchRx && queued > 0 && now >= gatherUntil && Untold(queued)) set |= evRxChar;
      const bool nowFull = queued * 5 >= port_->buffer_.InputSize() * 4;
      if (nowFull && !full) set |= evRx80Full;
      full = nowFull;
      if (watchSignals) {
        uint32_t bits = 0;
        bool supported = false;
        if (line_->ModemStatus(bits, supported) == 0) {
          const uint32_t changed = bits ^ modem_;
          if (changed & msCTS) set |= evCTS;
          if (changed & msDSR) set |= evDSR;
          if (changed & msRLSD) set |= evRLSD;
          if ((changed & msRing) && !(bits & msRing))
            set |= evRing;  // trailing edge, as the system reports it
          modem_ = bits;
        }
      }
      if (watchErrors) {
        platform::LineCounts now;
        bool supported = false;
        if (line_->LineErrorCounts(now, supported) == 0 && !(now == counts_)) {
          if (now.brk != counts_.brk) set |= evBreak;
          if (now.frame != counts_.frame || now.overrun != counts_.overrun ||
              now.parity != counts_.parity || now.bufOverrun != counts_.bufOverrun) {
            set |= evError;
          }
          TComErrors errors = 0;
          if (now.frame != counts_.frame) errors |= ceFrame;
          if (now.parity != counts_.parity) errors |= ceRxParity;
          if (now.overrun != counts_.overrun) errors |= ceOverrun;
          if (now.brk != counts_.brk) errors |= ceBreak;
          if (now.bufOverrun != counts_.bufOverrun) errors |= ceRxOver;
          pendingErrors_ |= errors;
          counts_ = now;
        }
      }
      if (txPending_ && (mask_ & evTxEmpty)) {
        int out = 0;
        if (line_->QueuedOutput(out) != 0 || out == 0) {
          txPending_ = false;
          set |= evTxEmpty;
        }
      }
      set &= mask_;
      if (set != 0) {
        if (set & evRxChar) gatherUntil = now + kGather;
        std::exception_ptr failure;
        const bool goOn = Dispatch(set, failure);
        if (failure) ReportFailure(failure);
        if (!goOn) break;
      }
      // Bytes that arrived while the reader read are news and are told of at once. Bytes
      // it was told of but left queued for whoever reads them keep the line "readable",
      // so from there on only growth of the count is news.
      if (watchRx) {
        int left = 0;
        if (line_->QueuedInput(left) != 0) left = 0;
        untold = left > 0 && Untold(left);
        rxArmed = left == 0;
      }
    }
  }

  // Returns false when the thread must end (a handler failed, or the port is closing).
  bool Dispatch(TComEvents set, std::exception_ptr& failure) {
    if (port_->syncMethod_ == smNone || !port_->poster_) {
      try {
        port_->DispatchEvents(set);
      } catch (...) {
        failure = std::current_exception();
        return false;
      }
      return true;
    }
    auto box = port_->box_;
    {
      std::lock_guard lock(box->mutex);
      box->events = set;
      box->pending = true;
      box->error = nullptr;
    }
    std::weak_ptr<HandOverBox> weak = box;
    port_->poster_([weak] {
      if (auto b = weak.lock()) b->Serve();
    });
    std::unique_lock lock(box->mutex);
    box->changed.wait(lock, [&] { return (!box->pending && !box->serving) || stopping_; });
    if (box->error) {
      failure = box->error;
      return false;
    }
    return !stopping_;
  }

  // Hands the failure to wherever the handlers run; a close that is under way wins.
  void ReportFailure(std::exception_ptr failure) {
    if (stopping_) return;
    if (port_->syncMethod_ == smNone || !port_->poster_) {
      // Nothing beyond this thread could take an error the handler lets out; one escaping
      // the thread would end the program.
      try {
        port_->ThreadFailed(generation_, std::move(failure));
      } catch (...) {
      }
      return;
    }
    std::weak_ptr<HandOverBox> weak = port_->box_;
    port_->poster_([weak, generation = generation_, failure] {
      if (auto b = weak.lock()) b->ReportFailure(generation, failure);
    });
  }

 public:
  TComErrors TakeErrors() { return pendingErrors_.exchange(0); }

 private:
  TCustomComPort* port_;
  int fd_;
  PortLine* line_;
  unsigned generation_;
  int stopFd_ = -1;
  TComEvents mask_;
  uint32_t modem_ = 0;
  bool modemSupported_ = false;
  platform::LineCounts counts_;
  bool countsSupported_ = false;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> txPending_{false};
  std::atomic<TComErrors> pendingErrors_{0};
  std::thread thread_;
};

// ---------------------------------------------------------------- the port

TCustomComPort::TCustomComPort()
    : parity_(this),
      flowControl_(this),
      timeouts_(this),
      buffer_(this),
      box_(std::make_shared<HandOverBox>()) {
  box_->port = this;
}

TCustomComPort::~TCustomComPort() {
  try {
    Close();
  } catch (...) {
    // Destruction goes on: the device is released below either way.
  }
  if (thread_) thread_.reset();
  line_.reset();
  std::lock_guard lock(box_->mutex);
  box_->port = nullptr;
}

template <typename F>
void TCustomComPort::EachLink(F f) {
  const auto links = links_;  // a callback may register or remove links
  for (TComLink* l : links) f(*l);
}

std::string TCustomComPort::DevicePath() const {
  return IsNetworkPortName(port_) ? port_ : platform::DevicePath(port_);
}

long long TCustomComPort::EventThreadCpuNs() const {
  return thread_ ? thread_->CpuNs() : 0;
}

void TCustomComPort::Open() {
  if (Connected()) return;
  closedOnReportedFailure_ = false;
  if (OnBeforeOpen) OnBeforeOpen(this);
  int error = 0;
  std::string detail;
  std::unique_ptr<PortLine> line = OpenPortLine(port_, DevicePath(), error, detail);
  if (!line) throw EComPort(ecOpenFailed, error, detail);
  line_ = std::move(line);
  fd_ = line_->Fd();
  gone_ = false;
  rxTaken_ = 0;
  rxTold_ = 0;
  threadError_ = nullptr;
  ++generation_;
  try {
    ApplyBuffer();
    ApplyLineSettings();
    ApplyTimeouts();
  } catch (...) {
    line_.reset();
    fd_ = -1;
    throw;
  }
  if (events_ != 0) {
    try {
      thread_ = std::make_unique<TComThread>(this);
    } catch (...) {
      line_.reset();
      fd_ = -1;
      throw;
    }
  }
  EachLink([this](TComLink& l) {
    if (l.LinkConnChange) l.LinkConnChange(this, true);
  });
  if (OnAfterOpen) OnAfterOpen(this);
  ReportSignals();
}

void TCustomComPort::ReportSignal(uint32_t bit, SignalCallback TComLink::*linkCallback,
                                  const TComSignalEvent& handler) {
  const bool on = ModemSignal(bit);
  EachLink([&](TComLink& l) {
    if (l.*linkCallback) (l.*linkCallback)(this, on);
  });
  if (handler) handler(this, on);
}

void TCustomComPort::ReportSignals() {
  ReportSignal(msCTS, &TComLink::LinkCTSChange, OnCTSChange);
  ReportSignal(msDSR, &TComLink::LinkDSRChange, OnDSRChange);
  ReportSignal(msRLSD, &TComLink::LinkRLSDChange, OnRLSDChange);
}

bool TCustomComPort::ModemSignal(uint32_t bit) {
  uint32_t bits = 0;
  bool supported = false;
  if (const int err = line_->ModemStatus(bits, supported); err != 0) {
    if (platform::DeviceGone(err)) return false;
    throw EComPort(ecModemStatus, err);
  }
  return (bits & bit) != 0;
}

void TCustomComPort::StopThread() {
  if (thread_) {
    thread_->Stop();
    thread_.reset();
  }
}

bool TCustomComPort::OnEventThread() const {
  return tEventThreadOf == this;
}

void TCustomComPort::ThreadFailed(unsigned generation, std::exception_ptr error) {
  if (!Connected() || generation != generation_) return;
  threadError_ = error;
  if (!OnThreadFailure) return;
  // On the event thread the handler cannot close the port, so nothing is marked there.
  const bool here = !OnEventThread();
  if (here) reportingFailure_ = true;
  try {
    OnThreadFailure(this, error);
  } catch (...) {
    if (here) reportingFailure_ = false;
    throw;
  }
  if (here) reportingFailure_ = false;
}

EComPort TCustomComPort::ClosedPortError(TComErrorCode code) const {
  // As the system answers a read or write of a device that is not open.
  EComPort e(code, EBADF);
  e.AlreadyReported = closedOnReportedFailure_;
  return e;
}

void TCustomComPort::Close() {
  if (!Connected()) return;
  EachLink([this](TComLink& l) {
    if (l.LinkRxActive) l.LinkRxActive(this, false);
  });
  EachLink([this](TComLink& l) {
    if (l.LinkTxActive) l.LinkTxActive(this, false);
  });
  EachLink([this](TComLink& l) {
    if (l.LinkCTSChange) l.LinkCTSChange(this, false);
  });
  EachLink([this](TComLink& l) {
    if (l.LinkDSRChange) l.LinkDSRChange(this, false);
  });
  EachLink([this](TComLink& l) {
    if (l.LinkRLSDChange) l.LinkRLSDChange(this, false);
  });
  if (OnCTSChange) OnCTSChange(this, false);
  if (OnDSRChange) OnDSRChange(this, false);
  if (OnRLSDChange) OnRLSDChange(this, false);
  if (OnBeforeClose) OnBeforeClose(this);
  // A device that went away cannot be purged; closing must still succeed.
  if (const int err = line_->Purge(); err != 0 && !gone_ && !platform::DeviceGone(err)) {
    throw EComPort(ecPurgeFailed, err);
  }
  StopThread();
  line_.reset();
  fd_ = -1;
  closedOnReportedFailure_ = reportingFailure_;
  EachLink([this](TComLink& l) {
    if (l.LinkConnChange) l.LinkConnChange(this, false);
  });
  if (OnAfterClose) OnAfterClose(this);
}

int TCustomComPort::QueuedInput() {
  if (!Connected()) return 0;
  int count = 0;
  if (const int err = line_->QueuedInput(count); err != 0) throw EComPort(ecClearCommError, err);
  return count;
}

bool TCustomComPort::WaitForInput(int timeoutMs, int expected) {
  if (!Connected()) return false;
  if (!(line_->Wait(POLLIN, timeoutMs) & POLLIN)) return false;
  int queued = 0;
  if (expected > 1 && line_->QueuedInput(queued) == 0 && queued < expected) {
    // Whole milliseconds would add most of one to every reply at the higher speeds.
    const long long baud = std::max(BaudRateValue(baudRate_, customBaudRate_), 1);
    const long long us = (expected - queued) * 10LL * 1000000LL / baud;
    if (us < timeoutMs * 1000LL) std::this_thread::sleep_for(std::chrono::microseconds(us));
  }
  return true;
}

namespace {
using Clock = std::chrono::steady_clock;
int MsLeft(Clock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left < 0 ? 0 : static_cast<int>(left);
}
}  // namespace

int TCustomComPort::Read(uint8_t* buffer, int count) {
  if (!buffer) throw EComPort(ecInvalidAsync);
  if (!Connected()) throw ClosedPortError(ecReadFailed);
  const int interval = timeouts_.ReadInterval();
  const long total =
      static_cast<long>(timeouts_.ReadTotalMultiplier()) * count + timeouts_.ReadTotalConstant();
  // The usual setting: hand over what is queued and return at once.
  const bool immediate = interval == -1 && total == 0;
  const auto deadline = Clock::now() + std::chrono::milliseconds(total);
  int done = 0;
  while (done < count) {
    const ssize_t n = line_->Read(buffer + done, static_cast<size_t>(count - done));
    if (n > 0) {
      rxTaken_ += n;
      if (discardNull_) {
        int kept = done;
        for (int i = done; i < done + n; ++i) {
          if (buffer[i] != 0) buffer[kept++] = buffer[i];
        }
        done = kept;
      } else {
        done += static_cast<int>(n);
      }
      if (interval == -1 && !immediate && done > 0) break;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    // In raw mode an empty queue also reads as 0 bytes; only a hang-up means it has gone.
    if (n == 0) {
      if (line_->Wait(POLLIN, 0) & (POLLHUP | POLLERR)) {
        gone_ = true;
        throw EComPort(ecReadFailed, line_->GoneError());
      }
    } else if (errno != EAGAIN) {
      if (platform::DeviceGone(errno)) gone_ = true;
      throw EComPort(ecReadFailed, errno);
    }
    if (immediate) break;
    int wait = total > 0 ? MsLeft(deadline) : -1;
    if (interval > 0 && done > 0) wait = wait < 0 ? interval : std::min(wait, interval);
    if (wait == 0) break;
    const short ready = line_->Wait(POLLIN, wait);
    if (ready == 0) break;
    if (ready & (POLLHUP | POLLERR)) {
      gone_ = true;
      throw EComPort(ecReadFailed, line_->GoneError());
    }
  }
  int left = 0;
  if (line_->QueuedInput(left) == 0 && left == 0) {
    EachLink([this](TComLink& l) {
      if (l.LinkRxActive) l.LinkRxActive(this, false);
    });
  }
  return done;
}

int TCustomComPort::WriteText(const std::string& text) {
  if (!Connected()) throw ClosedPortError(ecWriteFailed);
  if (text.empty()) return 0;
  const std::string copy = text;
  const long total = static_cast<long>(timeouts_.WriteTotalMultiplier()) * copy.size() +
                     timeouts_.WriteTotalConstant();
  const auto started = Clock::now();
  const auto deadline = started + std::chrono::milliseconds(total);
  EachLink([this](TComLink& l) {
    if (l.LinkTxActive) l.LinkTxActive(this, true);
  });
  if (thread_) thread_->TxStarted();
  size_t done = 0;
  while (done < copy.size()) {
    const ssize_t n =
        line_->Write(reinterpret_cast<const uint8_t*>(copy.data()) + done, copy.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) {
      if (platform::DeviceGone(errno)) gone_ = true;
      throw EComPort(ecWriteFailed, errno);
    }
    const int wait = total > 0 ? MsLeft(deadline) : -1;
    if (wait == 0) break;
    const short ready = line_->Wait(POLLOUT, wait);
    if (ready == 0) break;
    if (ready & (POLLHUP | POLLERR)) {
      gone_ = true;
      throw EComPort(ecWriteFailed, line_->GoneError());
    }
  }
  DrainOutput(done, started, total > 0 ? std::optional(deadline) : std::nullopt);
  EachLink([&](TComLink& l) {
    if (l.LinkTxBuf)
      l.LinkTxBuf(this, reinterpret_cast<const uint8_t*>(copy.data()), static_cast<int>(done));
  });
  return static_cast<int>(done);
}

// A write is complete when its bytes have left the port, not when the driver has taken
// them: whoever then waits for an answer must not count the time the line still needs.
// The driver's queue tells on a real port; a pseudo-terminal's says nothing of a line, so
// no write returns before the line could have carried its bytes at the port's speed.
void TCustomComPort::DrainOutput(size_t bytes, Clock::time_point started,
                                 std::optional<Clock::time_point> deadline) {
  const long baud = std::max(BaudRateValue(baudRate_, customBaudRate_), 1);
  const auto wireEnd =
      started + std::chrono::microseconds(static_cast<long long>(bytes) * 10'000'000LL / baud);
  for (;;) {
    int queued = 0;
    if (line_->QueuedOutput(queued) != 0) queued = 0;
    const auto now = Clock::now();
    if (queued == 0 && now >= wireEnd) return;
    if (deadline && now >= *deadline) return;
    auto until =
        queued > 0 ? now + std::chrono::microseconds(std::max(1000LL, queued * 10'000'000LL / baud))
                   : wireEnd;
    if (deadline) until = std::min(until, *deadline);
    std::this_thread::sleep_until(until);
  }
}

void TCustomComPort::AddLink(TComLink* link) {
  if (std::find(links_.begin(), links_.end(), link) != links_.end())
    throw EComPort(ecLinkRegistration);
  links_.push_back(link);
  hasRxLink_ =
      std::any_of(links_.begin(), links_.end(), [](TComLink* l) { return bool(l->LinkRxBuf); });
}

void TCustomComPort::RemoveLink(TComLink* link) {
  const auto it = std::find(links_.begin(), links_.end(), link);
  if (it == links_.end()) throw EComPort(ecLinkRegistration);
  links_.erase(it);
  hasRxLink_ =
      std::any_of(links_.begin(), links_.end(), [](TComLink* l) { return bool(l->LinkRxBuf); });
}

void TCustomComPort::SetPort(const std::string& name) {
  if (name == port_) return;
  port_ = name;
  if (Connected()) {
    Close();
    Open();
  }
}

#define TARVELO_LINE_SETTER(Name, field, Type) \
  void TCustomComPort::Set##Name(Type v) {     \
    if (field == v) return;                    \
    field = v;                                 \
    ApplyLineSettings();                       \
  }
TARVELO_LINE_SETTER(BaudRate, baudRate_, TBaudRate)
TARVELO_LINE_SETTER(CustomBaudRate, customBaudRate_, int)
TARVELO_LINE_SETTER(DataBits, dataBits_, TDataBits)
TARVELO_LINE_SETTER(StopBits, stopBits_, TStopBits)
TARVELO_LINE_SETTER(DiscardNull, discardNull_, bool)
TARVELO_LINE_SETTER(EventChar, eventChar_, uint8_t)
#undef TARVELO_LINE_SETTER

void TCustomComPort::SetSyncMethod(TSyncMethod v) {
  if (Connected()) throw EComPort(ecPropertyWhileConnected);
  syncMethod_ = v;
}

void TCustomComPort::ApplyLineSettings() {
  if (!Connected()) return;
  platform::DeviceControl c;
  c.baud = static_cast<uint32_t>(BaudRateValue(baudRate_, customBaudRate_));
  c.dataBits = dataBits_;
  c.parity = parity_.Bits();
  c.stopBits = stopBits_;
  c.outCtsFlow = flowControl_.OutCTSFlow();
  c.dtr = flowControl_.ControlDTR();
  c.rts = flowControl_.ControlRTS();
  c.xonXoffOut = flowControl_.XonXoffOut();
  c.xonXoffIn = flowControl_.XonXoffIn();
  c.xonChar = flowControl_.XonChar();
  c.xoffChar = flowControl_.XoffChar();
  c.parityCheck = parity_.Check();
  if (const int err = line_->ApplyControl(c); err != 0)
    throw EComPort(ecSetState, err, line_->FailureDetail());
}

void TCustomComPort::ApplyTimeouts() {
  // Read and WriteText apply the time-outs themselves; there is nothing to hand the driver.
}

void TCustomComPort::ApplyBuffer() {
  // No call sizes a tty's queues; the sizes serve the 80 % mark and nothing else.
}

void TCustomComPort::DispatchEvents(TComEvents events) {
  if (!Connected()) return;
  if (events & evError) {
    int queued = 0;
    if (const int err = line_->QueuedInput(queued); err != 0) throw EComPort(ecClearCommError, err);
    TComErrors errors = thread_ ? thread_->TakeErrors() : 0;
    if (!parity_.Check()) errors &= ~ceRxParity;
    if (errors != 0 && OnError) OnError(this, errors);
  }
  if (events & evRxChar) ReceiveRule(events);
  if (events & evTxEmpty) {
    EachLink([this](TComLink& l) {
      if (l.LinkTxActive) l.LinkTxActive(this, false);
    });
    EachLink([this](TComLink& l) {
      if (l.LinkTxEmpty) l.LinkTxEmpty(this);
    });
    if (OnTxEmpty) OnTxEmpty(this);
  }
  if ((events & evBreak) && OnBreak) OnBreak(this);
  if (events & evRing) {
    EachLink([this](TComLink& l) {
      if (l.LinkRing) l.LinkRing(this);
    });
    if (OnRing) OnRing(this);
  }
  if (events & evCTS) ReportSignal(msCTS, &TComLink::LinkCTSChange, OnCTSChange);
  if (events & evDSR) ReportSignal(msDSR, &TComLink::LinkDSRChange, OnDSRChange);
  if (events & evRxFlag) {
    EachLink([this](TComLink& l) {
      if (l.LinkRxFlag) l.LinkRxFlag(this);
    });
    if (OnRxFlag) OnRxFlag(this);
  }
  if (events & evRLSD) ReportSignal(msRLSD, &TComLink::LinkRLSDChange, OnRLSDChange);
  if ((events & evRx80Full) && OnRx80Full) OnRx80Full(this);
}

void TCustomComPort::ReceiveRule(TComEvents& events) {
  int n = 0;
  // Taken before the count, so a read elsewhere in between can only make the next look
  // find news where there is none, never the other way round.
  const long long taken = rxTaken_.load();
  if (const int err = line_->QueuedInput(n); err != 0) throw EComPort(ecClearCommError, err);
  rxTold_ = taken + n;
  if (n > 0)
    EachLink([this](TComLink& l) {
      if (l.LinkRxActive) l.LinkRxActive(this, true);
    });
  if (n > 0 && (hasRxLink_ || !reportRxCountOnly_)) {
    std::vector<uint8_t> buffer;
    bool read = false;
    auto readOnce = [&] {
      if (read) return;
      buffer.resize(n);
      n = Read(buffer.data(), n);
      buffer.resize(n);
      read = true;
      if (OnRxBuf) OnRxBuf(this, buffer.data(), n);
    };
    EachLink([&](TComLink& l) {
      if (!l.LinkRxBuf) return;
      readOnce();
      l.LinkRxBuf(this, buffer.data(), static_cast<int>(buffer.size()));
    });
    if (!read && !reportRxCountOnly_) readOnce();
    if (read) {
      // The event character can only be seen in bytes that were read.
      if ((events_ & evRxFlag) &&
          std::find(buffer.begin(), buffer.end(), eventChar_) != buffer.end()) {
        events |= evRxFlag;
      }
      n = 0;
    }
  }
  if (n > 0 && OnRxChar) OnRxChar(this, n);
}

}  // namespace tarvelo
