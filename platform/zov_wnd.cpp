#include "platform/zov_wnd.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>
#include <QThread>
#include <QTimerEvent>

#include <algorithm>
#include <climits>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "platform/zov_hand_over.h"

namespace zov_detail {

// Each thread that sends or receives cross-thread messages has one inbox.
// A sender puts its request into the inbox of the target's thread and then
// waits on its own inbox: the reply and any request sent to it arrive there.
struct Inbox;

struct PendingSend {
  CZovMsgTarget* target = nullptr;
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  LRESULT result = 0;
  bool done = false;     // guarded by replyTo->lock
  bool handled = false;  // the window procedure ran; guarded by replyTo->lock
  std::shared_ptr<Inbox> replyTo;
};

struct Inbox {
  std::mutex lock;
  std::condition_variable wake;
  // Guarded by lock: requests waiting for this thread to handle them.
  std::deque<std::shared_ptr<PendingSend>> requests;
};

// Shared between a target and every reference to it; `target` is cleared
// when the target is destroyed.
struct TargetLink {
  std::mutex lock;
  CZovMsgTarget* target = nullptr;  // guarded by lock
};

}  // namespace zov_detail

namespace {

// Shortest timer period.
constexpr UINT kZovMinTimerMs = 10;

using zov_detail::Inbox;
using zov_detail::PendingSend;
using zov_detail::TargetLink;

std::mutex& InboxMapLock() {
  static std::mutex m;
  return m;
}

std::unordered_map<QThread*, std::shared_ptr<Inbox>>& InboxMap() {
  static auto* map = new std::unordered_map<QThread*, std::shared_ptr<Inbox>>();
  return *map;
}

std::shared_ptr<Inbox> InboxOf(QThread* thread) {
  std::lock_guard<std::mutex> g(InboxMapLock());
  auto& slot = InboxMap()[thread];
  if (!slot) slot = std::make_shared<Inbox>();
  return slot;
}

void Complete(const std::shared_ptr<PendingSend>& p, LRESULT result, bool handled) {
  std::shared_ptr<Inbox> reply = p->replyTo;
  {
    std::lock_guard<std::mutex> g(reply->lock);
    p->result = result;
    p->handled = handled;
    p->done = true;
  }
  reply->wake.notify_all();
}

// Handles every request queued to the inbox, in queue order.
void DrainInbox(const std::shared_ptr<Inbox>& inbox) {
  for (;;) {
    std::shared_ptr<PendingSend> p;
    {
      std::lock_guard<std::mutex> g(inbox->lock);
      if (inbox->requests.empty()) return;
      p = inbox->requests.front();
      inbox->requests.pop_front();
    }
    LRESULT r = p->target->WindowProc(p->message, p->wParam, p->lParam);
    Complete(p, r, true);
  }
}

// Posted window message. An owned lParam is released when the event is
// destroyed: after its delivery, or undelivered (Qt drops the pending events
// of a destroyed object).
class MessageEvent : public QEvent {
 public:
  static QEvent::Type Kind() {
    static const QEvent::Type kind = static_cast<QEvent::Type>(QEvent::registerEventType());
    return kind;
  }
  MessageEvent(UINT m, WPARAM w, LPARAM l, void (*release)(LPARAM))
      : QEvent(Kind()), message(m), wParam(w), lParam(l), release_(release) {}
  ~MessageEvent() override {
    if (release_) release_(lParam);
  }
  UINT message;
  WPARAM wParam;
  LPARAM lParam;

 private:
  void (*release_)(LPARAM);
};

// Tells a thread's event loop that its inbox has requests.
class WakeEvent : public QEvent {
 public:
  static QEvent::Type Kind() {
    static const QEvent::Type kind = static_cast<QEvent::Type>(QEvent::registerEventType());
    return kind;
  }
  WakeEvent() : QEvent(Kind()) {}
};

}  // namespace

CZovMsgTarget::CZovMsgTarget(QObject* self) : self_(self), link_(std::make_shared<TargetLink>()) {
  link_->target = this;
}

CZovMsgTarget::~CZovMsgTarget() {
  // No reference can queue anything for this target from here on.
  {
    std::lock_guard<std::mutex> g(link_->lock);
    link_->target = nullptr;
  }
  // Answer every request still queued for this target with 0, so that no
  // sender waits for a window that no longer exists.
  std::shared_ptr<Inbox> inbox = InboxOf(self_->thread());
  std::deque<std::shared_ptr<PendingSend>> orphans;
  {
    std::lock_guard<std::mutex> g(inbox->lock);
    for (auto it = inbox->requests.begin(); it != inbox->requests.end();) {
      if ((*it)->target == this) {
        orphans.push_back(*it);
        it = inbox->requests.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (auto& p : orphans) Complete(p, 0, false);
  for (auto& [id, qtId] : timers_) self_->killTimer(qtId);
  timers_.clear();
}

LRESULT CZovMsgTarget::WindowProc(UINT, WPARAM, LPARAM) { return 0; }

bool CZovMsgTarget::IsOwnThread() const { return QThread::currentThread() == self_->thread(); }

int CZovMsgTarget::QueuedSendCount() const {
  std::shared_ptr<Inbox> inbox = InboxOf(self_->thread());
  std::lock_guard<std::mutex> g(inbox->lock);
  int n = 0;
  for (const auto& p : inbox->requests) n += p->target == this ? 1 : 0;
  return n;
}

bool CZovMsgTarget::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return PostOwnedMessage(message, wParam, lParam, nullptr);
}

bool CZovMsgTarget::PostOwnedMessage(UINT message, WPARAM wParam, LPARAM lParam, void (*release)(LPARAM)) {
  if (!QCoreApplication::instance()) return false;
  auto* event = new MessageEvent(message, wParam, lParam, release);
  ZovHandOverTo(self_);  // the record behind lParam was written before the post
  QCoreApplication::postEvent(self_, event);
  return true;
}

LRESULT CZovMsgTarget::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (IsOwnThread()) return WindowProc(message, wParam, lParam);
  return CZovTargetRef::Await(Ref().QueueSend(message, wParam, lParam));
}

bool CZovTargetRef::IsAlive() const {
  if (!link_) return false;
  std::lock_guard<std::mutex> g(link_->lock);
  return link_->target != nullptr;
}

bool CZovTargetRef::Post(UINT message, WPARAM wParam, LPARAM lParam) const {
  return PostOwned(message, wParam, lParam, nullptr);
}

bool CZovTargetRef::PostOwned(UINT message, WPARAM wParam, LPARAM lParam, void (*release)(LPARAM)) const {
  if (!link_) return false;
  std::lock_guard<std::mutex> g(link_->lock);
  return link_->target && link_->target->PostOwnedMessage(message, wParam, lParam, release);
}

LRESULT CZovTargetRef::Send(UINT message, WPARAM wParam, LPARAM lParam) const {
  return Await(QueueSend(message, wParam, lParam));
}

ZovQueuedSend CZovTargetRef::QueueSend(UINT message, WPARAM wParam, LPARAM lParam) const {
  if (!link_) return nullptr;
  std::lock_guard<std::mutex> g(link_->lock);
  CZovMsgTarget* target = link_->target;
  if (!target) return nullptr;
  QThread* targetThread = target->Object()->thread();
  // Another thread's event loop needs the application object to be woken.
  if (targetThread != QThread::currentThread() && !QCoreApplication::instance()) return nullptr;
  std::shared_ptr<Inbox> inbox = InboxOf(targetThread);
  auto request = std::make_shared<PendingSend>();
  request->target = target;
  request->message = message;
  request->wParam = wParam;
  request->lParam = lParam;
  request->replyTo = InboxOf(QThread::currentThread());
  {
    std::lock_guard<std::mutex> ig(inbox->lock);
    inbox->requests.push_back(request);
  }
  if (targetThread != QThread::currentThread()) {
    // Wakes the target thread both when it idles in its event loop and when
    // it is itself waiting inside a send.
    inbox->wake.notify_all();
    auto* wake = new WakeEvent();
    ZovHandOverTo(target->Object());
    QCoreApplication::postEvent(target->Object(), wake);
  }
  return request;
}

LRESULT CZovTargetRef::Await(const ZovQueuedSend& queued, bool* handled) {
  if (handled) *handled = false;
  if (!queued) return 0;
  std::shared_ptr<Inbox> mine = queued->replyTo;
  std::unique_lock<std::mutex> lk(mine->lock);
  while (!queued->done) {
    if (!mine->requests.empty()) {
      lk.unlock();
      DrainInbox(mine);
      lk.lock();
      continue;
    }
    mine->wake.wait(lk);
  }
  if (handled) *handled = queued->handled;
  return queued->result;
}

bool CZovMsgTarget::SetTimer(UINT id, UINT elapseMs) {
  if (IsOwnThread()) {
    StartTimerHere(id, elapseMs);
    return true;
  }
  return ZovInvokeOn(self_, [this, id, elapseMs] { StartTimerHere(id, elapseMs); });
}

bool CZovMsgTarget::KillTimer(UINT id) {
  if (IsOwnThread()) return KillTimerHere(id);
  return ZovInvokeOn(self_, [this, id] { KillTimerHere(id); });
}

void CZovMsgTarget::StartTimerHere(UINT id, UINT elapseMs) {
  KillTimerHere(id);
  // As on the system the design comes from: periods below 10 ms become 10 ms
  // (a 0 ms timer would keep the thread busy), longer ones end at INT_MAX.
  const int periodMs = static_cast<int>(std::clamp<UINT>(elapseMs, kZovMinTimerMs, INT_MAX));
  int qtId = self_->startTimer(periodMs, Qt::PreciseTimer);
  if (qtId != 0) timers_[id] = qtId;
}

bool CZovMsgTarget::KillTimerHere(UINT id) {
  auto it = timers_.find(id);
  if (it == timers_.end()) return false;
  self_->killTimer(it->second);
  timers_.erase(it);
  return true;
}

bool CZovMsgTarget::HandleLayerEvent(QEvent* event) {
  ZovTakeOverHere();  // a posted event was written on the posting thread
  if (event->type() == MessageEvent::Kind()) {
    auto* m = static_cast<MessageEvent*>(event);
    // What lParam holds stays the event's: it is released with the event,
    // after the window procedure has returned.
    WindowProc(m->message, m->wParam, m->lParam);
    return true;
  }
  if (event->type() == WakeEvent::Kind()) {
    DrainInbox(InboxOf(self_->thread()));
    return true;
  }
  if (event->type() == QEvent::Timer) {
    int qtId = static_cast<QTimerEvent*>(event)->timerId();
    for (auto& [id, tid] : timers_) {
      if (tid == qtId) {
        WindowProc(WM_TIMER, id, 0);
        return true;
      }
    }
  }
  return false;
}

CZovWnd::CZovWnd(QWidget* parent, Qt::WindowFlags flags)
    : QWidget(parent, flags), CZovMsgTarget(this) {}

CZovWnd::~CZovWnd() = default;

bool CZovWnd::event(QEvent* event) {
  if (HandleLayerEvent(event)) return true;
  return QWidget::event(event);
}

CZovMsgObject::CZovMsgObject(QObject* parent) : QObject(parent), CZovMsgTarget(this) {}

CZovMsgObject::~CZovMsgObject() = default;

bool CZovMsgObject::event(QEvent* event) {
  if (HandleLayerEvent(event)) return true;
  return QObject::event(event);
}
