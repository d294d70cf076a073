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

#include <utility>

#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
inline void ZovHandOverTo(const QObject* receiver) { __tsan_release(receiver->thread()); }
inline void ZovTakeOverHere() { __tsan_acquire(QThread::currentThread()); }
inline void ZovHandBackFrom(const QObject* receiver) { __tsan_acquire(receiver->thread()); }
inline void ZovHandBackHere() { __tsan_release(QThread::currentThread()); }
#else
inline void ZovHandOverTo(const QObject*) {}
inline void ZovTakeOverHere() {}
inline void ZovHandBackFrom(const QObject*) {}
inline void ZovHandBackHere() {}
#endif

// QMetaObject::invokeMethod(context, call, type) for a call that runs on
// context's thread: what the caller did before it happens before the call,
// and with Qt::BlockingQueuedConnection the call happens before the return.
// (Qt's own copy of the functor, made inside invokeMethod, is covered by an
// entry of tests/tsan.supp.)
template <typename F>
bool ZovInvokeOn(QObject* context, F call, Qt::ConnectionType type = Qt::QueuedConnection) {
  ZovHandOverTo(context);
  const bool queued = QMetaObject::invokeMethod(
      context,
      [call = std::move(call)]() mutable {
        ZovTakeOverHere();
        call();
        ZovHandBackHere();
      },
      type);
  if (type == Qt::BlockingQueuedConnection) ZovHandBackFrom(context);
  return queued;
}
