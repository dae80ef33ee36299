// The readable capture of a terminal session: only the text the far end sent, as it would
// come out of a printer, for a file someone reads or searches later. Escape sequences and
// control strings are dropped, line ends become one LF whichever way the far end writes them,
// and the Windows-1250 characters become UTF-8, as in the session log.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tarvelo {

class TextCapture {
 public:
  // The longest sequence or control string taken apart: what it held is dropped, and what
  // follows it is text again.
  static constexpr int kMaxSequence = 256;

  // The text of one received block, UTF-8. A sequence or a line end split between blocks
  // comes out whole with the later block.
  std::string Feed(std::string_view bytes);
  // Forgets any sequence half received; the next block starts on a line of its own.
  void Reset() { *this = TextCapture(); }

 private:
  enum class State : uint8_t {
    kText,
    kEscape,        // after ESC
    kIntermediate,  // ESC and an intermediate byte, waiting for the final one
    kCsi,           // ESC [: parameters until a final byte
    kString,        // ESC ] P X ^ _: a control string until BEL or ESC backslash
    kStringEscape,  // an ESC inside a control string
    kVt52Row,       // ESC Y: the row, then the column
    kVt52Column,
  };
  void Control(uint8_t byte, std::string& out);
  void Printable(uint8_t byte, std::string& out);
  void Sequence(State next);

  State state_ = State::kText;
  int length_ = 0;              // bytes of the sequence taken so far
  bool atLineStart_ = true;     // nothing printed since the last line end
  bool pendingReturn_ = false;  // a CR after text: a line end unless an LF makes it one anyway
};

}  // namespace tarvelo
