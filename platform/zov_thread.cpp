#include "platform/zov_thread.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

CZovThread::CZovThread() = default;

CZovThread::~CZovThread() { CZovThread::Stop(); }

void CZovThread::Start() {}

void CZovThread::Run() {}

void CZovThread::SetState(int32_t newState) {
  std::lock_guard<std::recursive_mutex> guard(stateLock);
  state = newState;
}

void CZovThread::Stop() {
  state = kZovThreadStopped;
  if (worker_.joinable() && worker_.get_id() == std::this_thread::get_id()) {
    // The worker stopping itself: it cannot wait for its own end.
    worker_.detach();
    threadId = 0;
    return;
  }
  {
    // A body that sets its working state when it begins could overwrite the
    // stop request if it begins after this call; the request is repeated
    // until the body has returned.
    std::unique_lock<std::mutex> lk(doneMutex_);
    while (!done_) {
      state = kZovThreadStopped;
      doneCv_.wait_for(lk, std::chrono::milliseconds(1));
    }
  }
  // The body holds runLock for its whole life, so taking it is the join.
  { std::lock_guard<std::recursive_mutex> join(runLock); }
  if (worker_.joinable()) worker_.join();
  threadId = 0;
}

void CZovThread::StartThread(Callback cb, void* argument) {
  if (worker_.joinable()) Stop();
  callback = cb;
  callbackArgument = cb ? argument : this;
  state = kZovThreadCreated;
  {
    std::lock_guard<std::mutex> lk(doneMutex_);
    done_ = false;
  }
  try {
    worker_ = std::thread(&CZovThread::Entry, this);
  } catch (const std::system_error&) {
    // Nothing runs; Stop() must not wait for a body that never started.
    std::lock_guard<std::mutex> lk(doneMutex_);
    done_ = true;
  }
}

void CZovThread::Entry(CZovThread* self) {
  self->threadId = static_cast<uint32_t>(syscall(SYS_gettid));
  if (self->callback)
    self->callback(self->callbackArgument);
  else
    self->Run();
  std::lock_guard<std::mutex> lk(self->doneMutex_);
  self->done_ = true;
  self->doneCv_.notify_all();
}

void ZovLowerThreadPriority(int niceIncrement) {
  if (niceIncrement <= 0) return;
  // Linux keeps a nice value per thread: PRIO_PROCESS with the thread's id.
  const id_t tid = static_cast<id_t>(syscall(SYS_gettid));
  errno = 0;
  const int current = getpriority(PRIO_PROCESS, tid);
  if (errno != 0) return;
  setpriority(PRIO_PROCESS, tid, std::min(current + niceIncrement, 19));
}
