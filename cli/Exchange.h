#pragma once

#include <functional>
#include <string>

namespace tarvelo {

// tarvelo-cli codes export|import and numbers export|import; returns the exit status.
// `askPassword` is asked when no --password was given.
int RunExchangeCommand(const std::string& command, int argc, char** argv,
                       const std::function<std::string()>& askPassword);

}  // namespace tarvelo
