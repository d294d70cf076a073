// Scans of real card trees (made by make-card, clips by ffmpeg) and of a
// hostile one: recursion from any level, hidden and system folders, link
// loops, the depth cap, names that are not UTF-8, content sniffing, side
// files, the reasons of unplayable files, cancel and early snapshots; and
// the index: warm re-scans, changed files, damaged and foreign databases.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <set>

#include "library/zov_library_index.h"
#include "library/zov_library_model.h"
#include "library/zov_library_scan.h"
#include "tests/common/test_paths.h"

namespace fs = std::filesystem;

namespace {

std::string Cards() { return zovtest::FixtureDir() + "/cards"; }

std::string Card(const std::string& family) {
  const std::string dir = Cards() + "/" + family;
  if (!fs::exists(dir)) ADD_FAILURE() << dir << " missing: run ctest -R fixtures.cards";
  return dir;
}

ZovScanOptions NoIndex() {
  ZovScanOptions o;
  o.useIndex = false;
  return o;
}

// "08:00:00 normal front,rear" per moment, "|" between drives.
std::string Outline(const ZovLibrary& lib) {
  std::string s;
  for (const ZovDrive& d : lib.drives) {
    if (!s.empty()) s += "| ";
    for (const ZovMoment& m : d.moments) {
      s += ZovFormatCameraTime(m.start).substr(11) + " " + ZovModeName(m.mode) + " ";
      for (const auto& [key, i] : m.channels) s += key + ",";
      s.back() = ' ';
    }
  }
  return s;
}

std::map<std::string, std::string> Reasons(const ZovLibrary& lib) {
  std::map<std::string, std::string> out;
  for (size_t i : lib.unplayable)
    out[fs::path(lib.recordings[i].path).filename().string()] = lib.recordings[i].facts.reason;
  return out;
}

bool HasMessage(const ZovLibrary& lib, const std::string& part) {
  for (const std::string& m : lib.messages)
    if (m.find(part) != std::string::npos) return true;
  return false;
}

const char* kCardOutline =
    "08:00:00 normal front,rear 08:01:00 normal front,rear 08:02:00 %s front,rear | "
    "08:33:00 normal front,rear 08:34:00 normal front,rear 08:35:00 %s front,rear ";

std::string Expected(const char* eventMode) {
  char text[512];
  std::snprintf(text, sizeof text, kCardOutline, eventMode, eventMode);
  return text;
}

TEST(LibraryScan, EveryFamilyCardGivesItsDrivesFromAnyLevel) {
  const std::pair<const char*, const char*> families[] = {
      {"underscore-sequence", "locked"}, {"record-folder", "event"}, {"kind-prefix", "event"},
      {"two-letter-kind", "event"},      {"six-camera", "manual"},   {"serial-letters", "event"},
      {"dated-two-digits", "event"},     {"file-prefix", "event"},   {"short-date-quality", "event"},
      {"fallback", "event"}};
  for (const auto& [family, eventMode] : families) {
    SCOPED_TRACE(family);
    const ZovLibrary lib = ZovScanLibrary({Card(family)}, NoIndex());
    EXPECT_EQ(Outline(lib), Expected(eventMode));
    EXPECT_EQ(lib.unplayable.size(), 2u);
    for (const auto& [name, reason] : Reasons(lib))
      EXPECT_TRUE(reason == "empty file" || reason == "cut short: no index") << name << ": " << reason;
    ASSERT_EQ(lib.drives.size(), 2u);
    const ZovMoment& first = lib.drives[0].moments[0];
    EXPECT_NEAR(first.seconds, 60.0, 0.6);
    // The front clips carry a 60-second GPS drive (the fallback card's too).
    EXPECT_EQ(first.gpsFixes, 60);
    EXPECT_GT(lib.drives[0].kilometres, 1.0);
  }
  // The card's root, its DCIM folder and a folder of cards all work.
  const std::string root = Card("underscore-sequence");
  EXPECT_EQ(Outline(ZovScanLibrary({root + "/DCIM"}, NoIndex())), Expected("locked"));
  // A folder of cards: each card's channels stay together, a moment per card.
  const ZovLibrary all = ZovScanLibrary({Cards()}, NoIndex());
  ASSERT_GE(all.drives.size(), 2u);
  EXPECT_EQ(ZovFormatCameraTime(all.drives[0].start), "2024-05-17T08:00:00");
  EXPECT_EQ(all.drives[0].moments.size(), 30u);
  for (const ZovMoment& m : all.drives[0].moments) EXPECT_EQ(m.channels.size(), 2u);
  EXPECT_EQ(all.unplayable.size(), 20u);
}

// Moments of several cards at one time name the card they come from (the
// folder below the one the cards share); the moments of one card do not.
TEST(LibraryScan, MomentsOfSeveralCardsAtOneTimeNameTheirCard) {
  const ZovLibrary all = ZovScanLibrary({Cards()}, NoIndex());
  std::set<std::string> sources;
  for (const ZovListRow& row : ZovLibraryListRows(all)) {
    if (row.kind != ZovRowKind::kMoment) {
      EXPECT_EQ(row.source, "") << row.text;
      continue;
    }
    // The fixture clips (no names, started at their file time) make a
    // drive of their own, which no other card meets.
    if (row.path.find("/card-clips/") != std::string::npos) {
      EXPECT_EQ(row.source, "") << row.text;
      continue;
    }
    ASSERT_FALSE(row.source.empty()) << row.text;
    EXPECT_EQ(row.source.find('/'), std::string::npos) << row.source;
    EXPECT_EQ(row.path.rfind(Cards() + "/" + row.source + "/", 0), 0u) << row.path;
    sources.insert(row.source);
  }
  for (const char* family : {"underscore-sequence", "record-folder", "six-camera", "fallback"})
    EXPECT_EQ(sources.count(family), 1u) << family;
  EXPECT_EQ(sources.size(), 10u);
  for (const ZovListRow& row : ZovLibraryListRows(ZovScanLibrary({Card("underscore-sequence")}, NoIndex())))
    EXPECT_EQ(row.source, "") << row.text;
}

class HostileTree : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = zovtest::TempDir() + "/card";
    clip_ = Cards() + "/card-clips/plain60.mp4";
    ASSERT_TRUE(fs::exists(clip_)) << "run ctest -R fixtures.cards";
    fs::create_directories(dir_ + "/Movie");
    Copy("Movie/2024_0517_080000_001F.MP4");
    Copy("Movie/2024_0517_080100_002F.MP4");
    Copy(".hidden/2024_0517_090000_001F.MP4");
    Copy("System Volume Information/2024_0517_090000_001F.MP4");
    Copy("Movie/\xff\xfe_clip.mp4");  // not UTF-8
    Copy("Movie/NOEXTENSION");         // an MP4 found by its first bytes
    fs::create_directory_symlink("..", dir_ + "/Movie/loop");
    std::string deep = "a/b/c/d/e";
    Copy(deep + "/2024_0517_100000_001F.MP4");
    zovtest::Spit(dir_ + "/Movie/junk.mp4", std::string(4096, 'j'));
    fs::copy_file(zovtest::Fixture("audio_only.mp3"), dir_ + "/Movie/sound.mp4");
    fs::copy_file(zovtest::Fixture("truncated.mp4"), dir_ + "/Movie/truncated.mp4");
    zovtest::Spit(dir_ + "/Movie/notes.jpg", "not a picture either");
    // Index written, media data never (a preallocated file): zeros.
    std::string bytes = zovtest::Slurp(clip_);
    const size_t mdat = bytes.find("mdat"), moov = bytes.find("moov");
    ASSERT_LT(mdat, moov);
    std::fill(bytes.begin() + static_cast<long>(mdat) + 4, bytes.begin() + static_cast<long>(moov) - 4, '\0');
    zovtest::Spit(dir_ + "/Movie/zeros.mp4", bytes);
  }
  void Copy(const std::string& rel) {
    fs::create_directories(fs::path(dir_ + "/" + rel).parent_path());
    fs::copy_file(clip_, dir_ + "/" + rel);
  }
  std::string dir_, clip_;
};

TEST_F(HostileTree, KeepsWhatItCanAndSaysWhatItCannot) {
  ZovScanOptions o = NoIndex();
  o.maxDepth = 3;  // a/b/c/d/e is deeper
  const ZovLibrary lib = ZovScanLibrary({dir_}, o);
  std::vector<std::string> playable;
  for (const ZovRecording& r : lib.recordings)
    if (r.facts.playable) playable.push_back(fs::path(r.path).filename().string());
  std::sort(playable.begin(), playable.end());
  EXPECT_EQ(playable, (std::vector<std::string>{"2024_0517_080000_001F.MP4", "2024_0517_080100_002F.MP4",
                                                "NOEXTENSION", "\xff\xfe_clip.mp4"}));
  const auto reasons = Reasons(lib);
  EXPECT_EQ(reasons.at("junk.mp4"), "not a recording");
  EXPECT_EQ(reasons.at("sound.mp4"), "cannot be decoded: no picture stream");
  EXPECT_EQ(reasons.at("truncated.mp4"), "cut short: no index");
  EXPECT_EQ(reasons.at("zeros.mp4"), "cannot be decoded: no picture data");
  EXPECT_EQ(reasons.count("notes.jpg"), 0u);
  EXPECT_TRUE(HasMessage(lib, "a link back to a folder")) << lib.messages.size();
  EXPECT_TRUE(HasMessage(lib, "folders deep"));
  // Named ones make a drive; the unnamed ones start at their file time.
  ASSERT_FALSE(lib.drives.empty());
  EXPECT_EQ(ZovFormatCameraTime(lib.drives[0].start), "2024-05-17T08:00:00");
}

TEST_F(HostileTree, UnreadableFolderIsNamedAndTheRestKept) {
  fs::create_directories(dir_ + "/locked");
  Copy("locked/2024_0517_110000_001F.MP4");
  ::chmod((dir_ + "/locked").c_str(), 0);
  // Root reads every folder: scan as an ordinary user then.
  const bool root = ::geteuid() == 0;
  if (root) {
    for (fs::path p = dir_; p != p.root_path() && p != "/tmp"; p = p.parent_path())
      ::chmod(p.c_str(), 0755);
    ASSERT_EQ(::seteuid(65534), 0);
  }
  const ZovLibrary lib = ZovScanLibrary({dir_}, NoIndex());
  if (root) {
    ASSERT_EQ(::seteuid(0), 0);
  }
  ::chmod((dir_ + "/locked").c_str(), 0755);
  EXPECT_TRUE(HasMessage(lib, "locked: cannot be read: Permission denied"));
  ASSERT_FALSE(lib.drives.empty());
  EXPECT_EQ(lib.drives[0].moments.size(), 2u);  // the 08:00 and 08:01 clips
  for (const ZovRecording& r : lib.recordings) EXPECT_EQ(r.path.find("/locked/"), std::string::npos);
}

TEST_F(HostileTree, SideFileWithTheSameNameGivesTheTrack) {
  // A recording without GPS of its own and a GPS log of the same base name.
  const std::string log = dir_ + "/Movie/2024_0517_080000_001F.txt";
  const std::string tool = zovtest::BinDir() + "/zovgpsfixture";
  ASSERT_EQ(std::system((tool + " txt-g1 " + clip_ + " " + log + " --seconds 20 >/dev/null").c_str()), 0);
  const ZovLibrary lib = ZovScanLibrary({dir_ + "/Movie"}, NoIndex());
  const ZovRecording* rec = nullptr;
  for (const ZovRecording& r : lib.recordings)
    if (r.path.find("080000_001F.MP4") != std::string::npos) rec = &r;
  ASSERT_NE(rec, nullptr);
  EXPECT_EQ(rec->sideFiles, std::vector<std::string>{log});
  EXPECT_EQ(rec->gpsFixes, 20);
  EXPECT_EQ(rec->track.size(), 20u);
  EXPECT_TRUE(lib.sideFiles.empty());
}

TEST_F(HostileTree, CancelEndsTheScanAndSnapshotsComeBeforeTheEnd) {
  std::atomic<bool> cancel{false};
  ZovScanOptions o = NoIndex();
  o.cancel = &cancel;
  size_t total = 0;
  o.progress = [&](const ZovScanProgress& p) {
    total = p.total;
    if (p.done == 1) cancel = true;
  };
  const ZovLibrary cut = ZovScanLibrary({dir_}, o);
  EXPECT_GT(total, 2u);
  EXPECT_EQ(cut.recordings.size(), 1u);
  EXPECT_TRUE(HasMessage(cut, "scan cancelled: 1 of"));

  // The first snapshot comes once the first moment is complete, with it playable.
  ZovScanOptions s = NoIndex();
  std::vector<std::shared_ptr<const ZovLibrary>> shots;
  s.snapshot = [&](std::shared_ptr<const ZovLibrary> l) { shots.push_back(std::move(l)); };
  const ZovLibrary whole = ZovScanLibrary({dir_ + "/Movie"}, s);
  ASSERT_FALSE(shots.empty());
  EXPECT_LT(shots[0]->recordings.size(), whole.recordings.size());
  ASSERT_FALSE(shots[0]->drives.empty());
  EXPECT_TRUE(shots[0]->recordings[shots[0]->drives[0].moments[0].Lead()].facts.playable);
}

class LibraryIndex : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = zovtest::TempDir() + "/cache/ZovGpsPlay/library.sqlite";
    card_ = Card("record-folder");
  }
  ZovLibrary Scan(ZovScanStats* stats) {
    ZovScanOptions o;
    o.indexPath = db_;
    return ZovScanLibrary({card_}, o, stats);
  }
  std::string db_, card_;
};

TEST_F(LibraryIndex, WarmScanOpensNothingAndChangedFilesAreReadAgain) {
  ZovScanStats cold, warm, changed;
  const ZovLibrary first = Scan(&cold);
  EXPECT_EQ(cold.probed, 14u);
  EXPECT_EQ(cold.fromIndex, 0u);
  const ZovLibrary second = Scan(&warm);
  EXPECT_EQ(warm.probed, 0u);
  EXPECT_EQ(warm.fromIndex, 14u);
  EXPECT_EQ(Outline(second), Outline(first));
  EXPECT_EQ(Reasons(second), Reasons(first));
  ASSERT_EQ(second.drives[0].moments[0].gpsFixes, 60);
  const ZovRecording& lead = second.recordings[second.drives[0].moments[0].Lead()];
  const ZovRecording& was = first.recordings[first.drives[0].moments[0].Lead()];
  ASSERT_EQ(lead.track.size(), was.track.size());
  EXPECT_EQ(lead.track.back().latitude, was.track.back().latitude);
  EXPECT_EQ(lead.track.back().time, was.track.back().time);
  EXPECT_DOUBLE_EQ(second.drives[0].kilometres, first.drives[0].kilometres);

  // A file rewritten since (new time) is read again; the others are not.
  const std::string file = card_ + "/Record/20240517_080000_NF.mp4";
  const fs::file_time_type was_time = fs::last_write_time(file);
  fs::last_write_time(file, was_time + std::chrono::seconds(5));
  Scan(&changed);
  fs::last_write_time(file, was_time);
  EXPECT_EQ(changed.probed, 1u);
  EXPECT_EQ(changed.fromIndex, 13u);
}

TEST_F(LibraryIndex, UntrustedDatabasesAreMovedAsideAndRebuilt) {
  struct Case {
    const char* what;
    std::function<void(const std::string&)> make;
    const char* message;
    const char* asideSuffix;
  } cases[] = {
      {"garbage", [](const std::string& p) { zovtest::Spit(p, std::string(8192, '\x5a')); },
       "damaged", ".damaged-"},
      {"another program's database",
       [](const std::string& p) {
         sqlite3* db = nullptr;
         sqlite3_open(p.c_str(), &db);
         sqlite3_exec(db, "CREATE TABLE recordings(x); INSERT INTO recordings VALUES (1);", nullptr, nullptr, nullptr);
         sqlite3_close(db);
       },
       "written by another program", ".other-"},
      {"another schema version",
       [](const std::string& p) {
         sqlite3* db = nullptr;
         sqlite3_open(p.c_str(), &db);
         const std::string sql = "CREATE TABLE recordings(x); PRAGMA application_id=" +
                                 std::to_string(kZovIndexApplicationId) + "; PRAGMA user_version=99;";
         sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
         sqlite3_close(db);
       },
       "written by another version (schema 99)", ".other-"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string folder = fs::path(db_).parent_path().string();
    fs::remove_all(folder);
    fs::create_directories(folder);
    c.make(db_);
    ZovScanStats stats;
    const ZovLibrary lib = Scan(&stats);
    EXPECT_TRUE(HasMessage(lib, c.message));
    EXPECT_TRUE(HasMessage(lib, "made anew"));
    EXPECT_EQ(stats.probed, 14u);  // nothing was taken from the untrusted file
    EXPECT_EQ(lib.drives.size(), 2u);
    size_t aside = 0;
    for (const auto& e : fs::directory_iterator(folder))
      aside += e.path().filename().string().find(c.asideSuffix) != std::string::npos;
    EXPECT_EQ(aside, 1u);
    // The new database is trusted next time.
    const ZovLibrary again = Scan(&stats);
    EXPECT_TRUE(again.messages.empty());
    EXPECT_EQ(stats.fromIndex, 14u);
  }
}

TEST_F(LibraryIndex, TheDriveGapIsASettingOfTheIndex) {
  ZovScanStats stats;
  EXPECT_EQ(Scan(&stats).drives.size(), 2u);  // 30 minutes apart
  {
    CZovLibraryIndex index;
    std::string message;
    ASSERT_TRUE(index.Open(db_, &message));
    ASSERT_TRUE(index.SetSetting(kZovDriveGapSetting, "3600"));
  }
  EXPECT_EQ(Scan(&stats).drives.size(), 1u);
  ZovScanOptions o;
  o.indexPath = db_;
  o.driveGapSeconds = 60;  // given: the setting does not apply
  EXPECT_EQ(ZovScanLibrary({card_}, o).drives.size(), 2u);
}

TEST_F(LibraryIndex, SettingsAndPathsThatAreNotUtf8RoundTrip) {
  CZovLibraryIndex index;
  std::string message;
  ASSERT_TRUE(index.Open(db_, &message)) << message;
  EXPECT_EQ(index.Setting("camera_zone", "none"), "none");
  EXPECT_TRUE(index.SetSetting("camera_zone", "+02:00"));
  EXPECT_EQ(index.Setting("camera_zone"), "+02:00");
  ZovRecording r;
  r.path = "/card/\xff\xfe/a.mp4";
  r.size = 10;
  r.mtimeNs = 20;
  r.facts.playable = true;
  r.facts.seconds = 60;
  r.track = {{22.5, 114.1, 30.0f, 1700000000}};
  r.gpsFixes = 1;
  ASSERT_TRUE(index.Store(r));
  ZovRecording back;
  EXPECT_FALSE(index.Lookup(r.path, 11, 20, &back));  // size changed
  ASSERT_TRUE(index.Lookup(r.path, 10, 20, &back));
  EXPECT_TRUE(back.facts.playable);
  ASSERT_EQ(back.track.size(), 1u);
  EXPECT_EQ(back.track[0].latitude, 22.5);
  EXPECT_EQ(back.track[0].time, 1700000000);
  std::vector<std::string> under;
  index.VisitUnder("/card/\xff\xfe", [&](ZovRecording&& x) { under.push_back(x.path); });
  index.VisitUnder("/car", [&](ZovRecording&& x) { under.push_back("wrong: " + x.path); });
  EXPECT_EQ(under, std::vector<std::string>{r.path});
}

}  // namespace
