#pragma once
// Trace facility: printf-style calls that any thread may make. The message is
// formatted and then discarded; this program keeps no log file of its own.
// With the environment variable ZOV_TRACE=1 the messages go to standard error
// instead (one write per message, under the trace lock).
//
// Wide formats follow the C library on this platform: "%ls" is a wide string,
// "%s" a narrow one.
#include <cstdarg>
#include <mutex>

// Largest narrow message, terminator included; longer ones are cut to fit.
inline constexpr int kZovTraceBufferBytes = 1024;

void DebugTrace(const char* format, ...) __attribute__((format(printf, 1, 2)));
void DebugTraceW(const wchar_t* format, ...);

// The process-wide trace lock: a lock and one unused pointer. Created by the
// start-up sequence or by the first trace call, whichever comes first.
class CZovTraceLock {
 public:
  // The existing lock, or a new one (thread-safe get-or-create).
  static CZovTraceLock* GetInstance();
  // The existing lock or null; creates nothing.
  static CZovTraceLock* Peek();
  // Deletes the lock; a later trace call makes a new one.
  static void DeleteInstance();

  std::mutex lock;
  void* pointer = nullptr;  // kept empty
};
