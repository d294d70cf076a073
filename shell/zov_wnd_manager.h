#pragma once
// Named-window directory. Each important window registers under its class
// name; any part of the program (any thread) reaches it by name: it posts or
// sends a window message to it, or sends a code with a copied payload as
// ZOVWM_INFO_E (wParam = code, lParam = ZovMsgData*, owned by the receiver).
// The directory also keeps a queue of delayed records, served by
// CZovMainThread (shell/zov_main_thread.h).
//
// Locking: one directory lock guards the entries and the delayed queue. It is
// held for look-ups and for queueing a delivery, never across a synchronous
// send: SendData and SendTo queue the message to the target's thread under
// the lock (which fixes the order of deliveries to one target) and wait for
// the handler after releasing it. So a worker sending to the user-interface
// thread and that thread's own sends cannot deadlock.
#include <atomic>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "platform/zov_messages.h"
#include "platform/zov_wnd.h"

// Bytes of a window name field, terminator included (names of at most 31
// characters; longer ones are cut to fit).
inline constexpr int kZovWndNameBytes = 32;
// Delay value that means "deliver now".
inline constexpr int32_t kZovNoDelay = -1;
// A delayed record is due this many milliseconds before its time.
inline constexpr int kZovDelayEarlyMs = 5;

// The record that travels with ZOVWM_INFO_E. Made by the sender; the receiver
// owns it and deletes it (which frees the payload) before returning, for
// every code, handled or not.
//
// Sending: SendValue(name, code, value) copies one plain value (an int32_t,
// a struct, a std::array); SendText(name, code, text) copies UTF-16 text;
// SendBytes(name, code, bytes) copies raw bytes; SendData(name, code) sends a
// record without payload. Receiving:
//   std::unique_ptr<ZovMsgData> record = ZovTakeMsgData(lParam);
//   int32_t index = record ? record->ValueOr<int32_t>(0) : 0;
struct ZovMsgData {
  ZovMsgData() { ++LiveCount(); }
  ~ZovMsgData() { --LiveCount(); }
  // Records alive in the process (made and not yet freed), for leak checks.
  static std::atomic<int>& LiveCount() {
    static std::atomic<int> live{0};
    return live;
  }
  ZovMsgData(const ZovMsgData&) = delete;
  ZovMsgData& operator=(const ZovMsgData&) = delete;

  // Copies the first sizeof(T) payload bytes into *out; false (and *out
  // untouched) when the payload is shorter.
  template <class T>
  bool Read(T* out) const {
    static_assert(std::is_trivially_copyable_v<T>, "payloads are plain bytes");
    if (!out || payload.size() < sizeof(T)) return false;
    std::memcpy(out, payload.data(), sizeof(T));
    return true;
  }
  // The first value of the payload, or `fallback` when it is shorter.
  template <class T>
  T ValueOr(T fallback) const {
    Read(&fallback);
    return fallback;
  }
  // The payload as whole values of T (a trailing partial value is dropped).
  template <class T>
  std::vector<T> Values() const {
    static_assert(std::is_trivially_copyable_v<T>, "payloads are plain bytes");
    std::vector<T> out(payload.size() / sizeof(T));
    if (!out.empty()) std::memcpy(out.data(), payload.data(), out.size() * sizeof(T));
    return out;
  }
  // The payload as UTF-16 text (up to its first NUL, if any).
  std::u16string Text16() const {
    std::u16string text;
    for (char16_t c : Values<char16_t>()) {
      if (c == 0) break;
      text.push_back(c);
    }
    return text;
  }

  char target[kZovWndNameBytes] = {};  // target window's name
  int32_t code = 0;                    // also the message's wParam
  int64_t timeStamp = 0;               // ZovMsgClockMs() when made
  int32_t delay = kZovNoDelay;         // ms to wait in the delayed queue
  std::vector<unsigned char> payload;  // private copy of the sender's bytes (may be empty)
};

// Takes ownership of the record of a ZOVWM_INFO_E message (lParam may be 0).
inline std::unique_ptr<ZovMsgData> ZovTakeMsgData(LPARAM lParam) {
  return std::unique_ptr<ZovMsgData>(reinterpret_cast<ZovMsgData*>(lParam));
}

// The clock of the records' time stamps: monotonic milliseconds.
int64_t ZovMsgClockMs();

class CZovWndManager {
 public:
  // The directory (get-or-create; thread-safe).
  static CZovWndManager* GetInstance();
  // The directory or null; creates nothing.
  static CZovWndManager* Peek();
  // Deletes the directory (every entry and every queued record).
  static void DeleteInstance();
  // One pass over the delayed queue of the current directory, if there is
  // one (see ServeDelayed); safe against a concurrent DeleteInstance.
  static int ServeDelayedQueue(int64_t nowMs);

  CZovWndManager() = default;
  ~CZovWndManager();
  CZovWndManager(const CZovWndManager&) = delete;
  CZovWndManager& operator=(const CZovWndManager&) = delete;

  // Adds an entry at the end. A window registers once, when it is created.
  void Register(const char* name, CZovMsgTarget* window);
  // Removes the first entry whose name contains `name`; nothing when none.
  void Unregister(const char* name);
  // The first registered window whose name contains `name`, or null. A null
  // or empty name finds nothing.
  CZovMsgTarget* Find(const char* name);
  // Posts the message to the window found by name; nothing when `message`
  // is 0 or no window is found.
  void PostTo(const char* name, UINT message, WPARAM wParam, LPARAM lParam);
  // Sends the message to the window found by name and returns its result;
  // 0 when none is found.
  LRESULT SendTo(const char* name, UINT message, WPARAM wParam, LPARAM lParam);
  // Sends ZOVWM_INFO_E with a new record (code, a copy of `size` bytes, the
  // delay stored but not applied) to the window found by name and waits for
  // it to be handled. Nothing when `code` is 0 or `name` is missing; the
  // record is freed at once when no window is found.
  void SendData(const char* name, int code, int size = 0, const void* bytes = nullptr,
                int delay = kZovNoDelay);
  // SendData with a copy of `bytes` as the payload.
  void SendBytes(const char* name, int code, std::vector<unsigned char> bytes, int delay = kZovNoDelay);
  // SendData with a copy of one plain value (int32_t, a struct, a std::array).
  template <class T>
  void SendValue(const char* name, int code, const T& value, int delay = kZovNoDelay) {
    static_assert(std::is_trivially_copyable_v<T>, "payloads are plain bytes");
    SendData(name, code, static_cast<int>(sizeof(T)), &value, delay);
  }
  // SendData with UTF-16 text (no terminator) as the payload.
  void SendText(const char* name, int code, std::u16string_view text, int delay = kZovNoDelay) {
    SendData(name, code, static_cast<int>(text.size() * sizeof(char16_t)), text.data(), delay);
  }
  // Puts a record into the delayed queue; it is posted to the window named
  // `name` once `delay` ms have passed (the senders of this program deliver
  // at once, so the queue is normally empty).
  void PostDelayed(const char* name, int code, int size, const void* bytes, int delay);
  // PostDelayed with a copy of one plain value.
  template <class T>
  void PostDelayedValue(const char* name, int code, const T& value, int delay) {
    static_assert(std::is_trivially_copyable_v<T>, "payloads are plain bytes");
    PostDelayed(name, code, static_cast<int>(sizeof(T)), &value, delay);
  }

  // One pass over the delayed queue: posts the due records at its head in
  // queue order (a record waits for the ones before it). Returns the ms until
  // the first waiting record is due, or -1 when the queue is empty.
  int ServeDelayed(int64_t nowMs);
  // Records waiting in the delayed queue.
  int DelayedCount();
  // Registered entries.
  int EntryCount();

 private:
  struct Entry {
    char name[kZovWndNameBytes] = {};
    CZovMsgTarget* window = nullptr;
    CZovTargetRef ref;
  };
  // Makes a record with a copy of `size` bytes; null when `code` is 0 or
  // `name` missing.
  static std::unique_ptr<ZovMsgData> MakeRecord(const char* name, int code, int size,
                                                const void* bytes, int delay);
  // Queues the record to its window and waits for the handler; the record is
  // freed here unless the window procedure took it.
  void Deliver(std::unique_ptr<ZovMsgData> record);
  // Entry whose name contains `name`; caller holds lock_.
  Entry* FindLocked(const char* name);

  // The directory lock; recursive, as a window's handler may call back into
  // the directory on the same thread.
  std::recursive_mutex lock_;
  // Guarded by lock_.
  std::vector<Entry> entries_;
  std::deque<std::unique_ptr<ZovMsgData>> delayed_;
};
