#pragma once
// Named-window directory. Each important window registers under its name
// (platform/zov_window_names.h, compared whole); any part of the program (any
// thread) reaches it by name: it posts or
// sends a window message to it, or sends a code with a copied payload as
// ZOVWM_INFO_E (wParam = code, lParam = ZovMsgData*, owned by the message).
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
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "platform/zov_message_records.h"
#include "platform/zov_messages.h"
#include "platform/zov_window_names.h"
#include "platform/zov_wnd.h"

// Bytes of a window name field, terminator included (names of at most 31
// characters; longer ones are cut to fit).
inline constexpr int kZovWndNameBytes = 32;
// Delay value that means "deliver now".
inline constexpr int32_t kZovNoDelay = -1;
// A delayed record is due this many milliseconds before its time.
inline constexpr int kZovDelayEarlyMs = 5;

// The record that travels with ZOVWM_INFO_E. Made by the sender; owned by
// the message from send to receipt: the receiver's window procedure reads it
// through ZovMsgRecord(lParam) and never frees it; the directory frees it
// once the handler has returned (or the message was dropped undelivered).
//
// Sending: Send<CODE>(name, record) with the code's record type
// (platform/zov_message_records.h); Send<CODE>(name) for a code that
// carries nothing. Receiving:
//   if (auto row = ZovReadRecord<ZOV_CODE_PLAYING_INDEX>(lParam)) Use(row->index);
// SendData/SendBytes put raw bytes on the way, for checks of damaged records.
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

  // The record of code `Code`, read from the payload; nothing when the record
  // was sent under another code or its payload is too short for the type.
  template <int Code>
  std::optional<ZovRecordOf<Code>> Record() const {
    if (code != Code) return std::nullopt;
    return ZovRecordFromBytes<ZovRecordOf<Code>>(payload);
  }

  // Raw views of the payload, for checks of the bytes on the way; handlers
  // read Record<CODE>().
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
  std::u16string Text16() const { return ZovRecordFromBytes<ZovTextRecord>(payload)->text; }

  char target[kZovWndNameBytes] = {};  // target window's name
  int32_t code = 0;                    // also the message's wParam
  int64_t timeStamp = 0;               // ZovMsgClockMs() when made
  int32_t delay = kZovNoDelay;         // ms to wait in the delayed queue
  std::vector<unsigned char> payload;  // private copy of the sender's bytes (may be empty)
};

// The record of a ZOVWM_INFO_E message, borrowed for the handler's run; null
// for lParam 0 (a ZOVWM_INFO_E sent without one). Never freed by the caller.
inline const ZovMsgData* ZovMsgRecord(LPARAM lParam) { return reinterpret_cast<const ZovMsgData*>(lParam); }
// The record of code `Code` of a ZOVWM_INFO_E message's lParam (see
// ZovMsgData::Record); nothing for lParam 0.
template <int Code>
std::optional<ZovRecordOf<Code>> ZovReadRecord(LPARAM lParam) {
  const ZovMsgData* record = ZovMsgRecord(lParam);
  return record ? record->Record<Code>() : std::nullopt;
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
  void Register(ZovWndName name, CZovMsgTarget* window);
  // Removes the first entry named exactly `name`; nothing when none.
  void Unregister(ZovWndName name);
  // The first registered window named exactly `name`, or null. A null or
  // empty name finds nothing.
  CZovMsgTarget* Find(ZovWndName name);
  // Posts the message to the window found by name; nothing when `message`
  // is 0 or no window is found.
  void PostTo(ZovWndName name, UINT message, WPARAM wParam, LPARAM lParam);
  // Sends the message to the window found by name and returns its result;
  // 0 when none is found.
  LRESULT SendTo(ZovWndName name, UINT message, WPARAM wParam, LPARAM lParam);
  // Sends ZOVWM_INFO_E with the record of `Code`, of its own type only, to
  // the window found by name and waits for it to be handled; the record is
  // freed when the handler has returned, or at once when no window is found.
  template <int Code>
  void Send(ZovWndName name, const ZovRecordOf<Code>& record, int delay = kZovNoDelay) {
    SendBytes(name, Code, ZovRecordBytes(record), delay);
  }
  // The same for a code that carries nothing.
  template <int Code>
    requires std::is_same_v<ZovRecordOf<Code>, ZovNoRecord>
  void Send(ZovWndName name, int delay = kZovNoDelay) {
    SendData(name, Code, 0, nullptr, delay);
  }
  // Puts the record of `Code` into the delayed queue (see PostDelayed).
  template <int Code>
  void PostDelayedRecord(ZovWndName name, const ZovRecordOf<Code>& record, int delay) {
    const std::vector<unsigned char> bytes = ZovRecordBytes(record);
    PostDelayed(name, Code, static_cast<int>(bytes.size()), bytes.data(), delay);
  }

  // Sends ZOVWM_INFO_E with a new record of raw bytes (code, a copy of `size`
  // bytes, the delay stored but not applied) to the window found by name and
  // waits for it to be handled. Nothing when `code` is 0 or `name` is
  // missing; the record is freed at once when no window is found.
  void SendData(ZovWndName name, int code, int size = 0, const void* bytes = nullptr,
                int delay = kZovNoDelay);
  // SendData with a copy of `bytes` as the payload.
  void SendBytes(ZovWndName name, int code, std::vector<unsigned char> bytes, int delay = kZovNoDelay);
  // Puts a record into the delayed queue; it is posted to the window named
  // `name` once `delay` ms have passed (the senders of this program deliver
  // at once, so the queue is normally empty).
  void PostDelayed(ZovWndName name, int code, int size, const void* bytes, int delay);
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
  static std::unique_ptr<ZovMsgData> MakeRecord(ZovWndName name, int code, int size,
                                                const void* bytes, int delay);
  // Queues the record to its window, waits for the handler and frees the
  // record.
  void Deliver(std::unique_ptr<ZovMsgData> record);
  // Entry named exactly `name`; caller holds lock_.
  Entry* FindLocked(const char* name);

  // The directory lock; recursive, as a window's handler may call back into
  // the directory on the same thread.
  std::recursive_mutex lock_;
  // Guarded by lock_.
  std::vector<Entry> entries_;
  std::deque<std::unique_ptr<ZovMsgData>> delayed_;
};
