// A serial server on the network as the port's line: "socket://HOST:PORT" is the device's
// byte stream on a TCP connection, "rfc2217://HOST:PORT" the same inside Telnet with the
// com-port option, so that the line settings and the modem lines reach the server's port.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "serial/PortLine.h"

namespace tarvelo {

struct NetAddress {
  bool comPort = false;  // rfc2217:// rather than socket://
  std::string host;      // a name, an IPv4 address, or an IPv6 address without its brackets
  uint16_t port = 0;
  // "HOST:PORT", an IPv6 address in brackets.
  std::string Text() const;
};

// The address a port name stands for; nothing when the name is not a well-formed one
// (HOST empty, PORT not 1 to 65535, an IPv6 address without brackets).
std::optional<NetAddress> ParseNetAddress(const std::string& portName);

// How long opening may take in all: finding the name, connecting, and agreeing on the
// com-port option.
constexpr int kNetOpenMs = 5000;
// How long a server may take to answer a setting.
constexpr int kNetSettingMs = 3000;

std::unique_ptr<PortLine> OpenNetLine(const std::string& portName, int& error, std::string& detail,
                                      int timeoutMs = kNetOpenMs);

}  // namespace tarvelo
