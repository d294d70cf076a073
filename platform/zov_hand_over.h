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
#include <utility>

#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
inline void ZovHandOverTo(const QObject* receiver) { __tsan_release(receiver->thread()); }
inline void ZovTakeOverFrom(const QThread* queue) { __tsan_acquire(const_cast<QThread*>(queue)); }
#else
inline void ZovHandOverTo(const QObject*) {}
inline void ZovTakeOverFrom(const QThread*) {}
#endif
inline void ZovTakeOverHere() { ZovTakeOverFrom(QThread::currentThread()); }

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

// Sets a blocking caller's promise once, when the posted call is done with:
// after it has run, or when Qt destroys it unrun (its receiver deleted with
// the call still queued), so the caller never waits for good. Whoever
// destroys it takes over from the receiver's queue first.
class ZovCallSettle {
 public:
  ZovCallSettle(std::promise<void>* done, const QObject* receiver) : done_(done), queue_(receiver->thread()) {}
  ZovCallSettle(ZovCallSettle&& other) noexcept
      : done_(std::exchange(other.done_, nullptr)), queue_(other.queue_) {}
  ZovCallSettle& operator=(ZovCallSettle&&) = delete;
  ~ZovCallSettle() { Settle(); }
  void Settle() {
    if (!done_) return;
    ZovTakeOverFrom(queue_);
    std::exchange(done_, nullptr)->set_value();
  }

 private:
  std::promise<void>* done_;
  const QThread* queue_;
};

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
  if (!ZovPostCall(context, [&call, &ran, settle = ZovCallSettle(&done, context)]() mutable {
        call();
        ran = true;
        settle.Settle();
      }))
    return false;
  returned.wait();
  return ran;
}
