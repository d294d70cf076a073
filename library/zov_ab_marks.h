#pragma once
// A–B marks on the playing drive: two drive positions (ms from the drive's
// start) that bound the range an export writes. Setting B before A swaps
// them, so A is always the earlier mark. Without both marks the export
// takes kZovExportAround before and after the position, inside the drive.
#include <cstdint>

inline constexpr int64_t kZovNoMark = -1;
inline constexpr int64_t kZovExportAroundMs = 30000;

struct ZovAbMarks {
  int64_t a = kZovNoMark;
  int64_t b = kZovNoMark;
  bool Complete() const { return a != kZovNoMark && b != kZovNoMark; }
  bool operator==(const ZovAbMarks&) const = default;
};

// The marks after setting A (or B) at `position`; a mark past the other swaps.
ZovAbMarks ZovSetMarkA(ZovAbMarks marks, int64_t position);
ZovAbMarks ZovSetMarkB(ZovAbMarks marks, int64_t position);

struct ZovExportRange {
  int64_t begin = 0;  // ms from the drive's start
  int64_t end = 0;
  bool fromMarks = false;  // false: the span around the position
};

// The range an export writes: the marks when both are set, otherwise
// kZovExportAroundMs either side of `position`; clipped to [0, driveLength].
ZovExportRange ZovExportRangeOf(const ZovAbMarks& marks, int64_t position, int64_t driveLength);
