// Runs the command-line tool in a folder of the test's own, with standard input empty and
// both outputs kept.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/TempDirTest.h"

namespace tarvelo {

struct CliRun {
  int status;
  std::string out, err;
};

class CliFixture : public TempDirTest {
 protected:
  static std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
  }

  CliRun Cli(const std::vector<std::string>& args) const {
    std::string cmd = Quote(TARVELO_CLI);
    for (const auto& a : args) cmd += " " + Quote(a);
    cmd += " </dev/null >" + Quote(Path("out")) + " 2>" + Quote(Path("err"));
    const int raw = std::system(cmd.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, Slurp(Path("out")), Slurp(Path("err"))};
  }
};

}  // namespace tarvelo
