#include "shell/zov_wnd_manager.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

std::atomic<CZovWndManager*> g_manager{nullptr};
// Guards creation and deletion of the directory object itself, and the
// delayed-queue pass of the main thread against that deletion.
std::mutex g_managerLife;

bool Given(const char* name) { return name && *name; }

void CopyName(char (&field)[kZovWndNameBytes], const char* name) {
  std::snprintf(field, sizeof field, "%s", name ? name : "");
}

}  // namespace

int64_t ZovMsgClockMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

CZovWndManager* CZovWndManager::GetInstance() {
  CZovWndManager* m = g_manager.load(std::memory_order_acquire);
  if (m) return m;
  std::lock_guard<std::mutex> g(g_managerLife);
  m = g_manager.load(std::memory_order_acquire);
  if (!m) {
    m = new CZovWndManager();
    g_manager.store(m, std::memory_order_release);
  }
  return m;
}

CZovWndManager* CZovWndManager::Peek() { return g_manager.load(std::memory_order_acquire); }

void CZovWndManager::DeleteInstance() {
  std::lock_guard<std::mutex> g(g_managerLife);
  delete g_manager.exchange(nullptr, std::memory_order_acq_rel);
}

int CZovWndManager::ServeDelayedQueue(int64_t nowMs) {
  std::lock_guard<std::mutex> g(g_managerLife);
  CZovWndManager* m = g_manager.load(std::memory_order_acquire);
  return m ? m->ServeDelayed(nowMs) : -1;
}

CZovWndManager::~CZovWndManager() {
  std::lock_guard<std::recursive_mutex> g(lock_);
  entries_.clear();
  while (delayedHead_) {
    ZovMsgData* next = delayedHead_->next;
    delete delayedHead_;
    delayedHead_ = next;
  }
  delayedTail_ = nullptr;
}

void CZovWndManager::Register(const char* name, CZovMsgTarget* window) {
  if (!window) return;
  Entry e;
  CopyName(e.name, name);
  e.window = window;
  e.ref = window->Ref();
  std::lock_guard<std::recursive_mutex> g(lock_);
  entries_.push_back(e);
}

CZovWndManager::Entry* CZovWndManager::FindLocked(const char* name) {
  if (!Given(name)) return nullptr;
  for (Entry& e : entries_) {
    if (std::strstr(e.name, name)) return &e;
  }
  return nullptr;
}

void CZovWndManager::Unregister(const char* name) {
  std::lock_guard<std::recursive_mutex> g(lock_);
  if (Entry* e = FindLocked(name)) entries_.erase(entries_.begin() + (e - entries_.data()));
}

CZovMsgTarget* CZovWndManager::Find(const char* name) {
  std::lock_guard<std::recursive_mutex> g(lock_);
  Entry* e = FindLocked(name);
  return e ? e->window : nullptr;
}

void CZovWndManager::PostTo(const char* name, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == 0) return;
  std::lock_guard<std::recursive_mutex> g(lock_);
  if (Entry* e = FindLocked(name)) e->ref.Post(message, wParam, lParam);
}

LRESULT CZovWndManager::SendTo(const char* name, UINT message, WPARAM wParam, LPARAM lParam) {
  ZovQueuedSend queued;
  {
    std::lock_guard<std::recursive_mutex> g(lock_);
    Entry* e = FindLocked(name);
    if (!e) return 0;
    queued = e->ref.QueueSend(message, wParam, lParam);
  }
  return CZovTargetRef::Await(queued);
}

std::unique_ptr<ZovMsgData> CZovWndManager::MakeRecord(const char* name, int code, int size,
                                                       const void* bytes, int delay) {
  if (code == 0 || !Given(name)) return nullptr;
  std::unique_ptr<ZovMsgData> record(new (std::nothrow) ZovMsgData());
  if (!record) return nullptr;
  CopyName(record->target, name);
  record->code = code;
  record->delay = delay;
  record->timeStamp = ZovMsgClockMs();
  if (size > 0 && bytes) {
    record->payload = new (std::nothrow) unsigned char[static_cast<size_t>(size)];
    if (!record->payload) return nullptr;
    std::memcpy(record->payload, bytes, static_cast<size_t>(size));
    record->size = size;
  }
  return record;
}

void CZovWndManager::SendData(const char* name, int code, int size, const void* bytes, int delay) {
  std::unique_ptr<ZovMsgData> record = MakeRecord(name, code, size, bytes, delay);
  if (!record) return;
  ZovQueuedSend queued;
  ZovMsgData* raw = nullptr;
  {
    std::lock_guard<std::recursive_mutex> g(lock_);
    Entry* e = FindLocked(record->target);
    if (!e) return;  // the record and its payload are freed here
    raw = record.release();
    queued = e->ref.QueueSend(ZOVWM_INFO_E, static_cast<WPARAM>(code), reinterpret_cast<LPARAM>(raw));
    if (!queued) {
      // The window went away after it was found.
      delete raw;
      return;
    }
  }
  // The receiver owns the record once its window procedure ran; a target
  // destroyed before that never saw it.
  bool handled = false;
  CZovTargetRef::Await(queued, &handled);
  if (!handled) delete raw;
}

void CZovWndManager::PostDelayed(const char* name, int code, int size, const void* bytes, int delay) {
  std::unique_ptr<ZovMsgData> record = MakeRecord(name, code, size, bytes, delay);
  if (!record) return;
  std::lock_guard<std::recursive_mutex> g(lock_);
  ZovMsgData* raw = record.release();
  raw->next = nullptr;
  if (delayedTail_) delayedTail_->next = raw;
  else delayedHead_ = raw;
  delayedTail_ = raw;
}

int CZovWndManager::ServeDelayed(int64_t nowMs) {
  std::lock_guard<std::recursive_mutex> g(lock_);
  while (delayedHead_) {
    ZovMsgData* r = delayedHead_;
    if (r->delay != kZovNoDelay && nowMs >= r->timeStamp + r->delay - kZovDelayEarlyMs) r->delay = kZovNoDelay;
    if (r->delay != kZovNoDelay) {
      int64_t wait = r->timeStamp + r->delay - kZovDelayEarlyMs - nowMs;
      return wait < 0 ? 0 : static_cast<int>(wait);
    }
    delayedHead_ = r->next;
    if (!delayedHead_) delayedTail_ = nullptr;
    r->next = nullptr;
    Entry* e = FindLocked(r->target);
    // A record whose window goes away before the posted message is handled
    // is freed with the dropped message.
    if (!e || !e->ref.PostOwned(ZOVWM_INFO_E, static_cast<WPARAM>(r->code), reinterpret_cast<LPARAM>(r),
                                [](LPARAM l) { delete reinterpret_cast<ZovMsgData*>(l); })) {
      delete r;
    }
  }
  return -1;
}

int CZovWndManager::DelayedCount() {
  std::lock_guard<std::recursive_mutex> g(lock_);
  int n = 0;
  for (ZovMsgData* r = delayedHead_; r; r = r->next) ++n;
  return n;
}

int CZovWndManager::EntryCount() {
  std::lock_guard<std::recursive_mutex> g(lock_);
  return static_cast<int>(entries_.size());
}
