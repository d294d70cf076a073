#pragma once
// Message layer: the program's windows talk through a window procedure
// WindowProc(message, wParam, lParam), on top of Qt's event delivery.
//
//  - PostMessage may be called from any thread; the message is queued to the
//    thread the window lives on and handled there by its event loop.
//  - SendMessage on the window's own thread calls WindowProc directly. From
//    another thread it queues the message to the window's thread and blocks
//    until that thread has handled it. While it waits, the sending thread
//    handles messages that other threads send to its own windows, so two
//    threads that send to each other at the same time do not deadlock.
//  - SetTimer(id, ms) / KillTimer(id): numbered repeating timers, delivered to
//    WindowProc as WM_TIMER with wParam = id.
//
// CZovWnd is the base of every window (a QWidget, user-interface thread);
// CZovMsgObject is a window-less target that may live on any thread that runs
// a Qt event loop. Both derive from CZovMsgTarget, which holds the machinery.
// Standard input, paint and size events keep using Qt's own handlers.
#include <map>
#include <memory>

#include <QObject>
#include <QWidget>

#include "platform/zov_messages.h"

class QEvent;
class CZovMsgTarget;

namespace zov_detail {
struct TargetLink;
struct PendingSend;
}  // namespace zov_detail

// A message that has been queued for its target's thread but may not have
// been handled yet (see CZovTargetRef::QueueSend).
using ZovQueuedSend = std::shared_ptr<zov_detail::PendingSend>;

// A reference to a message target that stays safe to use after the target
// is destroyed: posts and sends through it then do nothing and return 0.
// Any thread.
class CZovTargetRef {
 public:
  CZovTargetRef() = default;
  bool IsAlive() const;
  bool Post(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
  // Posts a message that owns what its lParam points to: `release(lParam)`
  // runs once, after the window procedure has handled the message, or when
  // the message is dropped undelivered (its target destroyed first). When the
  // post itself fails nothing is called; the caller still owns it.
  bool PostOwned(UINT message, WPARAM wParam, LPARAM lParam, void (*release)(LPARAM)) const;
  LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
  // The two halves of Send, so that a caller can queue under its own lock
  // (fixing the order of deliveries) and wait after releasing it. Messages
  // queued to one thread are handled in queue order, also when the sender is
  // that thread itself. Null when the target is gone.
  ZovQueuedSend QueueSend(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
  // Waits until the queued message has been handled (serving messages sent to
  // the calling thread meanwhile) and returns its result; 0 for null. With
  // `handled`, tells whether the window procedure ran (false when the target
  // was destroyed first). Call it on the thread that queued the message.
  static LRESULT Await(const ZovQueuedSend& queued, bool* handled = nullptr);

 private:
  friend class CZovMsgTarget;
  explicit CZovTargetRef(std::shared_ptr<zov_detail::TargetLink> link) : link_(std::move(link)) {}
  std::shared_ptr<zov_detail::TargetLink> link_;
};

class CZovMsgTarget {
 public:
  CZovMsgTarget(const CZovMsgTarget&) = delete;
  CZovMsgTarget& operator=(const CZovMsgTarget&) = delete;

  // The window procedure. The base handles nothing and returns 0.
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);

  // Queues the message to the target's thread. Any thread. False when there
  // is no application object to deliver it.
  bool PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
  // PostMessage of a message that owns its lParam (see
  // CZovTargetRef::PostOwned).
  bool PostOwnedMessage(UINT message, WPARAM wParam, LPARAM lParam, void (*release)(LPARAM));
  // Handles the message on the target's thread and returns WindowProc's
  // result; blocks the caller when called from another thread. Returns 0
  // when the target is destroyed before it handled the message.
  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
  // Starts (or restarts) repeating timer `id` with period `elapseMs`
  // (at least 10 ms).
  bool SetTimer(UINT id, UINT elapseMs);
  // Stops timer `id`; false when it was not running.
  bool KillTimer(UINT id);

  // A reference that outlives the target.
  CZovTargetRef Ref() const { return CZovTargetRef(link_); }

  // The Qt object that stands for this target.
  QObject* Object() const { return self_; }
  // True when the calling thread is the target's own thread.
  bool IsOwnThread() const;
  // Number of messages other threads have sent to this target that wait for
  // its thread to handle them.
  int QueuedSendCount() const;

 protected:
  explicit CZovMsgTarget(QObject* self);
  virtual ~CZovMsgTarget();
  // Called from the Qt object's event(); true when the event was one of the
  // layer's (posted message, send wake-up, numbered timer).
  bool HandleLayerEvent(QEvent* event);

 private:
  void StartTimerHere(UINT id, UINT elapseMs);
  bool KillTimerHere(UINT id);

  QObject* self_;
  std::shared_ptr<zov_detail::TargetLink> link_;
  // Guarded by: the target's own thread only.
  std::map<UINT, int> timers_;  // timer id -> Qt timer id
};

// A window of the program: a QWidget with a window procedure. User-interface
// thread only, as every QWidget.
class CZovWnd : public QWidget, public CZovMsgTarget {
 public:
  explicit CZovWnd(QWidget* parent = nullptr, Qt::WindowFlags flags = {});
  ~CZovWnd() override;

 protected:
  bool event(QEvent* event) override;
};

// A window-less message target for threads other than the user-interface
// thread (or for objects that need no widget). Lives on the thread that
// creates it; that thread must run a Qt event loop to get posted messages.
class CZovMsgObject : public QObject, public CZovMsgTarget {
 public:
  explicit CZovMsgObject(QObject* parent = nullptr);
  ~CZovMsgObject() override;

 protected:
  bool event(QEvent* event) override;
};
