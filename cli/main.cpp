// tarvelo-cli: the configuration database without the window.
#include <csignal>

#include "cli/Commands.h"

int main(int argc, char** argv) {
  // A closed pipe is reported as a write error with its own line, not a silent death.
  std::signal(SIGPIPE, SIG_IGN);
  return tarvelo::RunCommandLine(argc, argv);
}
