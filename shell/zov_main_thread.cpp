#include "shell/zov_main_thread.h"

#include <algorithm>
#include <chrono>

#include "shell/zov_wnd_manager.h"

CZovMainThread::~CZovMainThread() { Stop(); }

void CZovMainThread::Start() {
  Stop();  // a loop still running from an earlier start ends first
  {
    std::lock_guard<std::mutex> g(waitLock_);
    stopRequested_ = false;
  }
  state = kZovThreadRunning;
  StartThread(nullptr, this);
}

void CZovMainThread::Stop() {
  state = kZovThreadStopped;
  {
    std::lock_guard<std::mutex> g(waitLock_);
    stopRequested_ = true;
  }
  wake_.notify_all();
  CZovThread::Stop();
}

void CZovMainThread::Run() {
  std::lock_guard<std::recursive_mutex> run(runLock);
  CZovWndManager::GetInstance();
  while (state != kZovThreadStopped) {
    // The directory may be deleted by the shutdown sequence while this
    // thread still runs; the static pass finds it or does nothing.
    int dueInMs = CZovWndManager::ServeDelayedQueue(ZovMsgClockMs());
    int waitMs = dueInMs < 0 ? kZovMainThreadPassMs : std::min(dueInMs, kZovMainThreadPassMs);
    std::unique_lock<std::mutex> lk(waitLock_);
    ++passes_;
    wake_.wait_for(lk, std::chrono::milliseconds(waitMs), [this] { return stopRequested_; });
  }
}

long CZovMainThread::Passes() const {
  std::lock_guard<std::mutex> g(waitLock_);
  return passes_;
}
