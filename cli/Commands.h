// The tool's commands as one table: each row names the command, the options it takes, its
// lines in the help text and what runs it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "cli/Args.h"

namespace tarvelo {

struct Command {
  std::vector<std::string> names;  // the first is the one the help shows
  // The help lines: the arguments after the name, then lines set under them.
  std::vector<std::string> usage;
  std::vector<std::string> withValue;  // options followed by a value
  std::vector<std::string> flags;
  std::function<int(const Args&)> run;  // the arguments as parsed by the row
  bool action = false;                  // an action word (export|import) comes before the options
  bool anyArguments = false;            // what follows the name is not looked at
  // "diff" answers 1 for "they differ": a usage error must not look like that answer.
  int usageStatus = kUsageError;
};

const std::vector<Command>& Commands();

// "Használat:" and every row's lines, as --help prints them.
std::string UsageText();

// Finds the row named by argv[1], parses the rest by it and runs it; every failure becomes
// its one line on stderr and the exit status.
int RunCommandLine(int argc, char** argv);

}  // namespace tarvelo
