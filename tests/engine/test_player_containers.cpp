// Every container the cameras and converters write plays all its pictures at
// their own pace: Matroska, WebM, MOV and MP4, with and without sound, with
// and without reordered pictures. Matroska and WebM store presentation times
// only, so their first reordered packets come without a decode time; taking
// the presentation time for it made the stream's times step backwards, and
// the recording then lost most of its pictures or played at half speed.
// The clips play side by side, each on its own manager, to keep the test
// short (2 s each).
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "engine/zov_media_play.h"
#include "engine/zov_report.h"
#include "tests/common/test_paths.h"
#include "tests/common/test_wait.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int64_t kPictures = 50;  // 2 s at 25 fps
constexpr double kSeconds = 2.0;

struct Case {
  const char* clip;
  bool sound;
  bool decodeTimesMissing;  // the container leaves some packets without one
};

const Case kCases[] = {
    {"cont_mkv_b_snd.mkv", true, true},        {"cont_mkv_b_mute.mkv", false, true},
    {"cont_mkv_nob_snd.mkv", true, false},     {"cont_mkv_nob_mute.mkv", false, false},
    {"cont_mkvhevc_b_snd.mkv", true, true},    {"cont_webm_b_snd.webm", true, false},
    {"cont_webm_b_mute.webm", false, false},   {"cont_webm_nob_snd.webm", true, false},
    {"cont_webm_nob_mute.webm", false, false}, {"cont_mov_b_snd.mov", true, false},
    {"cont_mov_b_mute.mov", false, false},     {"cont_mov_nob_snd.mov", true, false},
    {"cont_mov_nob_mute.mov", false, false},   {"cont_mp4_b_snd.mp4", true, false},
    {"cont_mp4_b_mute.mp4", false, false},     {"cont_mp4_nob_snd.mp4", true, false},
    {"cont_mp4_nob_mute.mp4", false, false},
};

TEST(ContainerTable, EveryPictureIsShownAtItsOwnPace) {
  setenv("ZOV_AUDIO_DEVICE", "null", 1);
  struct Run {
    std::unique_ptr<CZovMediaPlay> play;
    double endedAfter = -1;
    ZovChannelFigures figures;
  };
  std::vector<Run> runs;
  const auto start = Clock::now();
  for (const Case& c : kCases) {
    Run r;
    r.play = std::make_unique<CZovMediaPlay>();
    r.play->startSettleMs = 0;
    ASSERT_EQ(r.play->Open(zovtest::Fixture(c.clip).c_str()), 0) << c.clip;
    r.play->StartAll();
    runs.push_back(std::move(r));
  }
  auto seconds = [&] { return std::chrono::duration<double>(Clock::now() - start).count(); };
  zovtest::WaitUntil(
      [&] {
        bool all = true;
        for (Run& r : runs) {
          if (r.endedAfter >= 0) continue;
          if (r.play->GetState() == 0) {
            r.endedAfter = seconds();
            r.figures = ZovFiguresOf(*r.play->players[0]);
          } else {
            all = false;
          }
        }
        return all;
      },
      15000);
  for (size_t i = 0; i < runs.size(); ++i) {
    const Case& c = kCases[i];
    const Run& r = runs[i];
    const ZovChannelFigures& f = r.figures;
    ASSERT_GE(r.endedAfter, 0) << c.clip << " never ended";
    EXPECT_GE(r.endedAfter, kSeconds - 0.6) << c.clip << " played too fast";
    EXPECT_LE(r.endedAfter, kSeconds + 4) << c.clip << " played too slowly";
    // Sound ends the recording when it runs out; a picture after its last
    // frame may go unshown, never more.
    EXPECT_GE(f.presented, c.sound ? kPictures - 2 : kPictures) << c.clip;
    EXPECT_LE(f.presented, kPictures) << c.clip;
    EXPECT_LE(ZovVanished(kPictures, f), c.sound ? 2 : 0) << c.clip << ": " << f.queued << " still queued";
    EXPECT_EQ(f.dropped, 0) << c.clip;
    EXPECT_EQ(f.retimed, 0) << c.clip << ": a healthy recording's times need no mending";
    if (c.decodeTimesMissing)
      EXPECT_GT(f.estimatedDecodeTimes, 0) << c.clip;
    else
      EXPECT_EQ(f.estimatedDecodeTimes, 0) << c.clip;
    r.play->StopAll();
  }
}

}  // namespace
