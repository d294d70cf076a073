#pragma once
// The message-delivery thread: serves the window directory's delayed queue
// about once a second (sooner when the first waiting record falls due) until
// it is stopped. Stop() wakes it at once, so it ends without waiting out the
// second.
#include <condition_variable>
#include <mutex>

#include "platform/zov_thread.h"

// Longest pause between two passes over the delayed queue.
inline constexpr int kZovMainThreadPassMs = 1000;

class CZovMainThread : public CZovThread {
 public:
  CZovMainThread() = default;
  // Stops the loop (waiting for a pass in progress) before the base goes.
  ~CZovMainThread() override;

  // Sets the running state and starts the thread.
  void Start() override;
  // Sets the stopped state, wakes the loop and waits until it has ended.
  void Stop() override;
  void Run() override;

  // Passes made so far (for diagnostics).
  long Passes() const;

 private:
  mutable std::mutex waitLock_;
  std::condition_variable wake_;
  // Guarded by waitLock_.
  bool stopRequested_ = false;
  long passes_ = 0;
};
