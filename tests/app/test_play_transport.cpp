// Transport decisions of the play window, without windows.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/zov_play_dialog_transport.h"
#include "library/zov_media_extensions.h"

using namespace zov_play;

namespace {

TEST(PlayTransport, CommandFilterDropsClicksWithinOneSecondOfThePreviousClick) {
  // "next" at 0, again 0.5 s later (dropped), a third 0.8 s after the second
  // (dropped too: the dropped click moved the stored time), then 1 s later.
  CommandFilter filter;
  EXPECT_TRUE(filter.Accept(5000));
  EXPECT_FALSE(filter.Accept(5500));
  EXPECT_FALSE(filter.Accept(6300));
  EXPECT_TRUE(filter.Accept(7300));
  // A retried command waits exactly until it would be let through.
  EXPECT_EQ(filter.WaitMs(7300), 1000);
  EXPECT_EQ(filter.WaitMs(7900), 400);
  EXPECT_EQ(filter.WaitMs(9000), 0);
  EXPECT_FALSE(filter.Accept(7300 + 1000 - 1));
  EXPECT_EQ(CommandFilter().WaitMs(0), 0);
  // The very first click of a run is accepted however early it comes.
  CommandFilter early;
  EXPECT_TRUE(early.Accept(10));
  // A command that took 1.5 s to carry out: the click queued behind it is
  // dropped, one a second after it finished is not.
  EXPECT_TRUE(early.Accept(20000));
  early.Handled(21500);
  EXPECT_FALSE(early.Accept(21600));
  EXPECT_TRUE(early.Accept(22600));
}

TEST(PlayTransport, EveryCommandButTheScreenshotRunsWhileStarting) {
  for (int id : {kIdPrevious, kIdNext, kIdPlay, kIdStop, kIdOpenFile, kIdSound})
    EXPECT_TRUE(AllowedWhileStarting(id)) << id;
  EXPECT_FALSE(AllowedWhileStarting(kIdScreenshot));
}

TEST(PlayTransport, SeekTargetsScaleTheBarAndStepWithinTheRecordingAndSeekOncePerTarget) {
  // The bar's value becomes milliseconds once, with no rounding to seconds.
  struct BarCase { int value; int64_t length, ms; } bars[] = {
      {0, 60000, 0},        {150, 60000, 30000}, {299, 60000, 59800}, {300, 60000, 60000},
      {1, 60000, 200},      {1, 61500, 205},     {300, 7200000000LL, 7200000000LL},
      {-5, 60000, 0},       {400, 60000, 60000}, {150, 0, 0}};
  for (const auto& c : bars) EXPECT_EQ(SeekBarMs(c.value, c.length), c.ms) << c.value << " of " << c.length;

  // Arrow steps keep the position's milliseconds and stop a second short of the end.
  struct StepCase { int64_t position; int seconds; int64_t length, ms; } steps[] = {
      {12345, 10, 60000, 22345}, {12345, -10, 60000, 2345}, {5000, -10, 60000, 0},
      {55000, 10, 60000, 59000}, {-1, 10, 60000, 10000},    {0, 10, 500, 0}};
  for (const auto& c : steps)
    EXPECT_EQ(StepTargetMs(c.position, c.seconds, c.length), c.ms) << c.position << " + " << c.seconds;

  SeekTarget target;
  EXPECT_TRUE(target.Take(30000));
  EXPECT_FALSE(target.Take(30000));  // the same target again: no second seek
  EXPECT_TRUE(target.Take(30200));
  EXPECT_TRUE(target.Take(30000));
  target.Forget();
  EXPECT_TRUE(target.Take(30000));
}

TEST(PlayTransport, TickGrowsTheDurationAndFormatsTimeAndBar) {
  struct Case {
    int p, d;
    bool ended;
    int shownP, shownD;
    bool grew;
    int bar;
    const char* text;
  } cases[] = {
      {0, 60, false, 0, 60, false, 5, "00:00:00/00:01:00"},
      {30, 60, false, 30, 60, false, 155, "00:00:30/00:01:00"},
      {70, 60, false, 60, 60, false, 305, "00:01:00/00:01:00"},   // within the slack: p held at d
      {71, 60, false, 71, 90, true, 240, "00:01:11/00:01:30"},    // passes d + 10: grows by 30
      {5, 0, false, 5, 100, false, 18, "00:00:05/00:01:40"},      // unknown length
      {3725, 7200, false, 3725, 7200, false, 155, "01:02:05/02:00:00"},
      {10000, 60, true, 0, 60, false, 0, "00:00:00/00:01:00"},    // ended: far position ignored
      {-3, 60, false, 0, 60, false, 5, "00:00:00/00:01:00"},
  };
  for (const auto& c : cases) {
    const TickView v = ComputeTick(c.p, c.d, c.ended);
    SCOPED_TRACE(c.p);
    EXPECT_EQ(v.position, c.shownP);
    EXPECT_EQ(v.duration, c.shownD);
    EXPECT_EQ(v.durationGrew, c.grew);
    EXPECT_EQ(v.seekValue, c.bar);
    EXPECT_EQ(v.timeText, c.text);
  }
  EXPECT_EQ(SeekBarValue(4, 1), 1500);  // not divided when the length is 1 s
}

TEST(PlayTransport, TickFallsJustAfterTheNextSecondOfTheRecordingAtItsSpeed) {
  struct Case { int64_t position, length; int speed, ms; } cases[] = {
      {0, 60000, 100, 1000},     // a whole second ahead: the longest wait
      {4300, 60000, 100, 720},
      {4990, 60000, 100, 40},    // just short of a second: not a busy loop
      {5500, 60000, 100, 520},
      {4300, 60000, 200, 360},   // twice as fast: half the wall time
      {4300, 60000, 25, 1000},   // slow motion: still at least once a second
      {4300, 60000, 0, 720},     // no speed known: as at normal speed
      {-50, 60000, 100, 1000},
      {59300, 60000, 100, 250},  // the last second: the end is seen soon
      {4300, 0, 100, 720},       // no length known
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.position);
    EXPECT_EQ(NextTickMs(c.position, c.length, c.speed), c.ms);
  }
}

TEST(PlayTransport, PlayCommandAndSpaceByStateAndEndOfFileByPlayMode) {
  EXPECT_EQ(PlayCommand(0, false), PlayAction::kStart);
  EXPECT_EQ(PlayCommand(0, true), PlayAction::kNone);  // space never starts playback
  for (bool space : {false, true}) {
    EXPECT_EQ(PlayCommand(1, space), PlayAction::kPause);
    EXPECT_EQ(PlayCommand(2, space), PlayAction::kResume);
  }
  EXPECT_EQ(EndOfFileAction(0), EndAction::kPlayNext);
  EXPECT_EQ(EndOfFileAction(1), EndAction::kStop);
  EXPECT_EQ(EndOfFileAction(2), EndAction::kStop);
}

TEST(PlayTransport, TextLogIsTheExtensionNotAFolderName) {
  struct Case { const char* path; bool log; } cases[] = {
      {"/data/drive.txt", true}, {"/data/DRIVE.TXT", true}, {"/data/a.Txt", true},
      {"/data/txt/clip.mp4", false}, {"/data/mytxtfiles/clip.mp4", false},
      {"/data/clip.txt.mp4", false}, {"/data/v.1.txt/clip", false}, {"/data/clip", false},
      {"/data/clip.text", false}};
  for (const auto& c : cases) EXPECT_EQ(IsTextLog(c.path), c.log) << c.path;
  EXPECT_EQ(ZovExtensionOf("/a/b.c/d.MP4"), ".MP4");
  EXPECT_EQ(ZovExtensionOf("/a/noext"), "");
}

TEST(PlayTransport, PositionTextAndShotName) {
  EXPECT_EQ(PositionText('N', 39.9f), "N:39.900002");
  EXPECT_EQ(PositionText('W', -0.5f), "W:-0.500000");
  std::tm when{};
  when.tm_year = 2026 - 1900;
  when.tm_mon = 0;
  when.tm_mday = 9;
  when.tm_hour = 7;
  when.tm_min = 5;
  when.tm_sec = 3;
  EXPECT_EQ(ShotFileName(when, 42), "shot_20260109_070503_42.bmp");
}

TEST(PlayTransport, FoldersAndTheSaveDialogStart) {
  EXPECT_EQ(WithTrailingSlash("/home/u/shots"), "/home/u/shots/");
  EXPECT_EQ(WithTrailingSlash("/home/u/shots//"), "/home/u/shots/");
  EXPECT_EQ(WithTrailingSlash("/"), "/");
  EXPECT_EQ(WithTrailingSlash(""), "");
  EXPECT_EQ(SaveDialogFolder("/media/cam", "/home/u"), "/media/cam");
  EXPECT_EQ(SaveDialogFolder("/m", "/home/u"), "/home/u");
  EXPECT_EQ(SaveDialogFolder("", "/home/u"), "/home/u");
}

TEST(PlayTransport, OpenFileFilterTextAndItsQtForm) {
  const std::string filter = ZovOpenFileFilter("Video", "All files");
  EXPECT_EQ(filter,
            "Video(*.mp4;*.mov;*.MP4;*.MOV;*.ts;*.TS;*.avi;*.AVI;*.MKV;*.MP3;*.TXT;*.txt)|"
            "*.mp4;*.mov;*.MP4;*.MOV;*.ts;*.TS;*.avi;*.AVI;*.mkv;*.mp3;*.TXT;*.txt|"
            "All files (*.*)|*.*||");
  const auto qt = QtFileFilters(filter);
  ASSERT_EQ(qt.size(), 2u);
  EXPECT_EQ(qt[0], "Video (*.mp4 *.mov *.MP4 *.MOV *.ts *.TS *.avi *.AVI *.mkv *.mp3 *.TXT *.txt *.MKV *.MP3)");
  EXPECT_EQ(qt[1], "All files (*.*)");
}

// Every width from the minimum up: the row's controls stay whole, in order,
// apart, clear of the time text, inside the right margin, and clear of the
// position texts while those are shown. At the designed width and wider the
// row is the designed one.
TEST(PlayTransport, BottomRowStaysWholeAndClearDownToTheMinimumWidth) {
  const std::vector<int> widths = {36, 120, 36, 40, 36, 36, 36, 36};  // the skin's row
  const StripMeasures strip{190, 180, 10};
  const int minimum = BottomRowMinimumWidth(widths, strip);
  EXPECT_EQ(minimum, 190 + kStripClearance + 376 + 7 * kBottomRowMinGap + 10);
  bool shownBefore = false;
  for (int width = minimum; width <= 2000; ++width) {
    const BottomRowPlace place = PlaceBottomRow(widths, width, strip);
    ASSERT_EQ(place.lefts.size(), widths.size());
    EXPECT_GE(place.lefts.front(), 190 + kStripClearance) << width;
    for (size_t i = 1; i < widths.size(); ++i)
      EXPECT_GE(place.lefts[i], place.lefts[i - 1] + widths[i - 1] + kBottomRowMinGap) << width << " " << i;
    const int rowRight = place.lefts.back() + widths.back();
    EXPECT_LE(rowRight, width - 10) << width;
    if (place.positionsShown) {
      EXPECT_LE(rowRight + kStripClearance, width - 10 - 180) << width;
    }
    if (width >= 935) {
      EXPECT_TRUE(place.positionsShown) << width;
      EXPECT_EQ(place.lefts, BottomRowLefts(widths, width)) << width;
    }
    // A wider window never hides texts that a narrower one shows.
    EXPECT_FALSE(shownBefore && !place.positionsShown) << width;
    shownBefore = shownBefore || place.positionsShown;
  }
  // The narrowest window: the row right after the time text, gaps at their least.
  const BottomRowPlace narrowest = PlaceBottomRow(widths, minimum, strip);
  EXPECT_FALSE(narrowest.positionsShown);
  EXPECT_EQ(narrowest.lefts.front(), 190 + kStripClearance);
  EXPECT_EQ(narrowest.lefts[1] - narrowest.lefts[0], 36 + kBottomRowMinGap);
  // Texts that are narrower leave room for the designed gaps beside them.
  const BottomRowPlace beside = PlaceBottomRow(widths, 800, StripMeasures{150, 60, 10});
  EXPECT_TRUE(beside.positionsShown);
  EXPECT_EQ(beside.lefts[1] - beside.lefts[0], 36 + kBottomRowGap);
}

TEST(PlayTransport, BottomRowIsCentredWithTwentyPixelGaps) {
  const auto lefts = BottomRowLefts({30, 80, 30, 40, 30, 30, 30, 30}, 1000);
  ASSERT_EQ(lefts.size(), 8u);
  EXPECT_EQ(lefts[0], (1000 - 300 - 140) / 2);
  EXPECT_EQ(lefts[1], lefts[0] + 30 + 20);
  EXPECT_EQ(lefts[2], lefts[1] + 80 + 20);
  EXPECT_EQ(lefts[7], lefts[0] + 300 - 30 + 7 * 20);
  // The group is centred: equal space left of the first and right of the last.
  EXPECT_EQ(lefts[0], 1000 - (lefts[7] + 30));
}

TEST(PlayTransport, ShotComposesPanesAndEncodesBottomUpPaddedBgr) {
  QImage red(4, 4, QImage::Format_RGB32);
  red.fill(QColor(255, 0, 0));
  QImage blue(4, 4, QImage::Format_RGB32);
  blue.fill(QColor(0, 0, 255));
  const QImage area = ComposeVideoArea(QSize(10, 3), {{QRect(0, 0, 5, 3), red}, {QRect(5, 0, 3, 3), blue}});
  ASSERT_EQ(area.size(), QSize(10, 3));
  EXPECT_EQ(area.pixelColor(2, 1), QColor(255, 0, 0));
  EXPECT_EQ(area.pixelColor(6, 1), QColor(0, 0, 255));
  EXPECT_EQ(area.pixelColor(9, 1), QColor(0, 0, 0));  // outside every pane: black

  QImage mark(5, 2, QImage::Format_RGB32);  // 15 bytes a row, padded to 16
  mark.fill(Qt::black);
  mark.setPixelColor(0, 0, QColor(10, 20, 30));  // top left
  const auto bmp = EncodeBmp24(mark);
  ASSERT_EQ(bmp.size(), 54u + 16u * 2u);
  EXPECT_EQ(bmp[0], 'B');
  EXPECT_EQ(bmp[1], 'M');
  auto le32 = [&](size_t at) {
    return uint32_t(bmp[at]) | uint32_t(bmp[at + 1]) << 8 | uint32_t(bmp[at + 2]) << 16 |
           uint32_t(bmp[at + 3]) << 24;
  };
  EXPECT_EQ(le32(2), bmp.size());
  EXPECT_EQ(le32(10), 54u);
  EXPECT_EQ(le32(14), 40u);
  EXPECT_EQ(le32(18), 5u);
  EXPECT_EQ(le32(22), 2u);
  EXPECT_EQ(bmp[26] | bmp[27] << 8, 1);
  EXPECT_EQ(bmp[28] | bmp[29] << 8, 24);
  EXPECT_EQ(le32(30), 0u);
  // The top row is stored last, as blue, green, red.
  EXPECT_EQ(bmp[54 + 16], 30);
  EXPECT_EQ(bmp[54 + 17], 20);
  EXPECT_EQ(bmp[54 + 18], 10);
  EXPECT_EQ(bmp[54], 0);
}

}  // namespace

namespace {

bool AcceptMp4AndTxt(std::string_view ext) { return ext == ".mp4" || ext == ".txt"; }

TEST(PlayTransport, CommandLineFoldersBecomeTheirRecordingsAndPathsBecomeAbsolute) {
  const std::filesystem::path root = std::filesystem::temp_directory_path() / "zov_play_cmdline";
  std::filesystem::remove_all(root);
  std::filesystem::create_directories(root / "cam" / "sub.mp4");  // a folder, not a file
  for (const char* name : {"b.mp4", "a.mp4", "log.txt", "note.jpg"}) std::ofstream(root / "cam" / name) << "x";
  std::ofstream(root / "one.mp4") << "x";
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(root);
  const auto files = ExpandCommandLine({"cam", "one.mp4", "missing.mp4"}, AcceptMp4AndTxt);
  std::filesystem::current_path(previous);
  const std::string r = root.string();
  EXPECT_EQ(files, (std::vector<std::string>{r + "/cam/a.mp4", r + "/cam/b.mp4", r + "/cam/log.txt",
                                             r + "/one.mp4", r + "/missing.mp4"}));
  std::filesystem::remove_all(root);
}

}  // namespace
