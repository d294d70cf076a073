#pragma once
// Base of every long-running worker (the engine's read threads and
// schedulers, the window directory's delivery thread).
//
// Protocol: the owner calls Start(), which sets the working state and calls
// StartThread(); the worker's Run() holds runLock for its whole body and loops
// while state != kZovThreadStopped, doing one unit of work per pass under
// stateLock. Stop() sets the stopped state and returns once the body has
// returned. Lock order: runLock, then stateLock, then whatever one unit of
// work takes (the engine's queue and demuxer locks).
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

enum : int32_t {
  kZovThreadCreated = 0,
  kZovThreadRunning = 1,
  kZovThreadPaused = 2,
  kZovThreadStopped = 3,
};

// Lowers the calling thread's scheduling priority (a positive nice
// increment), so that the threads of the main channel come first when the
// machine is short of processor time. Never raises it.
void ZovLowerThreadPriority(int niceIncrement);

class CZovThread {
 public:
  using Callback = void (*)(void* argument);

  CZovThread();
  // Joins a worker still running (after setting the stopped state), so that a
  // forgotten Stop() cannot leave a thread behind. Subclasses whose Run()
  // touches their own members call Stop() in their own destructor first.
  virtual ~CZovThread();
  CZovThread(const CZovThread&) = delete;
  CZovThread& operator=(const CZovThread&) = delete;

  // The base does nothing; subclasses set state to 1 and call StartThread().
  virtual void Start();
  // Sets the stopped state and waits until the worker's body has returned.
  // Returns at once when the body has already returned or never ran. Never
  // called by the worker itself.
  virtual void Stop();
  // The worker's body; the base does nothing.
  virtual void Run();
  // Sets state under stateLock, so it waits for the unit of work in progress.
  virtual void SetState(int32_t newState);

  // Stores the callback (null: Run() is the body) and its argument, sets state
  // to 0 and starts the thread. A thread still held from an earlier start is
  // stopped first. When the thread cannot be created nothing runs.
  void StartThread(Callback cb, void* argument);

  std::atomic<uint32_t> threadId{0};  // kernel thread id of the worker; 0 after Stop
  std::atomic<int32_t> state{kZovThreadCreated};
  std::recursive_mutex runLock;    // held by the worker for the whole body
  std::recursive_mutex stateLock;  // guards SetState and one unit of work
  Callback callback = nullptr;
  void* callbackArgument = nullptr;

 private:
  static void Entry(CZovThread* self);

  std::thread worker_;
  // Set by the worker once its body has returned; guarded by doneMutex_.
  std::mutex doneMutex_;
  std::condition_variable doneCv_;
  bool done_ = true;
};
