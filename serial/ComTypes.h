// The settings and event types of the serial port, shared by the port component and the
// system layer beneath it.
#pragma once

#include <cstdint>
#include <optional>

namespace tarvelo {

enum TBaudRate {
  brCustom,
  br110,
  br300,
  br600,
  br1200,
  br2400,
  br4800,
  br9600,
  br14400,
  br19200,
  br38400,
  br56000,
  br57600,
  br115200,
  br128000,
  br256000
};
enum TDataBits { dbFive, dbSix, dbSeven, dbEight };
enum TStopBits { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum TParityBits { prNone, prOdd, prEven, prMark, prSpace };
enum TDTRFlowControl { dtrDisable, dtrEnable, dtrHandshake };
enum TRTSFlowControl { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };
enum TFlowControl { fcHardware, fcSoftware, fcNone, fcCustom };
enum TSyncMethod { smThreadSync, smWindowSync, smNone };
enum class TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest };

// Event sets use the bits of the system's event mask, so the set and the mask convert
// one to one.
using TComEvents = uint32_t;
enum TComEvent : uint32_t {
  evRxChar = 0x0001,
  evRxFlag = 0x0002,
  evTxEmpty = 0x0004,
  evCTS = 0x0008,
  evDSR = 0x0010,
  evRLSD = 0x0020,
  evBreak = 0x0040,
  evError = 0x0080,
  evRing = 0x0100,
  evRx80Full = 0x0400
};
constexpr TComEvents kAllComEvents = evRxChar | evRxFlag | evTxEmpty | evCTS | evDSR | evRLSD |
                                     evBreak | evError | evRing | evRx80Full;

// Line errors, in the set's bit order.
using TComErrors = uint32_t;
enum TComError : uint32_t {
  ceFrame = 1,
  ceRxParity = 2,
  ceOverrun = 4,
  ceBreak = 8,
  ceIO = 16,
  ceMode = 32,
  ceRxOver = 64,
  ceTxFull = 128
};

// Modem status bits, as the system layer reports the input signals.
enum TModemSignal : uint32_t { msCTS = 0x10, msDSR = 0x20, msRing = 0x40, msRLSD = 0x80 };

// A line's character format and flow control as one user of the port wants them; each field
// left empty keeps what the port's owner sets by default.
struct LineChoice {
  std::optional<TDataBits> dataBits;
  std::optional<TParityBits> parity;
  std::optional<TStopBits> stopBits;
  std::optional<TFlowControl> flow;  // fcHardware, fcSoftware or fcNone
  bool operator==(const LineChoice&) const = default;
};

// The error codes an EComPort carries; each has its fixed text.
enum TComErrorCode : int {
  ecOpenFailed = 1,
  ecWriteFailed,
  ecReadFailed,
  ecInvalidAsync,
  ecPurgeFailed,
  ecAsyncStatus,
  ecSetState,
  ecSetTimeouts,
  ecSetupComm,
  ecClearCommError,
  ecModemStatus,
  ecEscapeComm,
  ecTransmitChar,
  ecPropertyWhileConnected,
  ecEnumPorts,
  ecStoreSettings,
  ecLoadSettings,
  ecLinkRegistration,
  ecLedState,
  ecWaitWithThread,
  ecWaitForEvent,
  ecRxBufLinked,
  ecRegistry
};

}  // namespace tarvelo
