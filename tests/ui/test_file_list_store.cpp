// The play list store: paths accepted and refused, folder grouping in listing
// order, selection, removal, and the per-file tracks (real extractor on side
// text files, a scripted one for the rules), with loads that never make the
// list wait.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <dirent.h>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "gps/zov_track_shift.h"
#include "tests/common/test_paths.h"
#include "tests/common/test_wait.h"
#include "tools/zovgpsfixture/zov_gps_fixture.h"
#include "library/zov_file_list_store.h"

namespace fs = std::filesystem;

namespace {

// A file of `bytes` bytes (sparse: no disk is used for the zeros).
std::string MakeFile(const std::string& path, off_t bytes) {
  fs::create_directories(fs::path(path).parent_path());
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  EXPECT_GE(fd, 0) << path;
  EXPECT_EQ(::ftruncate(fd, bytes), 0);
  ::close(fd);
  return path;
}

constexpr off_t kVideo = 1048576;

std::vector<std::string> ReaddirOrder(const std::string& folder) {
  std::vector<std::string> names;
  DIR* d = ::opendir(folder.c_str());
  while (const dirent* e = ::readdir(d)) names.push_back(e->d_name);
  ::closedir(d);
  return names;
}

// A store whose tracks come from a script of exchange texts by path.
struct ScriptedStore {
  CZovFileListStore store;
  std::atomic<int> extractions{0};
  std::vector<std::string> warnings;
  std::function<std::string(const std::string&)> pointsFor = [](const std::string&) {
    return std::string();
  };
  ScriptedStore() {
    store.SetMapNameSource([] { return std::string("gaode"); });
    store.SetWarningSink([this](const std::string& t) { warnings.push_back(t); });
    store.SetExtractor([this](const std::string& path, std::string* points, std::string*) {
      ++extractions;
      *points = pointsFor(path);
      return points->empty() ? 0 : 1;
    });
  }
};

std::string Line(int index, double lat, double lon) {
  char text[200];
  std::snprintf(text, sizeof text,
                "%d 2023/01/05 12:00:00 N:%.5f E:%.5f 20.0 km/h x:0.00 y:0.00 z:0.00 A:10.0 H:5.0 "
                "M:000000000000000 V:1 L:0.0 R:0.0;",
                index, lat, lon);
  return text;
}

}  // namespace

TEST(FileListStore, FilesOfAFolderStayTogetherInSortedListingOrder) {
  const std::string root = zovtest::TempDir();
  // Enough names that the directory's own order is not the sorted one.
  for (int i = 3; i < 40; ++i) MakeFile(root + "/a/" + std::to_string(i) + ".txt", 10);
  MakeFile(root + "/a/2.mp4", kVideo);
  MakeFile(root + "/a/1.mp4", kVideo);
  MakeFile(root + "/b/1.mp4", kVideo);
  std::vector<std::string> raw = ReaddirOrder(root + "/a"), sorted = raw;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_NE(raw, sorted) << "the directory lists in sorted order; the test is weaker";

  CZovFileListStore store;
  EXPECT_EQ(store.AddFile(root + "/a/2.mp4"), 0);
  EXPECT_EQ(store.AddFile(root + "/b/1.mp4"), -1);
  EXPECT_EQ(store.AddFile(root + "/a/1.mp4"), -1);
  EXPECT_EQ(store.AddFile(root + "/a/1.mp4"), -2);
  EXPECT_EQ(store.Paths(),
            (std::vector<std::string>{root + "/a/1.mp4", root + "/a/2.mp4", root + "/b/1.mp4"}));
  EXPECT_EQ(store.FindIndex(root + "/b/1.mp4"), 2);
  EXPECT_EQ(store.FindIndex(root + "/B/1.mp4"), -1);
}

TEST(FileListStore, ListingPositionSortsNamesIgnoringCase) {
  const std::string dir = zovtest::TempDir() + "/case";
  for (const char* n : {"c.txt", "B.txt", "a.txt", "_x.txt", "A.txt"}) MakeFile(dir + "/" + n, 1);
  // "." and ".." are 0 and 1; then a/A (tie broken by bytes: "A" first), B, c, then "_x"
  // (upper-cased letters sort before "_").
  EXPECT_EQ(CZovFileListStore::ListingPosition(dir + "/A.txt"), 2);
  EXPECT_EQ(CZovFileListStore::ListingPosition(dir + "/a.txt"), 3);
  EXPECT_EQ(CZovFileListStore::ListingPosition(dir + "/B.txt"), 4);
  EXPECT_EQ(CZovFileListStore::ListingPosition(dir + "/c.txt"), 5);
  EXPECT_EQ(CZovFileListStore::ListingPosition(dir + "/_x.txt"), 6);
  EXPECT_EQ(CZovFileListStore::ListingPosition(dir + "/missing.txt"), -1);
}

TEST(FileListStore, ListingFollowsChangesOfTheFolder) {
  const std::string dir = zovtest::TempDir() + "/changes";
  MakeFile(dir + "/b.txt", 1);
  // An old folder time lets the listing be reused until the folder changes.
  const timespec old[2] = {{946684800, 0}, {946684800, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, dir.c_str(), old, 0), 0);
  EXPECT_EQ(CZovFileListStore::ListingPosition(dir + "/b.txt"), 2);
  MakeFile(dir + "/a.txt", 1);
  EXPECT_EQ(CZovFileListStore::ListingPosition(dir + "/a.txt"), 2);
  EXPECT_EQ(CZovFileListStore::ListingPosition(dir + "/b.txt"), 3);
  ASSERT_EQ(::utimensat(AT_FDCWD, dir.c_str(), old, 0), 0);
  EXPECT_EQ(CZovFileListStore::ListingPosition(dir + "/b.txt"), 3);
  ASSERT_EQ(::unlink((dir + "/a.txt").c_str()), 0);
  EXPECT_EQ(CZovFileListStore::ListingPosition(dir + "/a.txt"), -1);
  EXPECT_EQ(CZovFileListStore::ListingPosition(dir + "/b.txt"), 2);
}

TEST(FileListStore, AcceptsAndRefusesPaths) {
  const std::string dir = zovtest::TempDir();
  struct Case {
    std::string path;
    off_t bytes;  // -1: do not create
    bool accepted;
  };
  const std::string longName(255 - dir.size() - 5, 'n');
  const std::string emoji = "\xF0\x9F\x9A\x97";  // one character, two UTF-16 units
  const Case cases[] = {
      {dir + "/small.mp4", 500 * 1024, false},
      {dir + "/small.txt", 500 * 1024, true},
      {dir + "/just.MP4", kVideo, true},
      {dir + "/short.avi", kVideo - 1, false},
      {dir + "/missing.mov", -1, false},
      {dir + "/missing.txt", -1, true},  // side texts have no minimum
      {"no-separator.txt", -1, false},
      {dir + "/" + longName + ".txt", -1, true},                  // 255 units
      {dir + "/" + longName + "x.txt", -1, false},                // 256 units: refused, not cut
      {dir + "/" + longName.substr(1) + emoji + ".txt", -1, false},  // 256 units
  };
  CZovFileListStore store;
  for (const Case& c : cases) {
    if (c.bytes >= 0) MakeFile(c.path, c.bytes);
    const int before = store.Count();
    store.AddFile(c.path);
    EXPECT_EQ(store.Count() - before, c.accepted ? 1 : 0) << c.path;
    EXPECT_EQ(store.FindIndex(c.path) >= 0, c.accepted) << c.path;
  }
}

TEST(FileListStore, ExtensionsAreComparedWhole) {
  struct Case {
    const char* text;
    bool media, video;
  };
  const Case cases[] = {
      {"/d/clip.mp4", true, true},      {"/d/clip.MOV", true, true},   {"/d/clip.rmvb", true, true},
      {"/d/log.txt", true, false},      {"/d/log.TXT", true, false},   {".ts", true, true},
      {"/d/notes.tsv", false, false},   {"/media/a.mp4s/log.txt", true, false},
      {"/media/a.mp4/log", false, false}, {"/d/clip.Mp4", false, false}, {"/d/clip", false, false},
      {"", false, false},               {"/d/x.jpg", false, false},    {"/d/song.MP3", true, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CZovFileListStore::IsMediaExtension(c.text), c.media) << c.text;
    EXPECT_EQ(CZovFileListStore::IsVideoExtension(c.text), c.video) << c.text;
  }
  EXPECT_EQ(CZovFileListStore::ExtensionOf("/a.b/c"), ".b/c");
  EXPECT_EQ(CZovFileListStore::ExtensionOf("/ab/c"), "");
}

TEST(FileListStore, DroppedFilesAddMediaAndSelectOnlyAListedFirstItem) {
  const std::string dir = zovtest::TempDir();
  const std::string jpg = MakeFile(dir + "/a.jpg", 10), tsv = MakeFile(dir + "/notes.tsv", 10);
  const std::string mp4 = MakeFile(dir + "/b.mp4", kVideo), log = MakeFile(dir + "/c.txt", 10);
  CZovFileListStore store;
  EXPECT_EQ(store.AddDropped({}), -1);
  // The first item is not media: the rest is added, nothing becomes current.
  EXPECT_EQ(store.AddDropped({jpg, mp4, tsv}), -1);
  EXPECT_EQ(store.Paths(), std::vector<std::string>{mp4});
  EXPECT_EQ(store.CopyPlayingPaths(nullptr), -1);
  // A listed first item (here already there) becomes current.
  EXPECT_EQ(store.AddDropped({log, mp4}), 1);
  EXPECT_EQ(store.Count(), 2);
  EXPECT_EQ(store.GetCurrentPath(), log);

  // A dropped folder (a camera's card) is read into the library in the
  // background, subfolders too: its drive, its moments and the files that
  // cannot play; once its first moment is known, that moment is to be played.
  const std::string card = dir + "/card/DCIM/Movie";
  const std::string clip = zovtest::Fixture("h264_aac44_30fps.mp4");
  if (clip.empty()) return;
  const std::string front = card + "/2024_0517_080000_001F.MP4";
  for (const std::string& name : {front, card + "/2024_0517_080001_001R.MP4",
                                  card + "/RO/2024_0517_080100_002EF.MP4"}) {
    fs::create_directories(fs::path(name).parent_path());
    fs::copy_file(clip, name);
  }
  MakeFile(card + "/2024_0517_090000_003F.MP4", 0);
  MakeFile(dir + "/card/thumb.jpg", 10);
  CZovFileListStore cardStore;
  cardStore.SetLibraryIndexPath(dir + "/library.sqlite");
  std::atomic<int> told{0};
  cardStore.SetLibraryListener([&] { ++told; });
  EXPECT_EQ(cardStore.AddDropped({dir + "/card"}), -1);  // nothing to play yet
  ASSERT_TRUE(zovtest::WaitUntil([&] { return !cardStore.LibraryProgress().scanning && told > 0; }, 20000));
  const std::vector<ZovListRow> rows = cardStore.Rows();
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0].kind, ZovRowKind::kDrive);
  EXPECT_EQ(rows[0].text, "2024-05-17  08:00-08:01  0.0 km  2 moments");
  EXPECT_EQ(rows[1].kind, ZovRowKind::kMoment);
  EXPECT_EQ(rows[1].text, "08:00:00  F R");
  EXPECT_EQ(rows[1].path, front);
  EXPECT_EQ(rows[2].badge, "LOCKED");
  EXPECT_EQ(rows[3].kind, ZovRowKind::kUnplayable);
  EXPECT_EQ(rows[3].text, "2024_0517_090000_003F.MP4: empty file");
  EXPECT_TRUE(cardStore.TakePlayRequest());
  EXPECT_FALSE(cardStore.TakePlayRequest());
  EXPECT_EQ(cardStore.FirstMomentIndex(), 1);
  // The drive row stands for its first moment; continuous play steps over
  // the file that cannot play; going back wraps past it too.
  EXPECT_EQ(cardStore.SelectIndex(0), 0);
  EXPECT_EQ(cardStore.GetCurrentIndex(), 1);
  EXPECT_EQ(cardStore.GetCurrentPath(), front);
  EXPECT_EQ(cardStore.SelectNext(), 0);
  EXPECT_EQ(cardStore.GetCurrentIndex(), 2);
  EXPECT_EQ(cardStore.SelectNext(), -1);
  EXPECT_EQ(cardStore.SelectIndex(3), -1);  // an unplayable row is never current
  EXPECT_EQ(cardStore.CopyPlayingPaths(nullptr), -1);
  EXPECT_EQ(cardStore.SelectIndex(1), 0);
  EXPECT_EQ(cardStore.SelectPrevious(), 0);
  EXPECT_EQ(cardStore.GetCurrentIndex(), 2);
  // A file added on its own comes before the library rows, which keep the current one.
  EXPECT_EQ(cardStore.AddFile(mp4), -1);
  EXPECT_EQ(cardStore.Rows()[0].path, mp4);
  cardStore.ReplaceLibraryRows(ZovLibraryListRows(ZovLibrary{}));
  EXPECT_EQ(cardStore.Count(), 1);
  EXPECT_EQ(cardStore.CopyPlayingPaths(nullptr), -1);  // the playing row went with its card
}

TEST(FileListStore, SelectionMovesWithoutWrappingForwardAndWrapsBackward) {
  const std::string dir = zovtest::TempDir();
  CZovFileListStore store;
  EXPECT_EQ(store.SelectPrevious(), -1);  // empty list
  for (const char* n : {"1.txt", "2.txt", "3.txt"}) store.AddFile(MakeFile(dir + "/" + n, 1));
  EXPECT_EQ(store.GetCurrentIndex(), -1);
  EXPECT_EQ(store.GetCurrentPath(), "");
  store.SelectIfNone(1);
  EXPECT_EQ(store.GetCurrentIndex(), 1);
  store.SelectIfNone(2);
  EXPECT_EQ(store.GetCurrentIndex(), 1);
  EXPECT_EQ(store.SelectNext(), 0);
  EXPECT_EQ(store.SelectNext(), -1);  // last: no wrap
  EXPECT_EQ(store.GetCurrentIndex(), 2);
  EXPECT_EQ(store.SelectIndex(0), 0);
  EXPECT_EQ(store.SelectPrevious(), 0);  // first wraps to the last
  EXPECT_EQ(store.GetCurrentPath(), dir + "/3.txt");
  EXPECT_EQ(store.SelectIndex(3), -1);  // names no entry: index kept, nothing current
  EXPECT_EQ(store.GetCurrentIndex(), 3);
  std::string path = "x";
  EXPECT_EQ(store.CopyPlayingPaths(&path), -1);
  EXPECT_EQ(store.SelectIndex(4), 0);  // beyond the count: row 0
  EXPECT_EQ(store.CopyPlayingPaths(&path), 1);
  EXPECT_EQ(path, dir + "/1.txt");
  EXPECT_EQ(store.CurrentFolder(), dir);
}

TEST(FileListStore, RemovingFreesTheTrackAndAnEmptyFolder) {
  const std::string root = zovtest::TempDir();
  ScriptedStore s;
  s.pointsFor = [](const std::string&) { return Line(1, 24.0, 121.0); };
  s.store.AddFile(MakeFile(root + "/a/1.txt", 1));
  s.store.AddFile(MakeFile(root + "/b/1.txt", 1));
  s.store.AddFile(MakeFile(root + "/a/2.txt", 1));
  s.store.LoadAllTracks();
  EXPECT_EQ(s.extractions, 3);
  s.store.SelectIndex(2);
  EXPECT_EQ(s.store.CurrentFolder(), root + "/b");
  s.store.RemoveAt(2);
  EXPECT_EQ(s.store.Count(), 2);
  EXPECT_EQ(s.store.CurrentFolder(), "");
  EXPECT_EQ(s.store.CopyPlayingPaths(nullptr), -1);
  // The b folder is gone: a new b file starts a new folder at the end.
  s.store.AddFile(root + "/b/1.txt");
  EXPECT_EQ(s.store.FindIndex(root + "/b/1.txt"), 2);
  FileTrack track;
  ASSERT_TRUE(s.store.CopyTrack(root + "/b/1.txt", &track));
  EXPECT_EQ(track.extracted, 0);  // a fresh entry, loaded again when needed
  s.store.RemoveAt(0);
  s.store.RemoveAt(7);  // out of range: nothing
  EXPECT_EQ(s.store.Paths(), (std::vector<std::string>{root + "/a/2.txt", root + "/b/1.txt"}));
}

TEST(FileListStore, TrackIsLoadedOnceAndTheAbsoluteIndexBaseApplies) {
  const std::string dir = zovtest::TempDir();
  ScriptedStore s;
  s.pointsFor = [](const std::string&) {
    std::string t;
    for (int i = 0; i < 60; ++i) t += Line(5000 + i, 24.0 + i * 0.001, 121.0);
    return t;
  };
  const std::string path = MakeFile(dir + "/drive.txt", 1);
  s.store.AddFile(path);
  s.store.MakeCurrent(path);
  s.store.MakeCurrent(path);
  EXPECT_EQ(s.extractions, 1);
  EXPECT_EQ(s.store.CurrentPointCount(), 60);
  const ZovSecondResult r = s.store.PointForSecond(0, 0, 60);
  ASSERT_EQ(r.kind, ZovTickKind::kFound);
  EXPECT_FLOAT_EQ(r.tick.latitude, static_cast<float>(24.001 + kZovLoadNudge));  // index 5001
  EXPECT_EQ(r.latHemisphere, 'N');
  // The same second again sends nothing; a new current track starts afresh.
  EXPECT_EQ(s.store.PointForSecond(5, 1, 60).kind, ZovTickKind::kFound);
  EXPECT_EQ(s.store.PointForSecond(5, 1, 60).kind, ZovTickKind::kUnchanged);
  s.store.MakeCurrent(path);
  EXPECT_EQ(s.store.PointForSecond(5, 1, 60).kind, ZovTickKind::kFound);
  // A path that names no entry leaves the current track empty.
  s.store.MakeCurrent(dir + "/other.txt");
  EXPECT_EQ(s.store.CurrentPointCount(), 0);
  EXPECT_EQ(s.store.PointForSecond(1, 1, 60).kind, ZovTickKind::kNone);
}

TEST(FileListStore, RealExtractorOnSideTexts) {
  const std::string dir = zovtest::TempDir();
  // A drive through Beijing, written the way cameras write side files.
  const ZovFixtureTrack drive = ZovFixtureDrive(20, 39.9, 116.4);
  std::string error;
  ASSERT_TRUE(ZovWriteFixture(ZovFixtureLayout::kTextG1, "", dir + "/drive.txt", drive, {}, &error))
      << error;
  zovtest::Spit(dir + "/plain.txt", "no positions in here\n");

  for (const char* map : {"Openstreetmap", "gaode"}) {
    SCOPED_TRACE(map);
    CZovFileListStore store;
    store.SetMapNameSource([map] { return std::string(map); });
    store.SetWarningSink([](const std::string& t) { ADD_FAILURE() << t; });
    store.AddFile(dir + "/drive.txt");
    store.AddFile(dir + "/plain.txt");
    store.MakeCurrent(dir + "/drive.txt");
    const std::vector<GpsPoint> points = store.CurrentPoints();
    ASSERT_EQ(points.size(), drive.size());
    const double dLat = points[0].latitude - (drive[0].latitude + kZovLoadNudge);
    const double dLon = points[0].longitude - (drive[0].longitude + kZovLoadNudge);
    if (std::string(map) == "gaode") {
      // Shifted by the datum offset here: about +0.0013 and +0.0061 degrees.
      EXPECT_NEAR(dLat, 0.0013, 0.0003);
      EXPECT_NEAR(dLon, 0.0061, 0.0003);
    } else {
      EXPECT_NEAR(dLat, 0.0, 2e-5);
      EXPECT_NEAR(dLon, 0.0, 2e-5);
    }
    // No GPS in the file: loaded (flag 1) and empty; the tick carries zeros.
    store.MakeCurrent(dir + "/plain.txt");
    FileTrack plain;
    ASSERT_TRUE(store.CopyTrack(dir + "/plain.txt", &plain));
    EXPECT_EQ(plain.extracted, 1);
    EXPECT_EQ(plain.pointCount, 0);
    EXPECT_EQ(plain.sampleCount, 0);
    EXPECT_EQ(store.CurrentPointCount(), 0);
    const ZovSecondResult r = store.PointForSecond(3, 1, 20);
    EXPECT_EQ(r.kind, ZovTickKind::kNone);
    EXPECT_EQ(r.tick.latitude, 0.0f);
    EXPECT_EQ(r.tick.longitude, 0.0f);
  }
}

TEST(FileListStore, AnExceptionDuringALoadWarnsOnceAndKeepsTheFlag) {
  const std::string dir = zovtest::TempDir();
  ScriptedStore s;
  s.store.SetExtractor([&](const std::string&, std::string*, std::string*) -> int {
    ++s.extractions;
    throw std::runtime_error("broken file");
  });
  const std::string path = MakeFile(dir + "/broken.txt", 1);
  s.store.AddFile(path);
  s.store.MakeCurrent(path);
  s.store.MakeCurrent(path);
  EXPECT_EQ(s.extractions, 1);
  EXPECT_EQ(s.warnings, std::vector<std::string>{kZovGpsExceptText});
  FileTrack track;
  ASSERT_TRUE(s.store.CopyTrack(path, &track));
  EXPECT_EQ(track.extracted, 1);
}

TEST(FileListStore, AllTracksDrawEveryFileOfTheCurrentFolder) {
  const std::string root = zovtest::TempDir();
  ScriptedStore s;
  s.pointsFor = [](const std::string& p) {
    const int n = p.back() == 't' ? p[p.size() - 5] - '0' : 0;  // ".../N.txt" -> N points
    std::string t;
    for (int i = 1; i <= n; ++i) t += Line(i, 24.0, 121.0 + n);
    return t;
  };
  const char* names[] = {"/a/3.txt", "/a/1.txt", "/b/4.txt", "/a/2.txt"};
  for (const char* n : names) MakeFile(root + n, 1);
  for (const char* n : names) s.store.AddFile(root + n);
  s.store.SetAllTracks(true);
  s.store.LoadAllTracks();
  s.store.SelectIndex(1);
  s.store.MakeCurrent(root + "/a/2.txt");
  std::vector<std::pair<int, size_t>> drawn;
  auto ends = s.store.VisitTracksToDraw(
      [&](int n, const std::vector<GpsPoint>& points) { drawn.emplace_back(n, points.size()); });
  EXPECT_EQ(drawn, (std::vector<std::pair<int, size_t>>{{0, 1}, {1, 2}, {2, 3}}));
  EXPECT_TRUE(ends.hasPoints);
  EXPECT_FLOAT_EQ(ends.firstLongitude, static_cast<float>(123.0 + kZovLoadNudge));

  s.store.SetAllTracks(false);
  drawn.clear();
  s.store.VisitTracksToDraw(
      [&](int n, const std::vector<GpsPoint>& points) { drawn.emplace_back(n, points.size()); });
  EXPECT_EQ(drawn, (std::vector<std::pair<int, size_t>>{{0, 2}}));
}

// While a large file is being scanned on a loader thread, the list and the
// current track stay usable (the user-interface thread never waits for the
// scan), and removing the file being scanned is safe.
TEST(FileListStore, ListStaysUsableWhileATrackLoads) {
  const std::string dir = zovtest::TempDir();
  ScriptedStore s;
  std::mutex m;
  std::condition_variable cv;
  bool scanning = false, release = false;
  s.store.SetExtractor([&](const std::string&, std::string* points, std::string*) {
    std::unique_lock<std::mutex> lock(m);
    scanning = true;
    cv.notify_all();
    cv.wait(lock, [&] { return release; });
    *points = Line(1, 24.0, 121.0);
    return 1;
  });
  const std::string slow = MakeFile(dir + "/slow.txt", 1);
  s.store.AddFile(slow);
  std::thread loader([&] { s.store.MakeCurrent(slow); });
  {
    std::unique_lock<std::mutex> lock(m);
    ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(10), [&] { return scanning; }));
  }
  // Everything the user-interface thread does returns while the scan is held.
  s.store.AddFile(MakeFile(dir + "/other.txt", 1));
  EXPECT_EQ(s.store.SelectIndex(1), 0);
  EXPECT_EQ(s.store.PointForSecond(1, 1, 60).kind, ZovTickKind::kNone);
  s.store.VisitTracksToDraw([](int, const std::vector<GpsPoint>&) {});
  s.store.RemoveAt(s.store.FindIndex(slow));
  EXPECT_EQ(s.store.Count(), 1);
  {
    std::lock_guard<std::mutex> lock(m);
    release = true;
  }
  cv.notify_all();
  loader.join();
  // The removed entry took its track with it.
  EXPECT_FALSE(s.store.CopyTrack(slow, nullptr));
  EXPECT_EQ(s.store.CurrentPointCount(), 1);
}

TEST(FileListStore, SingletonIsCreatedOnceAndDeleted) {
  EXPECT_EQ(CZovFileListStore::Peek(), nullptr);
  CZovFileListStore* store = CZovFileListStore::GetInstance();
  EXPECT_EQ(CZovFileListStore::GetInstance(), store);
  EXPECT_EQ(CZovFileListStore::Peek(), store);
  CZovFileListStore::DeleteInstance();
  EXPECT_EQ(CZovFileListStore::Peek(), nullptr);
}
