// Grouping recordings into moments and drives: the 3-second moment span, the
// drive gap setting, channels of unnamed files by picture size, the mode a
// moment shows, and unplayable files kept apart.
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "library/zov_library_group.h"

namespace {

const int64_t kBase = ZovCameraTime(2024, 5, 17, 8, 0, 0);

ZovRecording Named(const std::string& path, int64_t offset, ZovChannel ch,
                   ZovMode mode = ZovMode::kNormal, double seconds = 60) {
  ZovRecording r;
  r.path = path;
  r.name.family = "test";
  r.name.start = kBase + offset;
  r.name.channel = ch;
  r.name.mode = mode;
  r.facts.playable = true;
  r.facts.seconds = seconds;
  r.facts.width = 1920;
  r.facts.height = 1080;
  return r;
}

ZovRecording Unnamed(const std::string& path, int64_t offset, int width, int height) {
  ZovRecording r;
  r.path = path;
  r.facts.playable = true;
  r.facts.seconds = 60;
  r.facts.created = kBase + offset;
  r.facts.width = width;
  r.facts.height = height;
  return r;
}

std::string Keys(const ZovLibrary& lib, const ZovMoment& m) {
  std::string keys;
  for (const auto& [key, index] : m.channels) keys += key + "=" + lib.recordings[index].path + " ";
  return keys;
}

TEST(LibraryGroup, ChannelsWithinThreeSecondsMakeOneMoment) {
  ZovLibrary lib;
  lib.recordings = {Named("r0", 1, ZovChannel::kRear), Named("f0", 0, ZovChannel::kFront),
                    Named("i0", 3, ZovChannel::kInterior),  // 3 s after the first: same moment
                    Named("f1", 60, ZovChannel::kFront),
                    Named("r1", 64, ZovChannel::kRear)};    // 4 s late: a moment of its own
  ZovGroupLibrary(lib);
  ASSERT_EQ(lib.drives.size(), 1u);
  const auto& moments = lib.drives[0].moments;
  ASSERT_EQ(moments.size(), 3u);
  EXPECT_EQ(Keys(lib, moments[0]), "front=f0 rear=r0 interior=i0 ");
  EXPECT_EQ(ZovFormatCameraTime(moments[0].start), "2024-05-17T08:00:00");
  EXPECT_EQ(Keys(lib, moments[1]), "front=f1 ");
  EXPECT_EQ(Keys(lib, moments[2]), "rear=r1 ");
  EXPECT_EQ(lib.recordings[moments[2].Lead()].path, "r1");  // no front: the first channel plays
  EXPECT_EQ(lib.recordings[moments[0].Lead()].path, "f0");
}

TEST(LibraryGroup, DriveGapIsMeasuredFromTheEndOfTheMomentBefore) {
  struct Case {
    int64_t secondStart;  // the second moment's start after the first's (60 s long)
    int gap;
    size_t drives;
  } cases[] = {{60 + 120, 120, 1}, {60 + 121, 120, 2}, {60 + 30, 20, 2}, {60, 0, 1}, {3600, 3600, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.secondStart);
    ZovLibrary lib;
    lib.recordings = {Named("a", 0, ZovChannel::kFront), Named("b", c.secondStart, ZovChannel::kFront)};
    ZovGroupLibrary(lib, c.gap);
    EXPECT_EQ(lib.drives.size(), c.drives);
  }
  ZovLibrary lib;
  lib.recordings = {Named("a", 0, ZovChannel::kFront), Named("b", 60, ZovChannel::kFront, ZovMode::kNormal, 45)};
  ZovGroupLibrary(lib);
  ASSERT_EQ(lib.drives.size(), 1u);
  EXPECT_EQ(ZovFormatCameraTime(lib.drives[0].end), "2024-05-17T08:01:45");
}

TEST(LibraryGroup, MomentShowsTheMostTellingModeOfItsChannels) {
  ZovLibrary lib;
  lib.recordings = {Named("f", 0, ZovChannel::kFront, ZovMode::kNormal),
                    Named("r", 1, ZovChannel::kRear, ZovMode::kEvent),
                    Named("f2", 60, ZovChannel::kFront, ZovMode::kLocked),
                    Named("r2", 60, ZovChannel::kRear, ZovMode::kEvent),
                    Named("p", 120, ZovChannel::kFront, ZovMode::kParking),
                    Named("t", 121, ZovChannel::kRear, ZovMode::kTimelapse)};
  ZovGroupLibrary(lib);
  ASSERT_EQ(lib.drives.size(), 1u);
  ASSERT_EQ(lib.drives[0].moments.size(), 3u);
  EXPECT_EQ(lib.drives[0].moments[0].mode, ZovMode::kEvent);
  EXPECT_EQ(lib.drives[0].moments[1].mode, ZovMode::kLocked);
  EXPECT_EQ(lib.drives[0].moments[2].mode, ZovMode::kParking);
}

TEST(LibraryGroup, UnnamedFilesTakeFreeChannelsLargestPictureFirst) {
  ZovLibrary lib;
  lib.recordings = {Unnamed("small", 0, 640, 360), Unnamed("big", 1, 1920, 1080),
                    Unnamed("mid", 2, 1280, 720),
                    // Beside a named rear (another camera), an unnamed file
                    // is a moment of its own and takes the front.
                    Named("rear", 60, ZovChannel::kRear), Unnamed("other", 60, 1280, 720)};
  ZovGroupLibrary(lib);
  ASSERT_EQ(lib.drives.size(), 1u);
  ASSERT_EQ(lib.drives[0].moments.size(), 3u);
  EXPECT_EQ(Keys(lib, lib.drives[0].moments[0]), "front=big rear=mid interior=small ");
  EXPECT_EQ(Keys(lib, lib.drives[0].moments[1]), "front=other ");
  EXPECT_EQ(Keys(lib, lib.drives[0].moments[2]), "rear=rear ");
}

TEST(LibraryGroup, SecondRecordingOfAChannelIsKeptUnderItsOwnKey) {
  ZovLibrary lib;
  ZovRecording low = Named("front-low", 0, ZovChannel::kFront);
  low.name.variant = 1;
  ZovRecording right = Named("pillar-r", 1, ZovChannel::kExtra);
  right.name.variant = 1;
  lib.recordings = {low, Named("front-high", 0, ZovChannel::kFront), Named("pillar-l", 0, ZovChannel::kExtra),
                    right};
  ZovGroupLibrary(lib);
  ASSERT_EQ(lib.drives.size(), 1u);
  EXPECT_EQ(Keys(lib, lib.drives[0].moments[0]),
            "front=front-high front-2=front-low extra=pillar-l extra-2=pillar-r ");
  EXPECT_EQ(lib.recordings[lib.drives[0].moments[0].Lead()].path, "front-high");
}

TEST(LibraryGroup, TwoCardsRecordingAtOnceMakeAMomentEach) {
  ZovLibrary lib;
  lib.recordings = {Named("/cards/b/R1", 1, ZovChannel::kRear), Named("/cards/a/R1", 0, ZovChannel::kRear),
                    Named("/cards/a/F1", 1, ZovChannel::kFront, ZovMode::kEvent),
                    Named("/cards/b/F1", 0, ZovChannel::kFront)};
  ZovRecording other = Named("/cards/c/F1", 0, ZovChannel::kFront);
  other.name.family = "another";  // a camera of another family never joins
  lib.recordings.push_back(other);
  ZovGroupLibrary(lib);
  ASSERT_EQ(lib.drives.size(), 1u);
  ASSERT_EQ(lib.drives[0].moments.size(), 3u);
  std::vector<std::string> keys;
  for (const ZovMoment& m : lib.drives[0].moments) keys.push_back(Keys(lib, m));
  std::sort(keys.begin(), keys.end());
  EXPECT_EQ(keys, (std::vector<std::string>{"front=/cards/a/F1 rear=/cards/a/R1 ",
                                            "front=/cards/b/F1 rear=/cards/b/R1 ", "front=/cards/c/F1 "}));
  for (const ZovMoment& m : lib.drives[0].moments)
    EXPECT_EQ(m.mode, lib.recordings[m.Lead()].path == "/cards/a/F1" ? ZovMode::kEvent : ZovMode::kNormal);
}

// A card and its copy on a disk, both read: each moment once, from the
// first copy in path order. Files that differ in size or start are no copies.
TEST(LibraryGroup, ACopyOfACardAddsNoMoments) {
  ZovLibrary lib;
  for (const char* root : {"/media/card", "/home/me/backup"})
    for (const auto& [name, offset, channel] :
         {std::tuple{"F1.MP4", 0, ZovChannel::kFront}, std::tuple{"R1.MP4", 0, ZovChannel::kRear},
          std::tuple{"F2.MP4", 60, ZovChannel::kFront}}) {
      ZovRecording r = Named(std::string(root) + "/" + name, offset, channel);
      r.size = 1000 + offset;
      lib.recordings.push_back(r);
    }
  lib.recordings[5].size = 999;  // the backup's F2 was cut short: not the same file
  ZovGroupLibrary(lib);
  ASSERT_EQ(lib.drives.size(), 1u);
  std::vector<std::string> keys;
  for (const ZovMoment& m : lib.drives[0].moments) keys.push_back(Keys(lib, m));
  EXPECT_EQ(keys, (std::vector<std::string>{"front=/home/me/backup/F1.MP4 rear=/home/me/backup/R1.MP4 ",
                                            "front=/home/me/backup/F2.MP4 ", "front=/media/card/F2.MP4 "}));
}

TEST(LibraryGroup, UnplayableFilesStayOutOfMomentsInPathOrder) {
  ZovLibrary lib;
  lib.recordings = {Named("b-front", 0, ZovChannel::kFront), Named("z-cut", 0, ZovChannel::kRear),
                    Named("a-empty", 60, ZovChannel::kFront)};
  lib.recordings[1].facts = {};
  lib.recordings[1].facts.reason = "cut short: no index";
  lib.recordings[2].facts = {};
  lib.recordings[2].facts.reason = "empty file";
  ZovGroupLibrary(lib);
  ASSERT_EQ(lib.drives.size(), 1u);
  EXPECT_EQ(Keys(lib, lib.drives[0].moments[0]), "front=b-front ");
  ASSERT_EQ(lib.unplayable.size(), 2u);
  EXPECT_EQ(lib.recordings[lib.unplayable[0]].path, "a-empty");
  EXPECT_EQ(lib.recordings[lib.unplayable[1]].path, "z-cut");
}

TEST(LibraryGroup, DriveDistanceAddsTheLongestTrackOfEachMoment) {
  ZovLibrary lib;
  lib.recordings = {Named("f", 0, ZovChannel::kFront), Named("r", 1, ZovChannel::kRear),
                    Named("f2", 60, ZovChannel::kFront)};
  lib.recordings[0].kilometres = 0.9;
  lib.recordings[1].kilometres = 0.8;  // the same drive seen by another channel
  lib.recordings[2].kilometres = 1.1;
  ZovGroupLibrary(lib);
  ASSERT_EQ(lib.drives.size(), 1u);
  EXPECT_NEAR(lib.drives[0].kilometres, 2.0, 1e-9);
}

}  // namespace
