#include "engine/zov_time.h"

#include <cerrno>
#include <chrono>
#include <ctime>

namespace {

// Taken at static initialisation, so NowMs() counts from process start.
const std::chrono::steady_clock::time_point kProcessStart = std::chrono::steady_clock::now();

}  // namespace

int32_t NowMs() {
  auto elapsed = std::chrono::steady_clock::now() - kProcessStart;
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
  return static_cast<int32_t>(static_cast<uint32_t>(ms));
}

int SleepMs(int ms) {
  if (ms <= 0) return 0;
  timespec now{};
  if (clock_gettime(CLOCK_MONOTONIC, &now) != 0) return -1;
  // An absolute deadline, so a signal that interrupts the sleep does not
  // stretch it when it is resumed.
  timespec due = now;
  due.tv_sec += ms / 1000;
  due.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
  if (due.tv_nsec >= 1000000000L) {
    due.tv_sec += 1;
    due.tv_nsec -= 1000000000L;
  }
  for (;;) {
    int rc = clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &due, nullptr);
    if (rc == 0) return 0;
    if (rc != EINTR) return -1;
  }
}
