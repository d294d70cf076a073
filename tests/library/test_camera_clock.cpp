// The camera's clock: the correction stored with the library, the local
// time's instant in the camera's zone, and the GPS time shown beside a clock
// that is still wrong.
#include <gtest/gtest.h>

#include "library/zov_camera_clock.h"
#include "library/zov_library_index.h"
#include "library/zov_library_model.h"
#include "tests/common/test_paths.h"

namespace {

TEST(CameraClock, LocalTimesNameTheirInstantInTheCamerasZone) {
  const ZovCameraClock berlin{"Europe/Berlin", 0};
  const struct {
    int64_t shown;
    int64_t utc;
  } cases[] = {
      {ZovCameraTime(2024, 1, 15, 12, 0, 0), ZovCameraTime(2024, 1, 15, 11, 0, 0)},  // winter: +1 h
      {ZovCameraTime(2024, 7, 15, 12, 0, 0), ZovCameraTime(2024, 7, 15, 10, 0, 0)},  // summer: +2 h
  };
  for (const auto& c : cases) EXPECT_EQ(ZovShownTimeToUtc(c.shown, berlin), c.utc);
  EXPECT_EQ(ZovShownTime(kZovNoTime, {"", 3600}), kZovNoTime);
  EXPECT_EQ(ZovShownTime(1000, {"", -3600}), 1000 - 3600);

  // A summer camera whose clock stayed on winter time, seen against its GPS.
  const int64_t written = ZovCameraTime(2024, 7, 15, 11, 0, 0);
  const int64_t gps = ZovCameraTime(2024, 7, 15, 10, 0, 1);
  EXPECT_EQ(ZovClockText(ZovShownTime(written, berlin), gps, berlin), "11:00:00 (GPS 10:00:01 UTC)");
  const ZovCameraClock mended{"Europe/Berlin", 3600};
  EXPECT_EQ(ZovClockText(ZovShownTime(written, mended), gps, mended), "12:00:00");  // within 2 s
  EXPECT_EQ(ZovClockText(ZovShownTime(written, mended), 0, mended), "12:00:00");   // no GPS time
}

TEST(CameraClock, StoredWithTheIndexAndShownInTheListRows) {
  const std::string db = zovtest::TempDir() + "/clock/library.sqlite";
  EXPECT_EQ(ZovReadCameraClock(db), ZovCameraClock{});  // no index yet
  std::string why;
  EXPECT_FALSE(ZovWriteCameraClock(db, {"Mars/Olympus", 0}, &why));
  EXPECT_FALSE(why.empty());
  EXPECT_FALSE(ZovWriteCameraClock(db, {"", kZovMaxCameraOffset + 1}, &why));
  ASSERT_TRUE(ZovWriteCameraClock(db, {"Asia/Tokyo", -125}, &why)) << why;
  EXPECT_EQ(ZovReadCameraClock(db), (ZovCameraClock{"Asia/Tokyo", -125}));

  // The GPS nudge: kept with the clock, refused past 5 s or between steps.
  for (const int bad : {kZovMaxGpsNudgeMs + kZovGpsNudgeStepMs, -kZovMaxGpsNudgeMs - 500, 1250}) {
    EXPECT_FALSE(ZovWriteCameraClock(db, {"", 0, bad}, &why)) << bad;
  }
  EXPECT_EQ(ZovReadCameraClock(db), (ZovCameraClock{"Asia/Tokyo", -125}));  // refused: unchanged
  ASSERT_TRUE(ZovWriteCameraClock(db, {"Asia/Tokyo", -125, -1500}, &why)) << why;
  const ZovCameraClock nudged = ZovReadCameraClock(db);
  EXPECT_EQ(nudged.gpsNudgeMs, -1500);
  EXPECT_EQ(ZovTrackTimeAt(10000, nudged), 11500);  // the fix written 1.5 s after the picture
  ASSERT_TRUE(ZovWriteCameraClock(db, {"Asia/Tokyo", -125}, &why)) << why;

  ZovLibrary lib;
  lib.recordings.resize(1);
  lib.recordings[0].path = "/c/a_F.mp4";
  ZovDrive d;
  d.start = ZovCameraTime(2024, 5, 17, 0, 1, 0);
  d.end = ZovCameraTime(2024, 5, 17, 0, 2, 0);
  d.moments.resize(1);
  d.moments[0].start = d.start;
  d.moments[0].channels = {{"front", 0}};
  lib.drives = {d};
  const auto rows = ZovLibraryListRows(lib, ZovReadCameraClock(db));
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].text.substr(0, 23), "2024-05-16  23:58-23:59");  // back over midnight
  EXPECT_EQ(rows[1].text.substr(0, 8), "23:58:55");
}

}  // namespace
