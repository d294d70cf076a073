#pragma once
// The figures of one playing channel, gathered from its workers' counters for
// reports (zovplay --report, tests). Read on any thread without locks: every
// counter is an atomic, so a report taken while the channel plays is a
// consistent-enough snapshot, not an exact one.
#include <cstdint>

class CZovBasePlayer;

struct ZovChannelFigures {
  int64_t presented = 0;  // pictures shown
  // Pictures released without being shown: a seek's flush, a pause, a
  // catching-up channel's late ones, and packets that gave no picture (less
  // those the decoder gave up at the end of input).
  int64_t dropped = 0;
  int64_t late = 0;      // shown, but later than a frame after their time
  int64_t skipped = 0;   // left out undecoded by a catching-up channel
  int64_t yielded = 0;   // of the dropped, left undrawn while the main channel was late
  // Pictures the reader has read, less those passed over on the way to a
  // seek's key frame, and pictures the scheduler holds for their time.
  int64_t reached = 0;
  int64_t held = 0;
  int64_t retimed = 0;   // paced by the stream's step (damaged or reset times)
  int64_t restored = 0;  // of those, pictures an edit list had hidden
  int64_t estimatedDecodeTimes = 0;  // packets that came without a decode time
  int64_t queued = 0;    // pictures still queued
  int64_t seeks = 0;
  // Picture time minus the sound clock at each picture shown with sound.
  int64_t avOffsetCount = 0;
  double avOffsetMeanMs = 0;
  int64_t avOffsetMaxMs = 0;
};

ZovChannelFigures ZovFiguresOf(const CZovBasePlayer& player);
// Pictures of a stream of `total` that were neither shown nor dropped (still
// queued, or lost on the way).
int64_t ZovVanished(int64_t total, const ZovChannelFigures& f);
// The same for a channel stopped or still playing anywhere in the recording
// (after seeks, before its end): of the pictures reached, those neither
// shown, dropped, skipped, queued nor held.
int64_t ZovVanishedSoFar(const ZovChannelFigures& f);
