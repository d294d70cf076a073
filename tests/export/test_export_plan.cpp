// The export's plan (range clipping, pieces per channel, refusals, file
// names), the camera-time parsing of the tool, and the overlay's texts.
#include <gtest/gtest.h>

#include "export/zov_export.h"
#include "export/zov_export_steps.h"
#include "export/zov_overlay_draw.h"

namespace {

const int64_t k0800 = ZovCameraTime(2024, 5, 17, 8, 0, 0);

// A drive of `moments` consecutive 60 s moments at 08:00, 08:01 ... each
// with a front and a rear recording; `broken` names a moment whose rear
// does not play.
ZovLibrary Drive(int moments, int broken = -1) {
  ZovLibrary lib;
  ZovDrive drive;
  drive.start = k0800;
  for (int m = 0; m < moments; ++m) {
    ZovMoment moment;
    moment.start = k0800 + 60 * m;
    moment.seconds = 60;
    // The rear listed first: the plan must still put the front first.
    for (const char* key : {"rear", "front"}) {
      ZovRecording r;
      r.path = "/card/" + std::to_string(m) + key + ".mp4";
      r.facts.playable = !(m == broken && std::string(key) == "rear");
      r.facts.reason = r.facts.playable ? "" : "cut short: no index";
      r.facts.seconds = 60;
      moment.channels.emplace_back(key, lib.recordings.size());
      lib.recordings.push_back(r);
    }
    drive.moments.push_back(moment);
  }
  drive.end = k0800 + 60 * moments;
  lib.drives.push_back(drive);
  return lib;
}

struct PlanCase {
  const char* name;
  double from, to;  // seconds after 08:00
  int broken;
  const char* error;   // part of the error; "" none
  bool clipped;
  std::vector<std::pair<double, double>> frontPieces;  // begin, end in each recording
  const char* stem;
};

TEST(ExportPlan, RangesPiecesAndRefusals) {
  const std::vector<PlanCase> cases = {
      {"inside one moment", 12, 42.5, -1, "", false, {{12, 42.5}}, "2024-05-17_080012-080043"},
      {"across the join", 50, 70, -1, "", false, {{50, 60}, {0, 10}}, "2024-05-17_080050-080110"},
      {"three moments", 30, 150, -1, "", false, {{30, 60}, {0, 60}, {0, 30}}, "2024-05-17_080030-080230"},
      {"before the drive: clipped", -30, 20, -1, "", true, {{0, 20}}, "2024-05-17_080000-080020"},
      {"after the drive: clipped", 170, 400, -1, "", true, {{50, 60}}, "2024-05-17_080250-080300"},
      {"wholly before", -90, -10, -1, "lies outside the drive", false, {}, ""},
      {"wholly after", 180, 200, -1, "lies outside the drive", false, {}, ""},
      {"empty", 30, 30, -1, "the range is empty", false, {}, ""},
      {"reversed", 40, 30, -1, "the range is empty", false, {}, ""},
      {"unplayable moment in the range", 50, 70, 1, "cut short: no index", false, {}, ""},
      {"unplayable moment outside the range", 10, 50, 2, "", false, {{10, 50}}, "2024-05-17_080010-080050"},
  };
  for (const PlanCase& c : cases) {
    SCOPED_TRACE(c.name);
    const ZovLibrary lib = Drive(3, c.broken);
    const ZovExportPlan plan = ZovPlanExport(lib, 0, k0800 + c.from, k0800 + c.to);
    if (*c.error) {
      EXPECT_NE(plan.error.find(c.error), std::string::npos) << plan.error;
      EXPECT_TRUE(plan.channels.empty());
      continue;
    }
    ASSERT_EQ(plan.error, "");
    EXPECT_EQ(plan.notices.size(), c.clipped ? 1u : 0u);
    ASSERT_EQ(plan.channels.size(), 2u);
    EXPECT_EQ(plan.channels[0].key, "front");
    EXPECT_EQ(plan.channels[1].key, "rear");
    ASSERT_EQ(plan.channels[0].pieces.size(), c.frontPieces.size());
    for (size_t i = 0; i < c.frontPieces.size(); ++i) {
      const ZovExportPiece& p = plan.channels[0].pieces[i];
      EXPECT_DOUBLE_EQ(p.begin, c.frontPieces[i].first);
      EXPECT_DOUBLE_EQ(p.end, c.frontPieces[i].second);
      EXPECT_EQ(lib.recordings[p.recording].path.find("front"), lib.recordings[p.recording].path.size() - 9);
      EXPECT_EQ(plan.channels[1].pieces[i].momentStart, p.momentStart);
    }
    EXPECT_EQ(plan.stem, c.stem);
  }
}

TEST(ExportPlan, CameraTimesAndDrives) {
  int64_t t = 0;
  EXPECT_TRUE(ZovParseCameraTime("2024-05-17T08:01:30", &t));
  EXPECT_EQ(t, k0800 + 90);
  for (const char* bad : {"2024-05-17 08:01:30", "2024-05-17T08:01", "2024-13-17T08:01:30",
                          "2024-05-17T08:01:30Z", "yesterday", ""})
    EXPECT_FALSE(ZovParseCameraTime(bad, &t)) << bad;
  ZovLibrary lib = Drive(2);
  ZovLibrary second = Drive(1);
  second.drives[0].moments[0].start += 3600;
  for (auto& [key, index] : second.drives[0].moments[0].channels) {
    lib.recordings.push_back(second.recordings[index]);
    index = lib.recordings.size() - 1;
  }
  lib.drives.push_back(second.drives[0]);
  EXPECT_EQ(ZovDriveOfRange(lib, k0800 + 10, k0800 + 20), 0);
  EXPECT_EQ(ZovDriveOfRange(lib, k0800 + 3590, k0800 + 3620), 1);
  EXPECT_EQ(ZovDriveOfRange(lib, k0800 + 200, k0800 + 300), -1);
}

TEST(ExportOverlay, TextsOfTheStrip) {
  ZovOverlayFix fix;
  fix.cameraTime = k0800 + 5;
  fix.latitude = -33.8675;
  fix.longitude = 151.207;
  fix.speedKnots = 27;  // 50.0 km/h, 31.1 mph
  fix.heading = 225;
  const std::vector<ZovOverlayFix> track = {fix};
  struct Case {
    double at;
    ZovSpeedUnit unit;
    bool position;
    const char *speed, *where, *heading;
  } cases[] = {
      {5.5, ZovSpeedUnit::kKmh, true, "50 km/h", "S 33.86750  E 151.20700", "SW 225\xC2\xB0"},
      {6.9, ZovSpeedUnit::kMph, true, "31 mph", "S 33.86750  E 151.20700", "SW 225\xC2\xB0"},
      {5.0, ZovSpeedUnit::kKmh, false, "50 km/h", "", "SW 225\xC2\xB0"},
      {8.0, ZovSpeedUnit::kKmh, true, "", "", ""},  // the fix is too old: a gap in the track
      {4.0, ZovSpeedUnit::kKmh, true, "", "", ""},  // before the first fix
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.at);
    const ZovOverlayText text =
        ZovOverlayTextOf(k0800 + c.at, ZovFixAt(track, k0800 + c.at), "rear", c.unit, c.position);
    EXPECT_EQ(text.time, "2024-05-17 08:00:0" + std::to_string(static_cast<int>(c.at)));
    EXPECT_EQ(text.channel, "REAR");
    EXPECT_EQ(text.speed, c.speed);
    EXPECT_EQ(text.position, c.where);
    EXPECT_EQ(text.heading, c.heading);
  }
}


// The strip's time is the corrected camera time; the GPS time (UTC) follows
// it where the two disagree by more than the clock's tolerance.
TEST(ExportOverlay, GpsTimeBesideADisagreeingClock) {
  ZovOverlayFix fix;
  fix.cameraTime = k0800 + 5;
  const ZovCameraClock utc{"UTC", 0, 0};
  const ZovCameraClock slow{"UTC", 600, 0};  // the camera runs ten minutes slow
  const struct {
    int32_t fixUtc;
    ZovCameraClock clock;
    const char* time;
  } cases[] = {
      {int32_t(k0800 + 5), utc, "2024-05-17 08:00:06"},
      {int32_t(k0800 + 7), utc, "2024-05-17 08:00:06"},  // within the tolerance
      {int32_t(k0800 + 605), utc, "2024-05-17 08:00:06 (GPS 08:10:06 UTC)"},
      {int32_t(k0800 + 605), slow, "2024-05-17 08:10:06"},
      {0, utc, "2024-05-17 08:00:06"},  // the fix has no time of its own
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.time);
    fix.utc = c.fixUtc;
    const double camera = k0800 + 6.2;
    EXPECT_EQ(ZovOverlayTextOf(camera + c.clock.offsetSeconds, &fix, "front", ZovSpeedUnit::kKmh, true, c.clock).time,
              c.time);
  }
}

// The GPS <-> video nudge moves the exported track against the pictures.
TEST(ExportTrack, NudgeMovesTheFixesAgainstThePictures) {
  ZovLibrary lib = Drive(1);
  for (ZovRecording& r : lib.recordings)
    if (r.path.find("front") != std::string::npos)
      r.track = {{50.0, 8.0, 10, int32_t(k0800)}, {50.0001, 8.0, 10, int32_t(k0800 + 1)},
                 {50.0002, 8.0, 10, int32_t(k0800 + 2)}};
  for (const int nudgeMs : {0, 2000, -1000}) {
    SCOPED_TRACE(nudgeMs);
    const ZovCameraClock clock{"", 0, nudgeMs};
    const ZovExportPlan plan = ZovPlanExport(lib, 0, k0800, k0800 + 60, clock);
    ASSERT_TRUE(plan.error.empty()) << plan.error;
    const std::vector<ZovOverlayFix> fixes = ZovRangeTrack(lib, plan);
    // A fix moved before the range's start is left out.
    const size_t skipped = nudgeMs < 0 ? 1 : 0;
    ASSERT_EQ(fixes.size(), 3 - skipped);
    for (size_t i = 0; i < fixes.size(); ++i)
      EXPECT_DOUBLE_EQ(fixes[i].cameraTime, double(k0800) + double(i + skipped) + nudgeMs / 1000.0);
  }
}

}  // namespace
