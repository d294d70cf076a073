#pragma once
// Hand-over marks for ThreadSanitizer. Each thread's Qt event queue is guarded
// inside the Qt libraries, which are not instrumented, so the sanitizer
// cannot see that posting an event or a queued call to a thread happens
// before that thread delivers it. The marks stand for that queue's lock:
// ZovHandOverTo(receiver) before the post, ZovTakeOverHere() on the receiving
// thread before it reads what was posted. They compile to nothing in other
// builds.
#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <future>
#include <memory>
#include <utility>

#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
inline void ZovHandOverTo(const QObject* receiver) { __tsan_release(receiver->thread()); }
inline void ZovTakeOverHere() { __tsan_acquire(QThread::currentThread()); }
#else
inline void ZovHandOverTo(const QObject*) {}
inline void ZovTakeOverHere() {}
#endif

// The call itself, with the hand-over marks (any type but a blocking one).
template <typename F>
bool ZovPostCall(QObject* context, F call, Qt::ConnectionType type = Qt::QueuedConnection) {
  ZovHandOverTo(context);
  return QMetaObject::invokeMethod(
      context,
      [call = std::move(call)]() mutable {
        ZovTakeOverHere();
        call();
      },
      type);
}

// QMetaObject::invokeMethod(context, call, type) for a call that runs on
// context's thread: what the caller did before it happens before the call,
// and with Qt::BlockingQueuedConnection the call happens before the return.
// (Qt's own copy of the functor, made inside invokeMethod, is covered by an
// entry of tests/tsan.supp.)
//
// A blocking call is made as a queued call and a wait on a promise: Qt's own
// blocking connection reads the caller's argument array (on the caller's
// stack) on the receiving thread after the call returns, and then wakes the
// caller through a futex inside the library, so under ThreadSanitizer the
// caller's next use of that stack looked like a race with the receiver. The
// promise is seen by the sanitizer and is set when the call has returned.
// A blocking call to an object of the calling thread, which Qt refuses as a
// deadlock, is made directly. A blocking call that never runs answers false.
template <typename F>
bool ZovInvokeOn(QObject* context, F call, Qt::ConnectionType type = Qt::QueuedConnection) {
  if (type != Qt::BlockingQueuedConnection) return ZovPostCall(context, std::move(call), type);
  if (context->thread() == QThread::currentThread()) {
    call();
    return true;
  }
  std::promise<void> done;
  std::future<void> returned = done.get_future();
  bool ran = false;
  // Set when the last copy of the posted call goes: after it has run, or when
  // Qt drops it unrun (its receiver deleted with the call still queued), so
  // the caller never waits for good. The answer then is false.
  std::shared_ptr<void> settle(nullptr, [&done](void*) { done.set_value(); });
  if (!ZovPostCall(context, [&call, &ran, settle = std::move(settle)]() mutable {
        call();
        ran = true;
        settle.reset();
      }))
    return false;
  returned.wait();
  return ran;
}
