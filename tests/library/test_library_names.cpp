// The naming table: every family's names, the folders that change a mode,
// and names that look like a family's but are not (lost clocks, wrong
// letters, extra characters).
#include <gtest/gtest.h>

#include "library/zov_camera_names.h"

namespace {

struct NameCase {
  const char* path;
  const char* family;  // "" when no row may match
  const char* start;   // ISO camera time, "" when unknown
  ZovChannel channel;
  ZovMode mode;
  int variant;
};

const NameCase kCases[] = {
    // underscore-sequence: P parking, E event, RO/ locked, Parking/ parking
    {"/c/DCIM/Movie/2024_0517_080000_001F.MP4", "underscore-sequence", "2024-05-17T08:00:00", ZovChannel::kFront, ZovMode::kNormal, 0},
    {"/c/DCIM/Movie/2024_0517_080001_001R.MP4", "underscore-sequence", "2024-05-17T08:00:01", ZovChannel::kRear, ZovMode::kNormal, 0},
    {"/c/DCIM/Movie/2024_0517_080000_002EI.MP4", "underscore-sequence", "2024-05-17T08:00:00", ZovChannel::kInterior, ZovMode::kEvent, 0},
    {"/c/DCIM/Movie/RO/2024_0517_080000_003EF.MP4", "underscore-sequence", "2024-05-17T08:00:00", ZovChannel::kFront, ZovMode::kLocked, 0},
    {"/c/DCIM/Parking/2024_0517_230000_004PT.MP4", "underscore-sequence", "2024-05-17T23:00:00", ZovChannel::kExtra, ZovMode::kParking, 0},
    // record-folder
    {"/c/Record/20240229_235959_MR.mp4", "record-folder", "2024-02-29T23:59:59", ZovChannel::kRear, ZovMode::kManual, 0},
    {"/c/Record/20240517_080000_PI.mp4", "record-folder", "2024-05-17T08:00:00", ZovChannel::kInterior, ZovMode::kParking, 0},
    // kind-prefix
    {"/c/evt_rec/EVT_2024_05_17_08_03_10_R.MP4", "kind-prefix", "2024-05-17T08:03:10", ZovChannel::kRear, ZovMode::kEvent, 0},
    {"/c/parking_rec/PARK_2024_05_17_08_03_10_F.MP4", "kind-prefix", "2024-05-17T08:03:10", ZovChannel::kFront, ZovMode::kParking, 0},
    {"/c/manual_rec/MAN_2024_05_17_08_03_10_F.MP4", "kind-prefix", "2024-05-17T08:03:10", ZovChannel::kFront, ZovMode::kManual, 0},
    // two-letter-kind: B is the back camera, LA time-lapse
    {"/c/Event/Back/EV20240517-080310-000045B.mp4", "two-letter-kind", "2024-05-17T08:03:10", ZovChannel::kRear, ZovMode::kEvent, 0},
    {"/c/Parking/Front/LA20240517-220000-000046F.mp4", "two-letter-kind", "2024-05-17T22:00:00", ZovChannel::kFront, ZovMode::kTimelapse, 0},
    // six-camera: the folder gives the mode
    {"/c/CarCam/RecentClips/2024-05-17_08-00-00-left_repeater.mp4", "six-camera", "2024-05-17T08:00:00", ZovChannel::kLeft, ZovMode::kNormal, 0},
    {"/c/SavedClips/2024-05-17_08-10-00/2024-05-17_08-09-00-right_repeater.mp4", "six-camera", "2024-05-17T08:09:00", ZovChannel::kRight, ZovMode::kManual, 0},
    {"/c/SentryClips/2024-05-17_23-10-00/2024-05-17_23-09-00-back.mp4", "six-camera", "2024-05-17T23:09:00", ZovChannel::kRear, ZovMode::kParking, 0},
    {"/c/RecentClips/2024-05-17_08-00-00-left_pillar.mp4", "six-camera", "2024-05-17T08:00:00", ZovChannel::kExtra, ZovMode::kNormal, 0},
    // serial-letters, dated-two-digits, file-prefix, short-date-quality
    {"/c/20240517_080300_0004_E_B.mp4", "serial-letters", "2024-05-17T08:03:00", ZovChannel::kRear, ZovMode::kEvent, 0},
    {"/c/20240517_080300_0004_P_C.mp4", "serial-letters", "2024-05-17T08:03:00", ZovChannel::kInterior, ZovMode::kParking, 0},
    {"/c/Event/2024_05_17_080000_00_I.MP4", "dated-two-digits", "2024-05-17T08:00:00", ZovChannel::kInterior, ZovMode::kEvent, 0},
    {"/c/EMR/R/FILE240517-080000R.MP4", "file-prefix", "2024-05-17T08:00:00", ZovChannel::kRear, ZovMode::kEvent, 0},
    {"/c/F/FILE991231-235959F.MP4", "file-prefix", "2099-12-31T23:59:59", ZovChannel::kFront, ZovMode::kNormal, 0},
    {"/c/240517_080000_001_RL.MP4", "short-date-quality", "2024-05-17T08:00:00", ZovChannel::kRear, ZovMode::kNormal, 1},
    {"/c/240517_080000_001_BH.MP4", "short-date-quality", "2024-05-17T08:00:00", ZovChannel::kInterior, ZovMode::kNormal, 0},
    // Lower-case extensions and letters are the same names.
    {"/c/DCIM/Movie/2024_0517_080000_001f.mp4", "underscore-sequence", "2024-05-17T08:00:00", ZovChannel::kFront, ZovMode::kNormal, 0},
    // Not of any family: fallback (folder may still give a mode).
    {"/c/DCIM/Movie/2024_1317_080000_001F.MP4", "", "", ZovChannel::kUnknown, ZovMode::kNormal, 0},  // month 13
    {"/c/Record/20230229_080000_NF.mp4", "", "", ZovChannel::kUnknown, ZovMode::kNormal, 0},           // no 29 February
    {"/c/Record/20240517_240000_NF.mp4", "", "", ZovChannel::kUnknown, ZovMode::kNormal, 0},           // hour 24
    {"/c/Record/20240517_080000_XF.mp4", "", "", ZovChannel::kUnknown, ZovMode::kNormal, 0},           // no mode X
    {"/c/DCIM/Movie/2024_0517_080000_001FF.MP4", "", "", ZovChannel::kUnknown, ZovMode::kNormal, 0},  // one letter too many
    {"/c/RecentClips/2024-05-17_08-00-00-fronts.mp4", "", "", ZovChannel::kUnknown, ZovMode::kNormal, 0},
    {"/c/DCIM/Movie/2024_0517_080000_001F.JPG", "", "", ZovChannel::kUnknown, ZovMode::kNormal, 0},   // a picture
    {"/c/RO/holiday.mp4", "", "", ZovChannel::kUnknown, ZovMode::kLocked, 0},
    {"", "", "", ZovChannel::kUnknown, ZovMode::kNormal, 0},
};

TEST(LibraryNames, EveryFamilyAndItsLookAlikes) {
  for (const NameCase& c : kCases) {
    SCOPED_TRACE(c.path);
    const ZovNameFacts f = ZovReadName(c.path);
    EXPECT_EQ(f.family, c.family);
    EXPECT_EQ(ZovFormatCameraTime(f.start), c.start);
    EXPECT_EQ(f.channel, c.channel);
    EXPECT_EQ(f.mode, c.mode);
    EXPECT_EQ(f.variant, c.variant);
  }
}

// Each row's own sample is read by that row, not by an earlier one.
TEST(LibraryNames, EachRowReadsItsOwnSample) {
  for (const ZovNamingRow& row : ZovNamingTable()) {
    SCOPED_TRACE(row.sample);
    const ZovNameFacts f = ZovReadName(std::string("/card/") + row.sample);
    EXPECT_EQ(f.family, row.family);
    EXPECT_NE(f.start, kZovNoTime);
    EXPECT_NE(f.channel, ZovChannel::kUnknown);
  }
}

TEST(LibraryNames, CameraTimeRoundTripsAndRefusesLostClocks) {
  const int64_t t = ZovCameraTime(2024, 2, 29, 23, 59, 59);
  EXPECT_EQ(ZovFormatCameraTime(t), "2024-02-29T23:59:59");
  EXPECT_EQ(ZovCameraTime(2024, 3, 1, 0, 0, 0) - t, 1);
  EXPECT_EQ(ZovCameraTime(1970, 1, 1, 0, 0, 0), 0);
  EXPECT_EQ(ZovCameraTime(1969, 12, 31, 23, 59, 59), kZovNoTime);
  EXPECT_EQ(ZovCameraTime(2100, 1, 1, 0, 0, 0), kZovNoTime);
  EXPECT_EQ(ZovCameraTime(2024, 4, 31, 0, 0, 0), kZovNoTime);
  EXPECT_EQ(ZovCameraTime(2024, 1, 1, 0, 60, 0), kZovNoTime);
  EXPECT_EQ(ZovFormatCameraTime(kZovNoTime), "");
}

}  // namespace
