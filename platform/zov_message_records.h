#pragma once
// The records that ZOVWM_INFO_E codes carry, and the compile-time link from a
// code to its record type: ZovMessageRecord<CODE>::type. The window
// directory's typed send (CZovWndManager::Send<CODE>) only compiles with that
// type, and a receiver reads it back with ZovMsgData::Record<CODE>(), which
// gives nothing when the record is shorter than its type or was sent under
// another code. A code without a record type here cannot be sent typed.
//
// On the way a record is plain bytes (a copy of a trivially copyable value,
// or UTF-16 text), so a short or damaged payload is refused on reading, never
// read past.
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/zov_messages.h"

// A code that carries nothing.
struct ZovNoRecord {};
// A list index: the current file's row (code ZOV_CODE_PLAYING_INDEX).
struct ZovIndexRecord {
  int32_t index = 0;
};
// A choice of a setup list (map, decode mode): its index; receivers act on
// the low byte.
struct ZovChoiceRecord {
  int32_t index = 0;
};
// An on/off option: the first byte.
struct ZovFlagRecord {
  uint8_t on = 0;
};
// The clicked video pane's control id.
struct ZovPaneRecord {
  int32_t controlId = 0;
};
// Download progress: bytes received and expected.
struct ZovProgressRecord {
  uint32_t done = 0;
  uint32_t total = 0;
};
// UTF-16 text without terminator (the playing file's path).
struct ZovTextRecord {
  std::u16string text;
};
// The GPS tick of a new playback second: six float32 in this order. The map
// panel acts only on mode 1.
struct ZovTickPayload {
  float mode = 0;
  float second = 0;
  float latitude = 0;   // signed degrees
  float longitude = 0;  // signed degrees
  float speed = 0;      // knots
  float heading = 0;    // degrees
};
static_assert(sizeof(ZovTickPayload) == 24, "the tick payload is six float32");
// Two positions to move between: float32 latitude 1, longitude 1, latitude 2,
// longitude 2, one value not used, heading.
struct ZovMoveTwoRecord {
  float latitude1 = 0, longitude1 = 0, latitude2 = 0, longitude2 = 0, unused = 0, heading = 0;
};
static_assert(sizeof(ZovMoveTwoRecord) == 24, "the two-position payload is six float32");

// A time on the playing drive's clock, ms from its first picture.
struct ZovDriveTimeRecord {
  int64_t ms = 0;
};

// The A-B marks on the drive clock (-1: not set).
struct ZovDriveMarksRecord {
  int64_t a = -1;
  int64_t b = -1;
};

// A mark to set at a drive time, or both marks cleared.
enum class ZovMarkAction : int32_t { kSetA, kSetB, kClear };
struct ZovDriveMarkRecord {
  int64_t ms = 0;
  ZovMarkAction action = ZovMarkAction::kSetA;
};

// The record type of each code. Left undefined for a number that is no code.
template <int Code>
struct ZovMessageRecord;

#define ZOV_MESSAGE_RECORD(CODE, TYPE) \
  template <>                          \
  struct ZovMessageRecord<CODE> {      \
    using type = TYPE;                 \
  }
ZOV_MESSAGE_RECORD(ZOV_CODE_LANGUAGE, ZovNoRecord);
ZOV_MESSAGE_RECORD(ZOV_CODE_MAP, ZovChoiceRecord);
ZOV_MESSAGE_RECORD(ZOV_CODE_CREATE_BROWSER, ZovNoRecord);
ZOV_MESSAGE_RECORD(ZOV_CODE_GPS_TICK, ZovTickPayload);
ZOV_MESSAGE_RECORD(ZOV_CODE_DRAW_TRACK, ZovNoRecord);
ZOV_MESSAGE_RECORD(ZOV_CODE_PLAYING_TITLE, ZovTextRecord);
ZOV_MESSAGE_RECORD(ZOV_CODE_PLAYING_INDEX, ZovIndexRecord);
ZOV_MESSAGE_RECORD(ZOV_CODE_PAUSED, ZovNoRecord);
ZOV_MESSAGE_RECORD(ZOV_CODE_DOWNLOAD, ZovProgressRecord);
ZOV_MESSAGE_RECORD(ZOV_CODE_UPDATE, ZovNoRecord);
ZOV_MESSAGE_RECORD(ZOV_CODE_STOPPED, ZovNoRecord);
ZOV_MESSAGE_RECORD(ZOV_CODE_UNIT, ZovNoRecord);
ZOV_MESSAGE_RECORD(ZOV_CODE_TRACK, ZovFlagRecord);
ZOV_MESSAGE_RECORD(ZOV_CODE_PLAY_CURRENT, ZovNoRecord);
ZOV_MESSAGE_RECORD(ZOV_CODE_SHOT_FOLDER, ZovNoRecord);
ZOV_MESSAGE_RECORD(ZOV_CODE_ALL_TRACKS, ZovNoRecord);
ZOV_MESSAGE_RECORD(ZOV_CODE_DECODE_MODE, ZovChoiceRecord);
ZOV_MESSAGE_RECORD(ZOV_CODE_MOVE_TWO, ZovMoveTwoRecord);
ZOV_MESSAGE_RECORD(ZOV_CODE_PANE_DBLCLICK, ZovPaneRecord);
ZOV_MESSAGE_RECORD(ZOV_CODE_CLOSE_FILEINFO, ZovNoRecord);
ZOV_MESSAGE_RECORD(ZOV_CODE_DRIVE, ZovNoRecord);
ZOV_MESSAGE_RECORD(ZOV_CODE_DRIVE_POSITION, ZovDriveTimeRecord);
ZOV_MESSAGE_RECORD(ZOV_CODE_SEEK_DRIVE, ZovDriveTimeRecord);
ZOV_MESSAGE_RECORD(ZOV_CODE_DRIVE_MARKS, ZovDriveMarksRecord);
ZOV_MESSAGE_RECORD(ZOV_CODE_SET_MARK, ZovDriveMarkRecord);
ZOV_MESSAGE_RECORD(ZOV_CODE_REPLAY_MOMENT, ZovNoRecord);
#undef ZOV_MESSAGE_RECORD

template <int Code>
using ZovRecordOf = typename ZovMessageRecord<Code>::type;

// A record's bytes on the way.
inline std::vector<unsigned char> ZovRecordBytes(const ZovNoRecord&) { return {}; }
inline std::vector<unsigned char> ZovRecordBytes(const ZovTextRecord& record) {
  const auto* first = reinterpret_cast<const unsigned char*>(record.text.data());
  return std::vector<unsigned char>(first, first + record.text.size() * sizeof(char16_t));
}
template <class T>
std::vector<unsigned char> ZovRecordBytes(const T& record) {
  static_assert(std::is_trivially_copyable_v<T>, "records are plain bytes on the way");
  const auto* first = reinterpret_cast<const unsigned char*>(&record);
  return std::vector<unsigned char>(first, first + sizeof(T));
}

// A record read back from its bytes; nothing when they are too short for it.
// Text ends at the last whole unit or at its first NUL.
template <class T>
std::optional<T> ZovRecordFromBytes(const std::vector<unsigned char>& bytes) {
  if constexpr (std::is_same_v<T, ZovNoRecord>) {
    return T{};
  } else if constexpr (std::is_same_v<T, ZovTextRecord>) {
    T record;
    for (size_t at = 0; at + sizeof(char16_t) <= bytes.size(); at += sizeof(char16_t)) {
      char16_t unit;
      std::memcpy(&unit, bytes.data() + at, sizeof unit);
      if (unit == 0) break;
      record.text.push_back(unit);
    }
    return record;
  } else {
    static_assert(std::is_trivially_copyable_v<T>, "records are plain bytes on the way");
    if (bytes.size() < sizeof(T)) return std::nullopt;
    T record;
    std::memcpy(&record, bytes.data(), sizeof(T));
    return record;
  }
}
