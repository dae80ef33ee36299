// vttest, the VT100/VT102 conformance program, run on a pseudo-terminal whose other end is the
// terminal core: everything vttest writes goes into a TComTermState, the terminal's answers go
// back, and keys are typed as a user would (menu numbers, Return). At each screen where vttest
// waits, the screen is compared with the expected one kept in tests/terminal/vttest/.
//
// TARVELO_VTTEST_ACTUAL=<folder> writes every screen as the core shows it into that folder, in
// the same format, so that a difference can be looked at with diff.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "terminal/CodePage.h"
#include "terminal/TermState.h"

using namespace tarvelo;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr const char* kVttest = "/usr/bin/vttest";
constexpr int kRows = 24;
constexpr int kColumns = 80;

// A stuck vttest or a terminal that never answers ends the test, not the build: each menu has
// its time, and all menus together stay inside the suite's.
constexpr auto kOneMenu = std::chrono::seconds(15);
constexpr auto kAllMenus = std::chrono::seconds(45);
// vttest has finished a screen when it has written its prompt and then nothing more for a
// moment; a screen without a known prompt is taken once the line has been quiet longer.
constexpr auto kQuietAfterPrompt = std::chrono::milliseconds(80);
constexpr auto kQuietWithoutPrompt = std::chrono::milliseconds(600);
constexpr auto kLongestScreen = std::chrono::seconds(4);

// What vttest writes last before it waits for the user.
const char* const kPrompts[] = {"Push <RETURN>", "Enter choice number", "Push the RETURN key",
                                "Finish this test with RETURN"};

// The DEC special graphics as they look, for the cells the core marks as line drawing; the
// expected screens stay readable that way.
const char* const kLineDrawing[] = {" ", "◆", "▒", "␉", "␌", "␍", "␊", "°", "±", "␤", "␋",
                                    "┘", "┐", "┌", "└", "┼", "⎺", "⎻", "─", "⎼", "⎽", "├",
                                    "┤", "┴", "┬", "│", "≤", "≥", "π", "≠", "£", "·"};

// The terminal's side of the line: answers go back to vttest.
class Line : public TermEvents {
 public:
  explicit Line(int fd) : fd_(fd) {}
  bool CanSend() override { return true; }
  void Send(std::string_view bytes) override {
    size_t done = 0;
    for (int tries = 0; done < bytes.size() && tries < 100; ++tries) {
      const ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
      if (n > 0) {
        done += static_cast<size_t>(n);
      } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
        break;
      } else {
        pollfd p{fd_, POLLOUT, 0};
        poll(&p, 1, 20);
      }
    }
  }

 private:
  int fd_;
};

class Vttest {
 public:
  Vttest() = default;
  ~Vttest() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0) close(master_);
  }

  // Starts vttest on a fresh pseudo-terminal of 24 rows by 80 columns.
  bool Start(std::string& error) {
    winsize size{};
    size.ws_row = kRows;
    size.ws_col = kColumns;
    int slave = -1;
    if (openpty(&master_, &slave, nullptr, nullptr, &size) != 0) {
      error = "openpty failed";
      return false;
    }
    pid_ = fork();
    if (pid_ < 0) {
      error = "fork failed";
      close(slave);
      return false;
    }
    if (pid_ == 0) {
      setsid();
      ioctl(slave, TIOCSCTTY, 0);
      dup2(slave, 0);
      dup2(slave, 1);
      dup2(slave, 2);
      if (slave > 2) close(slave);
      close(master_);
      setenv("TERM", "vt100", 1);
      unsetenv("LINES");
      unsetenv("COLUMNS");
      execl(kVttest, "vttest", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(slave);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    line_ = std::make_unique<Line>(master_);
    term_.SetEvents(line_.get());
    term_.SetSize(kColumns, kRows);
    static const Clock::time_point allMenusEnd = Clock::now() + kAllMenus;
    deadline_ = std::min(allMenusEnd, Clock::now() + kOneMenu);
    return WaitForScreen();
  }

  // Types `keys` on the terminal, so that its own key rules apply (Return in new-line mode),
  // and waits until vttest waits again. False when the run's time is up or vttest has gone.
  bool Type(const std::string& keys) {
    term_.SendText(keys);
    return WaitForScreen();
  }

  const TComTermState& Term() const { return term_; }

 private:
  bool WaitForScreen() {
    std::string fresh;
    const auto screenEnd = std::min(deadline_, Clock::now() + kLongestScreen);
    auto lastByte = Clock::now();
    char block[4096];
    for (;;) {
      const auto now = Clock::now();
      const bool prompted = HasPrompt(fresh);
      const auto quietFor = prompted ? kQuietAfterPrompt : kQuietWithoutPrompt;
      if (now - lastByte >= quietFor) return true;
      if (now >= screenEnd) return now < deadline_;
      const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(
          std::min(lastByte + quietFor, screenEnd) - now);
      pollfd p{master_, POLLIN, 0};
      const int ready = poll(&p, 1, static_cast<int>(std::max<long long>(1, wait.count())));
      if (ready <= 0) continue;
      const ssize_t n = read(master_, block, sizeof block);
      if (n > 0) {
        const std::string_view bytes(block, static_cast<size_t>(n));
        fresh.append(bytes);
        if (fresh.size() > 65536) fresh.erase(0, fresh.size() - 256);
        term_.ReceiveBytes(bytes);
        lastByte = Clock::now();
      } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
        return false;  // vttest has ended
      }
    }
  }
  static bool HasPrompt(const std::string& fresh) {
    for (const char* prompt : kPrompts)
      if (fresh.find(prompt) != std::string::npos) return true;
    return false;
  }

  int master_ = -1;
  pid_t pid_ = -1;
  std::unique_ptr<Line> line_;
  TComTermState term_;
  Clock::time_point deadline_;
};

// --- The screens as text

char LineSizeMark(LineSize size) {
  switch (size) {
    case LineSize::kDoubleWidth:
      return 'W';
    case LineSize::kDoubleTop:
      return 'T';
    case LineSize::kDoubleBottom:
      return 'B';
    case LineSize::kSingle:
      break;
  }
  return '-';
}

// 24 lines of UTF-8, blanks at line ends dropped; line-drawing cells as their glyphs.
std::string ScreenText(const TComTermState& term) {
  std::string text;
  for (int row = 1; row <= term.Rows(); ++row) {
    std::string line;
    for (int column = 1; column <= term.Columns(); ++column) {
      const TermCell& cell = term.Cell(column, row);
      if (cell.ch == 0) {
        line += ' ';
      } else if (cell.lineDrawing && cell.ch >= 0x5F && cell.ch <= 0x7E) {
        line += kLineDrawing[cell.ch - 0x5F];
      } else {
        const CodePageCharacter& shown = TerminalCharacter(cell.ch);
        line += shown.visible ? shown.utf8 : std::string("?");
      }
    }
    line.erase(line.find_last_not_of(' ') + 1);
    text += line + "\n";
  }
  return text;
}

// The first line tells whether the whole screen is reversed; then per row its size mark, a
// blank and one character per cell: '.' plain, else a hex digit of bold 1, underline 2,
// blink 4, inverse 8. Plain cells at line ends are dropped.
std::string ScreenAttributes(const TComTermState& term) {
  std::string text = term.ReverseScreen() ? "reverse\n" : "normal\n";
  for (int row = 1; row <= term.Rows(); ++row) {
    std::string cells;
    for (int column = 1; column <= term.Columns(); ++column) {
      const TermCell& cell = term.Cell(column, row);
      const int bits = (cell.bright ? 1 : 0) | (cell.underline ? 2 : 0) | (cell.blink ? 4 : 0) |
                       (cell.inverse ? 8 : 0);
      cells += bits == 0 ? '.' : "0123456789abcdef"[bits];
    }
    cells.erase(cells.find_last_not_of('.') + 1);
    text += std::string(1, LineSizeMark(term.LineSizeOf(row))) + " " + cells + "\n";
  }
  return text;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

void WriteFile(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line) && lines.size() < 200;) lines.push_back(line);
  return lines;
}

// The rows that differ, expected above actual, so a failure reads without a diff tool.
std::string Differences(const std::string& expected, const std::string& actual) {
  const auto want = Lines(expected);
  const auto got = Lines(actual);
  std::string out;
  for (size_t i = 0; i < std::max(want.size(), got.size()); ++i) {
    const std::string w = i < want.size() ? want[i] : "<none>";
    const std::string g = i < got.size() ? got[i] : "<none>";
    if (w != g)
      out += "  line " + std::to_string(i + 1) + "\n    want |" + w + "|\n    got  |" + g + "|\n";
  }
  return out;
}

// --- The walk through the menus

// What to type, and the screen that must then stand (none: only pass through).
struct Step {
  std::string keys;
  std::string screen;
};

class VttestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (access(kVttest, X_OK) != 0) GTEST_SKIP() << "vttest is not installed (" << kVttest << ")";
    if (const char* folder = std::getenv("TARVELO_VTTEST_ACTUAL")) {
      actual_ = folder;
      fs::create_directories(actual_);
    }
    std::string error;
    ASSERT_TRUE(vttest_.Start(error)) << error;
    ASSERT_NE(ScreenText(vttest_.Term()).find("Enter choice number"), std::string::npos)
        << "vttest's menu did not come up:\n"
        << ScreenText(vttest_.Term());
  }

  // Walks the steps; each named screen is compared as text and, where an attribute file is
  // kept for it, as attributes. A missing expected file fails too, so a new screen is noticed.
  void Walk(const std::vector<Step>& steps) {
    for (const Step& step : steps) {
      ASSERT_TRUE(vttest_.Type(step.keys)) << "vttest stopped or the run took too long, typing \""
                                           << step.keys << "\" before " << step.screen;
      if (step.screen.empty()) continue;
      Compare(step.screen, ".txt", ScreenText(vttest_.Term()));
      Compare(step.screen, ".attr", ScreenAttributes(vttest_.Term()), /*optional=*/true);
    }
  }

  void Compare(const std::string& screen, const char* suffix, const std::string& actual,
               bool optional = false) {
    const fs::path expectedPath = fs::path(TARVELO_VTTEST_SCREENS) / (screen + suffix);
    if (!actual_.empty()) WriteFile(actual_ / (screen + suffix), actual);
    if (!fs::exists(expectedPath)) {
      if (!optional) ADD_FAILURE() << "no expected screen " << expectedPath;
      return;
    }
    const std::string expected = ReadFile(expectedPath);
    EXPECT_EQ(expected, actual) << screen << suffix << " differs:\n"
                                << Differences(expected, actual);
  }

  // Menu `menu` of vttest: its screens one after another, each left by Return, named
  // m<menu>-01 and on; the last Return brings back the main menu.
  void WalkMenu(int menu, int screens) {
    std::vector<Step> steps;
    for (int i = 1; i <= screens; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "m%d-%02d", menu, i);
      steps.push_back({i == 1 ? std::to_string(menu) + "\r" : "\r", name});
    }
    steps.push_back({"\r", ""});
    Walk(steps);
    ExpectMainMenu();
  }

  void ExpectMainMenu() {
    const std::string screen = ScreenText(vttest_.Term());
    EXPECT_NE(screen.find("Choose test type"), std::string::npos)
        << "vttest's main menu is not back:\n"
        << screen;
  }

  Vttest vttest_;
  fs::path actual_;
};

}  // namespace

TEST_F(VttestTest, CursorMovements) {
  WalkMenu(1, 6);
}

TEST_F(VttestTest, ScreenFeatures) {
  WalkMenu(2, 15);
}

TEST_F(VttestTest, CharacterSets) {
  WalkMenu(3, 1);
}

TEST_F(VttestTest, DoubleSizedCharacters) {
  WalkMenu(4, 6);
}

// Each report is typed for from the menu of reports; where vttest waits for a key without a
// prompt, Return is what a user presses.
TEST_F(VttestTest, TerminalReports) {
  Walk({{"6\r", ""},
        {"1\r", ""},
        {"\r", "m6-answerback"},
        {"\r", ""},
        {"2\r", ""},
        {"\r", ""},
        {"\r", "m6-newline"},
        {"\r", ""},
        {"3\r", "m6-status"},
        {"\r", ""},
        {"4\r", "m6-attributes"},
        {"\r", ""},
        {"7\r", "m6-parameters"},
        {"\r", ""},
        {"0\r", ""}});
  ExpectMainMenu();
}

TEST_F(VttestTest, Vt52Mode) {
  WalkMenu(7, 3);
}

TEST_F(VttestTest, InsertDeleteCharactersAndLines) {
  WalkMenu(8, 14);
}
