// How fast received bytes go through the parser, the terminal state and the screen buffer at
// 80 x 24, with nothing drawn. Four inputs, made here from a fixed seed: plain text lines;
// text dense with attribute changes and cursor movement; a coloured recursive directory
// listing; a full-screen editor's traffic of scroll regions, inserted and deleted lines and
// sixteen colours. Prints MB/s for each. When built with the optional yardstick library it feeds
// the same bytes through that too and prints our speed over its speed (goal: at least 2).
#include <time.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "terminal/TermState.h"

#ifdef TARVELO_HAVE_VTERM
#include <vterm.h>
#endif

using namespace tarvelo;

namespace {

constexpr size_t kInputSize = 4 << 20;
constexpr size_t kBlock = 4096;  // about what one serial read hands over at high speed
constexpr double kMinSeconds = 1.0;
constexpr double kGoal = 2.0;

class Random {
 public:
  uint32_t Next(uint32_t n) {
    state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<uint32_t>(state_ >> 33) % n;
  }

 private:
  uint64_t state_ = 20240601;
};

std::string Word(Random& random) {
  std::string word;
  const int length = 1 + random.Next(9);
  for (int i = 0; i < length; ++i) word += static_cast<char>('a' + random.Next(26));
  return word;
}

std::string PlainText() {
  Random random;
  std::string text;
  while (text.size() < kInputSize) {
    const size_t width = 20 + random.Next(58);
    std::string line;
    while (line.size() < width) line += Word(random) + ' ';
    line.resize(width);
    text += line + "\r\n";
  }
  return text;
}

std::string AttributesAndMoves() {
  Random random;
  const char* const kAttributes[] = {"\033[1m", "\033[7m", "\033[4m",     "\033[1;7m",
                                     "\033[0m", "\033[m",  "\033[21;24m", "\033[27m"};
  std::string text;
  while (text.size() < kInputSize) {
    switch (random.Next(8)) {
      case 0:
        text += "\033[" + std::to_string(1 + random.Next(24)) + ";" +
                std::to_string(1 + random.Next(80)) + "H";
        break;
      case 1:
        text += "\033[" + std::to_string(1 + random.Next(5)) + "ABCD"[random.Next(4)];
        break;
      case 2:
        text += random.Next(2) ? "\033[K" : "\033[2K";
        break;
      case 3:
        text += "\r\n";
        break;
      default:
        text += kAttributes[random.Next(8)];
        text += Word(random);
        break;
    }
  }
  return text;
}

std::string DirectoryListing() {
  Random random;
  const char* const kColours[] = {"\033[01;34m", "\033[01;32m", "\033[01;36m", "\033[00m"};
  std::string text;
  std::string path = ".";
  while (text.size() < kInputSize) {
    path += "/" + Word(random);
    if (path.size() > 60) path = "./" + Word(random);
    text += path + ":\r\ntotal " + std::to_string(random.Next(9000)) + "\r\n";
    const int entries = 3 + random.Next(30);
    for (int i = 0; i < entries; ++i) {
      const bool directory = random.Next(4) == 0;
      char head[80];
      std::snprintf(head, sizeof head, "%s %2u user group %8u Jan %2u %02u:%02u ",
                    directory ? "drwxr-xr-x" : "-rw-r--r--", 1 + random.Next(9),
                    random.Next(1000000), 1 + random.Next(28), random.Next(24), random.Next(60));
      text += head;
      text += kColours[directory ? 0 : random.Next(4)];
      text += Word(random) + (random.Next(3) ? "." + Word(random) : "");
      text += "\033[0m\r\n";
    }
    text += "\r\n";
  }
  return text;
}

// What an editor or pager sends while the user scrolls and edits: a scroll region, lines
// inserted and deleted in it, reverse index at its top, coloured text, erases and a status line
// outside the region.
std::string RegionsAndColours() {
  Random random;
  std::string text;
  while (text.size() < kInputSize) {
    const int top = 1 + random.Next(6);
    const int bottom = 18 + random.Next(6);
    text += "\033[" + std::to_string(top) + ";" + std::to_string(bottom) + "r";
    const int steps = 10 + random.Next(30);
    for (int i = 0; i < steps; ++i) {
      const int row = top + random.Next(bottom - top + 1);
      switch (random.Next(6)) {
        case 0:
          text += "\033[" + std::to_string(row) + ";1H\033[" + std::to_string(1 + random.Next(3)) +
                  (random.Next(2) ? "L" : "M");
          break;
        case 1:
          text += "\033[" + std::to_string(top) + ";1H\033M";
          break;
        case 2:
          text += "\033[" + std::to_string(bottom) + ";1H\n";
          break;
        case 3:
          text += "\033[" + std::to_string(row) + ";" + std::to_string(1 + random.Next(70)) +
                  "H\033[" + std::to_string(1 + random.Next(4)) + (random.Next(2) ? "@" : "P");
          break;
        default:
          text += "\033[" + std::to_string(row) + ";1H\033[K";
          for (int w = 0; w < 6; ++w) {
            text += "\033[" + std::to_string(30 + random.Next(8)) + ";" +
                    std::to_string(40 + random.Next(8)) + "m" + Word(random) + "\033[m ";
          }
          break;
      }
    }
    text += "\033[r\033[24;1H\033[7m" + Word(random) + " " + Word(random) + "\033[0m\033[K";
  }
  return text;
}

// CPU time of this thread: the machine is shared, and both sides are measured alike.
double CpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return now.tv_sec + now.tv_nsec / 1e9;
}

// Feeds `input` in blocks until at least kMinSeconds have been spent; returns MB/s.
double Measure(const std::string& input, const std::function<void(const char*, size_t)>& feed) {
  size_t bytes = 0;
  const double start = CpuSeconds();
  double seconds = 0;
  do {
    for (size_t at = 0; at < input.size(); at += kBlock) {
      const size_t size = std::min(kBlock, input.size() - at);
      feed(input.data() + at, size);
    }
    bytes += input.size();
    seconds = CpuSeconds() - start;
  } while (seconds < kMinSeconds);
  return bytes / seconds / 1e6;
}

// Takes the reports as a widget would, without drawing.
struct Headless : TermEvents {
  void ScreenChanged(const TermChanges& changes) override {
    scrolled += changes.scrolled;
    ++reports;
  }
  long scrolled = 0;
  long reports = 0;
};

double OurSpeed(const std::string& input) {
  Headless events;
  TComTermState term(&events);
  const double speed = Measure(input, [&](const char* data, size_t size) {
    term.ReceiveBytes(std::string_view(data, size));
  });
  // Uses the result, so that no part of the work can be left out.
  if (events.reports == 0) std::puts("(nothing changed)");
  return speed;
}

#ifdef TARVELO_HAVE_VTERM
double YardstickSpeed(const std::string& input) {
  VTerm* vt = vterm_new(24, 80);
  vterm_set_utf8(vt, 0);
  VTermScreen* screen = vterm_obtain_screen(vt);
  vterm_screen_reset(screen, 1);
  const double speed =
      Measure(input, [&](const char* data, size_t size) { vterm_input_write(vt, data, size); });
  vterm_free(vt);
  return speed;
}
#endif

}  // namespace

int main(int argc, char** argv) {
  // "ours" skips the yardstick, for profiling; a number after it picks one input.
  const bool oursOnly = argc > 1 && std::string(argv[1]) == "ours";
  const int only = argc > 2 ? std::atoi(argv[2]) : -1;
  int index = 0;
  const struct {
    const char* name;
    std::string input;
  } inputs[] = {
      {"plain text", PlainText()},
      {"attributes and moves", AttributesAndMoves()},
      {"coloured listing", DirectoryListing()},
      {"regions and colours", RegionsAndColours()},
  };
  bool met = true;
  for (const auto& [name, input] : inputs) {
    if (only >= 0 && index++ != only) continue;
    const double ours = OurSpeed(input);
#ifdef TARVELO_HAVE_VTERM
    if (oursOnly) {
      std::printf("%-22s %8.1f MB/s\n", name, ours);
      continue;
    }
    const double theirs = YardstickSpeed(input);
    const double ratio = ours / theirs;
    met = met && ratio >= kGoal;
    std::printf("%-22s %8.1f MB/s   yardstick %8.1f MB/s   ratio %5.2f (goal >= %.0f)\n", name,
                ours, theirs, ratio, kGoal);
#else
    (void)oursOnly;
    std::printf("%-22s %8.1f MB/s\n", name, ours);
#endif
  }
  return met ? 0 : 1;
}
