// How much CPU the port's event thread takes while the line is idle and while a steady
// 1 kB/s arrives. Prints the share of one core for each; the goal is below 1 %.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <thread>

#include "serial/ComPort.h"
#include "tests/serial/PtyPair.h"

using namespace tarvelo;
using Clock = std::chrono::steady_clock;

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
  PtyPair pty;
  std::mutex mutex;
  std::condition_variable posted;
  std::deque<std::function<void()>> queue;
  TComPort port;
  port.SetSyncPoster([&](std::function<void()> f) {
    std::lock_guard lock(mutex);
    queue.push_back(std::move(f));
    posted.notify_all();
  });
  long received = 0;
  TComLink link;
  link.LinkRxBuf = [&](TCustomComPort*, const uint8_t*, int n) { received += n; };
  port.AddLink(&link);
  port.SetPort(pty.path);
  port.Open();

  // The "user-interface thread": serves hand-overs until the deadline.
  auto serveUntil = [&](Clock::time_point end, bool feed) {
    auto nextFeed = Clock::now();
    while (Clock::now() < end) {
      if (feed && Clock::now() >= nextFeed) {
        pty.Send(std::string(100, 'x'));  // 100 bytes every 100 ms
        nextFeed += std::chrono::milliseconds(100);
      }
      std::unique_lock lock(mutex);
      posted.wait_for(lock, std::chrono::milliseconds(10), [&] { return !queue.empty(); });
      while (!queue.empty()) {
        auto f = std::move(queue.front());
        queue.pop_front();
        lock.unlock();
        f();
        lock.lock();
      }
    }
  };

  for (bool feed : {false, true}) {
    const long long cpu0 = port.EventThreadCpuNs();
    const auto t0 = Clock::now();
    serveUntil(t0 + std::chrono::seconds(seconds), feed);
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    const double cpu = (port.EventThreadCpuNs() - cpu0) / 1e9;
    std::printf("%-22s event thread CPU / wall = %.5f (%.3f %% of one core; goal < 1 %%)\n",
                feed ? "1 kB/s input:" : "idle:", cpu / wall, 100 * cpu / wall);
  }
  std::printf("bytes received: %ld\n", received);
  port.Close();
  port.RemoveLink(&link);
  return 0;
}
