#pragma once

#include <string>

namespace tarvelo {

// tarvelo-cli codes export|import and numbers export|import; returns the exit status.
int RunExchangeCommand(const std::string& command, int argc, char** argv);

}  // namespace tarvelo
