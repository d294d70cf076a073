#include "shell/zov_wnd_manager.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <utility>

namespace {

// Guards creation and deletion of the directory object itself, and the
// delayed-queue pass of the main thread against that deletion.
std::mutex g_managerLife;
// The directory; owned here, guarded by g_managerLife. A plain pointer, not
// an owner with a static destructor: a process that ends through exit()
// without its shutdown list (the close button) must not free the directory
// under the main thread's delivery pass, which may still be running then.
CZovWndManager* g_owner = nullptr;
// The same pointer for lock-free look-ups.
std::atomic<CZovWndManager*> g_manager{nullptr};

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
    g_owner = new CZovWndManager();
    m = g_owner;
    g_manager.store(m, std::memory_order_release);
  }
  return m;
}

CZovWndManager* CZovWndManager::Peek() { return g_manager.load(std::memory_order_acquire); }

void CZovWndManager::DeleteInstance() {
  std::lock_guard<std::mutex> g(g_managerLife);
  g_manager.store(nullptr, std::memory_order_release);
  delete g_owner;
  g_owner = nullptr;
}

int CZovWndManager::ServeDelayedQueue(int64_t nowMs) {
  std::lock_guard<std::mutex> g(g_managerLife);
  CZovWndManager* m = g_manager.load(std::memory_order_acquire);
  return m ? m->ServeDelayed(nowMs) : -1;
}

CZovWndManager::~CZovWndManager() {
  std::lock_guard<std::recursive_mutex> g(lock_);
  entries_.clear();
  delayed_.clear();
}

void CZovWndManager::Register(ZovWndName name, CZovMsgTarget* window) {
  if (!window) return;
  Entry e;
  CopyName(e.name, name.c_str());
  e.window = window;
  e.ref = window->Ref();
  std::lock_guard<std::recursive_mutex> g(lock_);
  entries_.push_back(e);
}

CZovWndManager::Entry* CZovWndManager::FindLocked(const char* name) {
  if (!Given(name)) return nullptr;
  for (Entry& e : entries_) {
    if (std::strcmp(e.name, name) == 0) return &e;
  }
  return nullptr;
}

void CZovWndManager::Unregister(ZovWndName name) {
  std::lock_guard<std::recursive_mutex> g(lock_);
  if (Entry* e = FindLocked(name.c_str())) entries_.erase(entries_.begin() + (e - entries_.data()));
}

CZovMsgTarget* CZovWndManager::Find(ZovWndName name) {
  std::lock_guard<std::recursive_mutex> g(lock_);
  Entry* e = FindLocked(name.c_str());
  return e ? e->window : nullptr;
}

void CZovWndManager::PostTo(ZovWndName name, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == 0) return;
  std::lock_guard<std::recursive_mutex> g(lock_);
  if (Entry* e = FindLocked(name.c_str())) e->ref.Post(message, wParam, lParam);
}

LRESULT CZovWndManager::SendTo(ZovWndName name, UINT message, WPARAM wParam, LPARAM lParam) {
  ZovQueuedSend queued;
  {
    std::lock_guard<std::recursive_mutex> g(lock_);
    Entry* e = FindLocked(name.c_str());
    if (!e) return 0;
    queued = e->ref.QueueSend(message, wParam, lParam);
  }
  return CZovTargetRef::Await(queued);
}

std::unique_ptr<ZovMsgData> CZovWndManager::MakeRecord(ZovWndName name, int code, int size,
                                                       const void* bytes, int delay) {
  if (code == 0 || !Given(name.c_str())) return nullptr;
  auto record = std::make_unique<ZovMsgData>();
  CopyName(record->target, name.c_str());
  record->code = code;
  record->delay = delay;
  record->timeStamp = ZovMsgClockMs();
  if (size > 0 && bytes) {
    const auto* first = static_cast<const unsigned char*>(bytes);
    record->payload.assign(first, first + size);
  }
  return record;
}

void CZovWndManager::SendData(ZovWndName name, int code, int size, const void* bytes, int delay) {
  Deliver(MakeRecord(name, code, size, bytes, delay));
}

void CZovWndManager::SendBytes(ZovWndName name, int code, std::vector<unsigned char> bytes, int delay) {
  std::unique_ptr<ZovMsgData> record = MakeRecord(name, code, 0, nullptr, delay);
  if (!record) return;
  record->payload = std::move(bytes);
  Deliver(std::move(record));
}

void CZovWndManager::Deliver(std::unique_ptr<ZovMsgData> record) {
  if (!record) return;
  const WPARAM code = static_cast<WPARAM>(record->code);
  ZovQueuedSend queued;
  {
    std::lock_guard<std::recursive_mutex> g(lock_);
    Entry* e = FindLocked(record->target);
    if (!e) return;  // the record and its payload are freed here
    queued = e->ref.QueueSend(ZOVWM_INFO_E, code, reinterpret_cast<LPARAM>(record.get()));
    // Not queued: the window went away after it was found.
    if (!queued) return;
  }
  // The handler has returned (or the target went first and never will run
  // it): the record is freed here either way.
  CZovTargetRef::Await(queued);
}

void CZovWndManager::PostDelayed(ZovWndName name, int code, int size, const void* bytes, int delay) {
  std::unique_ptr<ZovMsgData> record = MakeRecord(name, code, size, bytes, delay);
  if (!record) return;
  std::lock_guard<std::recursive_mutex> g(lock_);
  delayed_.push_back(std::move(record));
}

int CZovWndManager::ServeDelayed(int64_t nowMs) {
  std::lock_guard<std::recursive_mutex> g(lock_);
  while (!delayed_.empty()) {
    ZovMsgData& r = *delayed_.front();
    if (r.delay != kZovNoDelay && nowMs >= r.timeStamp + r.delay - kZovDelayEarlyMs) r.delay = kZovNoDelay;
    if (r.delay != kZovNoDelay) {
      int64_t wait = r.timeStamp + r.delay - kZovDelayEarlyMs - nowMs;
      return wait < 0 ? 0 : static_cast<int>(wait);
    }
    std::unique_ptr<ZovMsgData> record = std::move(delayed_.front());
    delayed_.pop_front();
    Entry* e = FindLocked(record->target);
    // The posted message owns the record: it is freed once the message has
    // been handled, or dropped with it when its window goes away first.
    if (e && e->ref.PostOwned(ZOVWM_INFO_E, static_cast<WPARAM>(record->code),
                              reinterpret_cast<LPARAM>(record.get()),
                              [](LPARAM l) { delete reinterpret_cast<ZovMsgData*>(l); })) {
      (void)record.release();
    }
  }
  return -1;
}

int CZovWndManager::DelayedCount() {
  std::lock_guard<std::recursive_mutex> g(lock_);
  return static_cast<int>(delayed_.size());
}

int CZovWndManager::EntryCount() {
  std::lock_guard<std::recursive_mutex> g(lock_);
  return static_cast<int>(entries_.size());
}
