#pragma once
// A drive as the engine plays it and what it reports of one: shared by the
// media-play manager and the windows' interface (zov_engine.h).
#include <array>
#include <cstdint>
#include <string>
#include <vector>

// One moment of a drive as the engine plays it: its channels' paths (at
// most three, the main channel first) and its length on the drive clock.
struct ZovDriveMoment {
  std::vector<std::string> paths;
  int64_t lengthMs = 0;
};

// What a drive played, across its moments: each channel's pictures (by
// channel number), the largest wall time between the last picture of a
// moment and the first of the next on the main channel, and the largest
// distance between a following channel's picture and the main channel's
// media time when it was shown (past the first second of each moment).
struct ZovDriveFigures {
  struct Channel {
    int64_t presented = 0;
    int64_t dropped = 0;
    int64_t skipped = 0;
  };
  std::array<Channel, 3> channels{};
  int64_t changes = 0;         // moment changes measured
  int64_t largestGapMs = 0;
  int64_t largestOffsetMs = 0;
  int64_t offsetsMeasured = 0;
  int64_t offsetSumMs = 0;     // of the offsets measured (their sizes)
  int64_t momentsPlayed = 0;   // moments whose main channel opened
  int64_t momentsSkipped = 0;  // moments stepped over (main channel unplayable)
};
