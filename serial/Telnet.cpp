#include "serial/Telnet.h"

namespace tarvelo::telnet {

Decoder::Decoder(bool comPort) : comPort_(comPort) {
  us_[kBinarySlot].asked = him_[kBinarySlot].asked = true;
  us_[kSgaSlot].asked = him_[kSgaSlot].asked = true;
  us_[kComPortSlot].asked = comPort_;
}

Bytes Decoder::Offer() const {
  Bytes b = {kIac, kWill, kBinary,          kIac, kDo, kBinary,
             kIac, kWill, kSuppressGoAhead, kIac, kDo, kSuppressGoAhead};
  if (comPort_) b.insert(b.end(), {kIac, kWill, kComPortOption});
  return b;
}

int Decoder::Slot(uint8_t option) {
  switch (option) {
    case kBinary:
      return kBinarySlot;
    case kSuppressGoAhead:
      return kSgaSlot;
    case kComPortOption:
      return kComPortSlot;
    default:
      return -1;
  }
}

// Answers only what changes an option's state, so two sides that keep asking each other
// cannot talk each other into a loop; an option we do not take part in is refused.
void Decoder::Negotiate(uint8_t verb, uint8_t option, Bytes& reply) {
  const int slot = Slot(option);
  const bool ours = verb == kDo || verb == kDont;  // about what we do
  const bool allowed =
      slot >= 0 && (ours ? (slot != kComPortSlot || comPort_) : slot != kComPortSlot);
  const bool enable = verb == kDo || verb == kWill;
  const uint8_t yes = ours ? kWill : kDo;
  const uint8_t no = ours ? kWont : kDont;
  if (!allowed) {
    if (enable) reply.insert(reply.end(), {kIac, no, option});
    return;
  }
  Side& side = ours ? us_[slot] : him_[slot];
  if (enable) {
    if (side.asked) {
      side.asked = false;
      side.on = true;
    } else if (!side.on) {
      side.on = true;
      reply.insert(reply.end(), {kIac, yes, option});
    }
    return;
  }
  if (side.asked) {
    side.asked = false;
    side.on = false;
    if (slot == kComPortSlot) comPortRefused_ = true;
  } else if (side.on) {
    side.on = false;
    reply.insert(reply.end(), {kIac, no, option});
    if (slot == kComPortSlot) comPortRefused_ = true;
  }
}

void Decoder::EndSubnegotiation(std::vector<ComReport>& reports) {
  if (subOverflow_ || sub_.size() < 2 || sub_[0] != kComPortOption) return;
  // Client command numbers from the server (a signature request) need no answer here.
  if (sub_[1] < kServerOffset) return;
  reports.push_back(
      {static_cast<uint8_t>(sub_[1] - kServerOffset), Bytes(sub_.begin() + 2, sub_.end())});
}

void Decoder::Feed(const uint8_t* bytes, size_t n, Bytes& data, std::vector<ComReport>& reports,
                   Bytes& reply) {
  for (size_t i = 0; i < n; ++i) {
    const uint8_t b = bytes[i];
    switch (state_) {
      case kData:
        if (b == kIac) {
          state_ = kCommand;
        } else {
          data.push_back(b);
        }
        break;
      case kCommand:
        if (b == kIac) {
          data.push_back(kIac);
          state_ = kData;
        } else if (b >= kWill && b <= kDont) {
          verb_ = b;
          state_ = kOption;
        } else if (b == kSb) {
          sub_.clear();
          subOverflow_ = false;
          state_ = kSubnegotiation;
        } else {
          state_ = kData;  // go-ahead, no-operation and the rest carry nothing for us
        }
        break;
      case kOption:
        Negotiate(verb_, b, reply);
        state_ = kData;
        break;
      case kSubnegotiation:
      case kSubnegotiationIac:
        if (state_ == kSubnegotiation && b == kIac) {
          state_ = kSubnegotiationIac;
          break;
        }
        if (state_ == kSubnegotiationIac && b == kSe) {
          EndSubnegotiation(reports);
          sub_.clear();
          state_ = kData;
          break;
        }
        if (state_ == kSubnegotiationIac && b != kIac) {
          // A command inside a subnegotiation ends it unfinished; the command itself counts.
          sub_.clear();
          state_ = kCommand;
          --i;
          break;
        }
        state_ = kSubnegotiation;
        if (sub_.size() < kMaxSubnegotiation) {
          sub_.push_back(b);
        } else {
          subOverflow_ = true;
        }
        break;
    }
  }
}

Bytes EscapeData(const uint8_t* data, size_t n) {
  Bytes out;
  out.reserve(n + n / 64 + 1);
  for (size_t i = 0; i < n; ++i) {
    out.push_back(data[i]);
    if (data[i] == kIac) out.push_back(kIac);
  }
  return out;
}

Bytes ComPortCommand(uint8_t command, const Bytes& value) {
  Bytes out = {kIac, kSb, kComPortOption, command};
  const Bytes escaped = EscapeData(value.data(), value.size());
  out.insert(out.end(), escaped.begin(), escaped.end());
  out.insert(out.end(), {kIac, kSe});
  return out;
}

Bytes BaudValue(uint32_t baud) {
  return {static_cast<uint8_t>(baud >> 24), static_cast<uint8_t>(baud >> 16),
          static_cast<uint8_t>(baud >> 8), static_cast<uint8_t>(baud)};
}

uint32_t BaudOf(const Bytes& value) {
  uint32_t v = 0;
  for (size_t i = 0; i < value.size() && i < 4; ++i) v = (v << 8) | value[i];
  return value.size() == 4 ? v : 0;
}

}  // namespace tarvelo::telnet
