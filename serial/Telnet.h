// The byte side of a serial server's Telnet line with the com-port option: the bytes that
// arrive are split into the device's data, the server's com-port reports and the answers
// the negotiation needs; the bytes that leave are the data with its 255s doubled and the
// com-port commands. No sockets here: bytes in, bytes out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tarvelo::telnet {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t kIac = 255, kDont = 254, kDo = 253, kWont = 252, kWill = 251, kSb = 250,
                  kSe = 240;
constexpr uint8_t kBinary = 0, kSuppressGoAhead = 3, kComPortOption = 44;

// The client's com-port commands; the server answers each with the same number plus 100.
enum ComCommand : uint8_t {
  kSignature = 0,
  kSetBaudRate = 1,
  kSetDataSize = 2,
  kSetParity = 3,
  kSetStopSize = 4,
  kSetControl = 5,
  kNotifyLineState = 6,
  kNotifyModemState = 7,
  kFlowControlSuspend = 8,
  kFlowControlResume = 9,
  kSetLineStateMask = 10,
  kSetModemStateMask = 11,
  kPurgeData = 12,
};
constexpr uint8_t kServerOffset = 100;

// SET-CONTROL values.
enum ControlValue : uint8_t {
  kControlNoFlow = 1,
  kControlXonXoff = 2,
  kControlHardware = 3,
  kControlDtrOn = 8,
  kControlDtrOff = 9,
  kControlRtsOn = 11,
  kControlRtsOff = 12,
};
// SET-PARITY, SET-DATASIZE and SET-STOPSIZE take the value itself (parity 1 none, 2 odd,
// 3 even, 4 mark, 5 space; stop size 1, 2, or 3 for one and a half).

// Modem-state bits of NOTIFY-MODEMSTATE.
enum ModemState : uint8_t { kCts = 0x10, kDsr = 0x20, kRing = 0x40, kCarrier = 0x80 };
// Line-state bits of NOTIFY-LINESTATE.
enum LineState : uint8_t {
  kOverrun = 0x02,
  kParityError = 0x04,
  kFramingError = 0x08,
  kBreak = 0x10
};

// One com-port message from the server: its command number without the 100, and its value.
struct ComReport {
  uint8_t command = 0;
  Bytes value;
  bool operator==(const ComReport&) const = default;
};

// Reads what the server sends. Keeps its state between calls, so a command or a doubled
// 255 may be split anywhere.
class Decoder {
 public:
  // The opening offer the client sends as soon as it is connected: binary both ways,
  // suppress-go-ahead both ways, and the com-port option when `comPort`.
  explicit Decoder(bool comPort = true);
  Bytes Offer() const;

  // Appends the data bytes to `data`, the com-port messages to `reports` and the bytes the
  // negotiation must send back to `reply`.
  void Feed(const uint8_t* bytes, size_t n, Bytes& data, std::vector<ComReport>& reports,
            Bytes& reply);

  // Whether the server has taken the com-port option (answered our WILL with DO), or refused
  // it (DONT).
  bool ComPortAgreed() const { return us_[kComPortSlot].on; }
  bool ComPortRefused() const { return comPortRefused_; }
  // Whether the data is eight-bit clean both ways.
  bool BinaryBothWays() const { return us_[kBinarySlot].on && him_[kBinarySlot].on; }

  // The longest com-port value kept; the rest of a longer one is dropped.
  static constexpr size_t kMaxSubnegotiation = 64;

 private:
  enum State { kData, kCommand, kOption, kSubnegotiation, kSubnegotiationIac };
  // The options we take part in, each way: on, and whether our own request is still unanswered.
  static constexpr int kBinarySlot = 0, kSgaSlot = 1, kComPortSlot = 2, kSlots = 3;
  struct Side {
    bool on = false;
    bool asked = false;
  };
  static int Slot(uint8_t option);
  void Negotiate(uint8_t verb, uint8_t option, Bytes& reply);
  void EndSubnegotiation(std::vector<ComReport>& reports);

  bool comPort_;
  bool comPortRefused_ = false;
  State state_ = kData;
  uint8_t verb_ = 0;
  Bytes sub_;
  bool subOverflow_ = false;
  Side us_[kSlots];   // WILL/WONT: what we do
  Side him_[kSlots];  // DO/DONT: what the server does
};

// The data as it goes on the line: every 255 doubled.
Bytes EscapeData(const uint8_t* data, size_t n);
// IAC SB COM-PORT-OPTION command value IAC SE, with 255s in the value doubled.
Bytes ComPortCommand(uint8_t command, const Bytes& value);
// A four-byte big-endian rate, as SET-BAUDRATE carries it.
Bytes BaudValue(uint32_t baud);
uint32_t BaudOf(const Bytes& value);

}  // namespace tarvelo::telnet
