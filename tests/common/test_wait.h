#pragma once
// Waiting helpers for tests that run an event loop or may deadlock: wait on a
// condition with a time-out instead of sleeping, and turn a hang into a
// failure.
#include <QCoreApplication>
#include <QElapsedTimer>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <thread>

#include "tests/common/test_paths.h"

namespace zovtest {

// Processes events (or, in a test without an application object, yields a
// millisecond) until `done` holds or `ms` pass, exactly; false on time-out.
inline bool WaitExactly(const std::function<bool()>& done, int ms) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > ms) return false;
    if (QCoreApplication::instance())
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    else
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// The same, with the time-out widened for a sanitizer build (Slowdown()): the
// limit guards against a hang, it is not a speed target.
inline bool WaitUntil(const std::function<bool()>& done, int ms = 5000) {
  return WaitExactly(done, ms * Slowdown());
}

// True when `changed` stays false for the whole of `ms` (for checks that
// something does NOT happen, e.g. no picture while paused).
inline bool StaysFalse(const std::function<bool()>& changed, int ms) { return !WaitExactly(changed, ms); }

// Ends the process with a failure when a test would otherwise hang.
class Watchdog {
 public:
  explicit Watchdog(int limitSeconds) : thread_([this, seconds = limitSeconds * Slowdown()] {
      std::unique_lock<std::mutex> lk(lock_);
      if (!cv_.wait_for(lk, std::chrono::seconds(seconds), [this] { return done_; })) {
        std::fprintf(stderr, "watchdog: test did not finish in %d s (deadlock)\n", seconds);
        std::fflush(stderr);
        std::_Exit(3);
      }
    }) {}
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> g(lock_);
      done_ = true;
    }
    cv_.notify_all();
    thread_.join();
  }

 private:
  std::mutex lock_;
  std::condition_variable cv_;
  bool done_ = false;
  std::thread thread_;
};

}  // namespace zovtest
