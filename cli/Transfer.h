#pragma once

#include <string>

namespace tarvelo {

// tarvelo-cli download / upload / prom / clock; returns the exit status.
int RunTransferCommand(const std::string& command, int argc, char** argv);

}  // namespace tarvelo
