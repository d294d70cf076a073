#pragma once
// Sound played faster or slower at its own pitch: decoded sound frames go
// through libavfilter's atempo (one filter takes factors 0.5 to 2; 0.25 is
// two of them in a chain). Used by the main channel's scheduler (its worker
// thread only) when the playback speed is not 1.
#include <cstdint>
#include <string>
#include <vector>

#include "engine/zov_ffmpeg.h"

struct AVFilterGraph;
struct AVFilterContext;

class CZovTempoFilter {
 public:
  CZovTempoFilter() = default;
  ~CZovTempoFilter();
  CZovTempoFilter(const CZovTempoFilter&) = delete;
  CZovTempoFilter& operator=(const CZovTempoFilter&) = delete;

  // The filter description for a speed in percent ("atempo=1.5",
  // "atempo=0.5,atempo=0.5" for 25); empty for 100.
  static std::string ChainFor(int32_t percent);
  // Filters one frame at `percent`, (re)building the chain when the speed or
  // the frame's format, rate or channels changed. Returns the frames the
  // chain gives out (none while it gathers enough input); empty on an error.
  std::vector<AVFrameUPtr> Filter(const AVFrame* frame, int32_t percent);
  // Forgets the sound held inside the chain (a seek, a pause).
  void Reset();

 private:
  bool Configure(const AVFrame* like, int32_t percent);
  bool Matches(const AVFrame* frame, int32_t percent) const;

  AVFilterGraph* graph_ = nullptr;
  AVFilterContext* source_ = nullptr;
  AVFilterContext* sink_ = nullptr;
  int32_t percent_ = 100;
  int format_ = -1;
  int sampleRate_ = 0;
  int channels_ = 0;
};
