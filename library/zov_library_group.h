#pragma once
// Grouping: recordings -> moments -> drives. Pure: works on the records it
// is given, opens nothing.
//
// - A moment: playable recordings of one camera whose starts lie within
//   kZovMomentSpan of the first of them (one recording per channel and
//   variant; where several cameras recorded at once, each recording goes
//   with the files nearest to it). Recordings whose name told their channel keep it;
//   those whose name said nothing (the fallback) take the free channels in
//   the order front, rear, interior, left, right, extra, the largest picture
//   first. The moment's mode is the most telling mode of its channels.
// - A drive: moments one after the other, each starting at most the gap
//   setting after the end of the one before.
// - Unplayable recordings are listed apart, with their reasons.
#include <cstdint>

#include "library/zov_library_types.h"

// Cameras start the channels of one instant within a second or two of each
// other (a rear channel may start a second late); a camera's next clip of a
// channel comes a whole clip length later.
inline constexpr int64_t kZovMomentSpan = 3;
// Default longest pause inside one drive (a stop at lights or a crossing),
// the index's setting that changes it, and the longest accepted (a day).
inline constexpr int kZovDefaultDriveGap = 120;
inline constexpr const char* kZovDriveGapSetting = "drive_gap_seconds";
inline constexpr int kZovMaxDriveGap = 86400;

// Fills library.drives and library.unplayable from library.recordings.
void ZovGroupLibrary(ZovLibrary& library, int driveGapSeconds = kZovDefaultDriveGap);
