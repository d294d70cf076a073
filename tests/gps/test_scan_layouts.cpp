// Container walks on real clips carrying a track in each layout, and on
// hostile files that must end the walks early and safely.
#include <gtest/gtest.h>

#include <chrono>
#include <tuple>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "tests/gps/test_scan_support.h"

using namespace zovgpstest;

namespace {

struct Scanned {
  CZovGpsFile file;
  RecordingSink sink;
  CZovGpsScan scan{file, sink};
  explicit Scanned(const std::string& path) { EXPECT_TRUE(file.Open(path)) << path; }
};

}  // namespace

TEST(ScanSourceKind, ByExactExtension) {
  using K = ZovGpsSourceKind;
  const std::pair<const char*, K> rows[] = {
      {"a.TS", K::kTransportStream}, {"a.ts", K::kTransportStream}, {"a.Ts", K::kNone},
      {"a.txt", K::kText},           {"a.TXT", K::kNone},           {"a.avi", K::kAvi},
      {"a.AVI", K::kAvi},            {"a.mp4", K::kMp4},            {"a.MP4", K::kMp4},
      {"a.mov", K::kMp4},            {"a.MOV", K::kMp4},            {"a.Mp4", K::kNone},
      {"a.mkv", K::kNone},           {"noext", K::kNone},           {"dir.mp4/file", K::kNone},
      {"/x/y.b.ts", K::kTransportStream},
  };
  for (const auto& [name, kind] : rows) EXPECT_EQ(ZovGpsSourceKindOf(name), kind) << name;
}

TEST(ScanMp4, GpsTableWithEmptySlotGivesThreeCandidatesAndRecordsAt48) {
  const ZovFixtureTrack track = ZovFixtureDrive(3);
  ZovFixtureOptions o;
  o.zeroLengthEntry = true;
  Scanned s(WriteLayout(ZovFixtureLayout::kGpsTable48, track, o));
  s.scan.WalkBoxes();
  ASSERT_EQ(s.scan.Candidates().size(), 3u);
  EXPECT_EQ(s.sink.blocks.size(), 3u);
  for (const ZovGpsCandidate& c : s.scan.Candidates()) EXPECT_EQ(c.length, 256u);
  EXPECT_TRUE(Contains(s.sink.blocks[0], "freeGPS "));

  s.scan.WalkBinaryRecords();
  ASSERT_EQ(s.sink.records.size(), 3u);
  for (uint32_t i = 0; i < 3; ++i) {
    EXPECT_EQ(s.sink.records[i].second, i);
    EXPECT_EQ(s.sink.records[i].first, ZovFixtureBinaryRecord(track[i]));
  }
}

TEST(ScanMp4, GpsTableRecordsAt16) {
  const ZovFixtureTrack track = ZovFixtureDrive(4);
  Scanned s(WriteLayout(ZovFixtureLayout::kGpsTable16, track));
  s.scan.WalkBinaryRecords();
  ASSERT_EQ(s.sink.records.size(), 4u);
  EXPECT_EQ(s.sink.records[3].first, ZovFixtureBinaryRecord(track[3]));
}

TEST(ScanMp4, FreeGpsBlocksBehindSoundChunks) {
  const ZovFixtureTrack track = ZovFixtureDrive(200);
  Scanned s(WriteLayout(ZovFixtureLayout::kFreeGpsSowt, track));
  s.scan.WalkBinaryRecords();
  ASSERT_GE(s.sink.records.size(), 3u);
  EXPECT_EQ(s.scan.Candidates()[0].length, 256u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(s.sink.records[i].second, i);
    EXPECT_EQ(s.sink.records[i].first, ZovFixtureBinaryRecord(track[i]));
  }
}

TEST(ScanMp4, UdtaGpsChildAndSkipBoxAreCandidates) {
  const ZovFixtureTrack track = ZovFixtureDrive(5);
  {
    Scanned s(WriteLayout(ZovFixtureLayout::kUdtaGps, track));
    s.scan.WalkBoxes();
    ASSERT_EQ(s.sink.blocks.size(), 1u);
    const Bytes& b = s.sink.blocks[0];
    EXPECT_EQ(std::memcmp(b.data() + 4, "udta", 4), 0);
    EXPECT_EQ(std::memcmp(b.data() + 12, "GPS ", 4), 0);
    EXPECT_EQ(std::memcmp(b.data() + 16, "KARUGPS", 7), 0);
  }
  {
    Scanned s(WriteLayout(ZovFixtureLayout::kSkipBox, track));
    s.scan.WalkBoxes();
    ASSERT_EQ(s.sink.blocks.size(), 1u);
    EXPECT_EQ(std::memcmp(s.sink.blocks[0].data() + 4, "skip", 4), 0);
    EXPECT_EQ(s.scan.Candidates()[0].offset + s.scan.Candidates()[0].length, s.file.Size());
  }
}

TEST(ScanMp4, AmbaTrackRecordsAndTextTrackSamples) {
  const ZovFixtureTrack track = ZovFixtureDrive(2);
  {
    Scanned s(WriteLayout(ZovFixtureLayout::kAmba, track));
    s.scan.WalkBoxes();
    ASSERT_GE(s.sink.amba.size(), 2u);
    EXPECT_EQ(std::string(s.sink.amba[0].begin(), s.sink.amba[0].begin() + 4), "$GS,");
    EXPECT_TRUE(s.sink.blocks.empty());  // the AMBA track ends the walk
  }
  {
    Scanned s(WriteLayout(ZovFixtureLayout::kTextTrack, track));
    s.scan.ScanSamples();
    size_t info = 0;
    for (const Bytes& b : s.sink.blocks) info += Contains(b, "GPSINFO-");
    EXPECT_GE(info, 2u);
  }
}

TEST(ScanMp4, GpmdTrackChunksAreCandidates) {
  const ZovFixtureTrack track = ZovFixtureDrive(2);
  Scanned s(WriteLayout(ZovFixtureLayout::kGpmdTrack, track));
  s.scan.ScanSamples();  // track 2 is probed for KARU blocks only
  EXPECT_TRUE(s.sink.blocks.empty());
  s.scan.WalkBoxes();
  ASSERT_GE(s.scan.Candidates().size(), 2u);
  for (const ZovGpsCandidate& c : s.scan.Candidates()) EXPECT_EQ(c.length, 820u);
  EXPECT_TRUE(Contains(s.sink.blocks[0], "GPSINFO-"));
}

TEST(ScanTail, IndexedTailBoxesAndVersion10LeavesBoxWalk) {
  const ZovFixtureTrack track = ZovFixtureDrive(4);
  Scanned s(WriteLayout(ZovFixtureLayout::kTailIndex, track));
  s.scan.ScanTailIndex();
  ASSERT_EQ(s.scan.Candidates().size(), 1u);
  ASSERT_EQ(s.sink.blocks.size(), 1u);
  EXPECT_EQ(std::memcmp(s.sink.blocks[0].data() + 4, "hgps", 4), 0);
  EXPECT_EQ(std::memcmp(s.sink.blocks[0].data() + 8, "KARUGPS", 7), 0);
}

TEST(ScanTail, LengthLargerThanFileOrBadFooterGivesNothing) {
  const std::string dir = zovtest::TempDir();
  Bytes body(400, 'x');
  for (uint32_t l : {0xFFFFFFF0u, 1000u, 380u}) {
    Bytes d = body;
    d.insert(d.end(), {'&', '&', '&', '&'});
    Be32(d, l);
    WriteFile(dir + "/tail.mp4", d);
    Scanned s(dir + "/tail.mp4");
    s.scan.ScanTailIndex();
    EXPECT_TRUE(s.scan.Candidates().empty()) << l;
  }
  Bytes mixed = body;
  mixed.insert(mixed.end(), {'&', '#', '&', '&', 0, 0, 0, 50});
  WriteFile(dir + "/mixed.mp4", mixed);
  Scanned m(dir + "/mixed.mp4");
  m.scan.ScanTailIndex();
  EXPECT_TRUE(m.scan.Candidates().empty());
}

TEST(ScanTail, ZeroSizedMarkedBoxDoesNotStall) {
  // A `skip` tag with size 0 inside an indexed tail: stepped over, the real
  // box after it is found.
  Bytes tail = Cat({Bytes{0, 0, 0, 0, 's', 'k', 'i', 'p'}, Box("skip", Bytes(200, 'k'))});
  Bytes d = Cat({Bytes(300, 'x'), tail});
  d.insert(d.end(), {'#', '#', '#', '#'});
  Be32(d, uint32_t(tail.size() + 8));
  const std::string p = zovtest::TempDir() + "/zero.mp4";
  WriteFile(p, d);
  Scanned s(p);
  s.scan.ScanTailIndex();
  ASSERT_EQ(s.scan.Candidates().size(), 1u);
  EXPECT_EQ(s.scan.Candidates()[0].offset, 308u);
}

TEST(ScanTransportStream, KaruPacketsFoundAtTheirTags) {
  const ZovFixtureTrack track = ZovFixtureDrive(6);
  Scanned s(WriteLayout(ZovFixtureLayout::kTransportStream, track));
  s.scan.ScanTransportStream();
  ASSERT_EQ(s.scan.StreamHits().size(), 6u);
  ASSERT_EQ(s.sink.blocks.size(), 6u);
  for (const Bytes& b : s.sink.blocks) {
    EXPECT_EQ(std::memcmp(b.data(), "KARUGPS", 7), 0);
    EXPECT_EQ(b.size(), 188u);
  }
  // After the 4-byte packet header and the 14-byte PES header with its time.
  for (uint64_t off : s.scan.StreamHits()) EXPECT_EQ(off % 188, 18u);
}

TEST(ScanTransportStream, FileCutShortWhileOpenEndsTheScan) {
  // The file shrinks after it was opened (a card pulled, a copy cut short):
  // the chunk reads come back short and the scan ends without a fault.
  Scanned s(WriteLayout(ZovFixtureLayout::kTransportStream, ZovFixtureDrive(6)));
  ASSERT_EQ(::truncate(s.file.Path().c_str(), 1000), 0);
  s.scan.ScanTransportStream();
  for (uint64_t off : s.scan.StreamHits()) EXPECT_LT(off, 1000u);
  EXPECT_EQ(s.sink.blocks.size(), s.scan.StreamHits().size());
}

TEST(ScanTransportStream, HitsPastFourGibibytesKeepTheirOffsets) {
  // A sparse stream of 4.3 GiB: GPS packets in the first chunk, right after a
  // chunk boundary, past 2 GiB and past 4 GiB.
  const std::string p = zovtest::TempDir() + "/sparse.ts";
  const uint64_t chunk = zovscan::kTsChunk;
  // Packets sit on the 188-byte grid of the file.
  const uint64_t at[] = {188 * 10, chunk, ((2ull << 30) / 188 + 3) * 188, ((4ull << 30) / 188 + 7) * 188};
  const uint64_t size = (4ull << 30) + 188 * 100;
  int fd = ::open(p.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::ftruncate(fd, off_t(size)), 0);
  for (uint64_t a : at) {
    uint8_t pkt[188] = {0x47, 0x4D, 0x2B, 0x10};
    std::memcpy(pkt + 9, "KARUGPS", 7);
    ASSERT_EQ(::pwrite(fd, pkt, 188, off_t(a)), 188);
  }
  ::close(fd);
  Scanned s(p);
  const auto t0 = std::chrono::steady_clock::now();
  s.scan.ScanTransportStream();
  const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  ASSERT_EQ(s.scan.StreamHits().size(), 4u);
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(s.scan.StreamHits()[i], at[i] + 9);
  RecordProperty("sparse_scan_seconds", std::to_string(secs));
  ::unlink(p.c_str());
}

TEST(ScanAvi, JunkChunksOfTheCameraSize) {
  const ZovFixtureTrack track = ZovFixtureDrive(5);
  Scanned s(WriteLayout(ZovFixtureLayout::kAviJunk, track));
  s.scan.ScanAviChunks();
  ASSERT_EQ(s.scan.Candidates().size(), 5u);
  for (const Bytes& b : s.sink.blocks) EXPECT_EQ(std::memcmp(b.data(), "KARUGPS", 7), 0);
}

TEST(ScanAvi, HugeAndWrappingChunkSizesEndTheWalk) {
  // RIFF header, a header list, then a chunk whose size would wrap a 32-bit
  // position and one that points far past the file.
  for (uint32_t bad : {0xFFFFFFFFu, 0xFFFFFFF8u, 0x7FFFFFFFu}) {
    Bytes d = {'R', 'I', 'F', 'F'};
    Le32(d, 0xFFFFFFFF);
    d.insert(d.end(), {'A', 'V', 'I', ' ', 'L', 'I', 'S', 'T'});
    Le32(d, 4);
    d.insert(d.end(), {'h', 'd', 'r', 'l', 'L', 'I', 'S', 'T'});
    Le32(d, 100);
    d.insert(d.end(), {'m', 'o', 'v', 'i', 'J', 'U', 'N', 'K'});
    Le32(d, bad);
    d.resize(d.size() + 64, 0);
    const std::string p = zovtest::TempDir() + "/bad.avi";
    WriteFile(p, d);
    Scanned s(p);
    s.scan.ScanAviChunks();
    EXPECT_TRUE(s.scan.Candidates().empty());
  }
}

TEST(ScanMp4, HostileBoxSizesAndTablesStayInsideTheFile) {
  const std::string p = zovtest::TempDir() + "/hostile.mp4";
  // 64-bit size of 0 (would never move), then a box past the end.
  {
    Bytes d = {0, 0, 0, 1, 'f', 'r', 'e', 'e', 0, 0, 0, 0, 0, 0, 0, 0};
    d.resize(64, 0);
    WriteFile(p, d);
    Scanned s(p);
    s.scan.Run(ZovGpsSourceKind::kMp4);
    EXPECT_TRUE(s.sink.blocks.empty());
  }
  // Three tracks whose stco claims a billion entries but holds two; a gps
  // table whose entries point past the file.
  {
    Bytes stco = {0, 0, 0, 0};
    Be32(stco, 1000000000);
    Be32(stco, 16);
    Be32(stco, 32);
    Bytes trak = Box("trak", Bytes{});
    Bytes stbl = Box("stbl", Box("stco", stco));
    Bytes moov = Box("moov", Cat({trak, trak, Box("trak", Box("mdia", Box("minf", stbl)))}));
    Bytes table = {0, 0, 0, 0, 0, 0, 0, 2};
    Be32(table, 0x7FFFFFF0);
    Be32(table, 64);
    Be32(table, 8);
    Be32(table, 0xFFFFFFFF);
    Bytes d = Cat({Box("ftyp", Bytes(8, 'i')), moov, Box("gps ", table), Bytes(5000, 0)});
    WriteFile(p, d);
    Scanned s(p);
    s.scan.WalkBoxes();
    ASSERT_EQ(s.scan.Candidates().size(), 2u);
    EXPECT_EQ(s.scan.Candidates()[0].offset, 16u + 4096u);
    EXPECT_EQ(s.scan.Candidates()[1].offset, 32u + 4096u);
  }
  // A moov that claims more than the file: entered, children walked, ends.
  {
    Bytes d = Cat({Box("ftyp", Bytes(8, 'i'))});
    Be32(d, 0x7FFFFFFF);
    d.insert(d.end(), {'m', 'o', 'o', 'v'});
    d = Cat({d, Box("skip", Bytes(32, 's'))});
    Be32(d, 0x40000000);
    d.insert(d.end(), {'m', 'd', 'a', 't'});
    d.resize(d.size() + 100, 0);
    WriteFile(p, d);
    Scanned s(p);
    s.scan.WalkBoxes();
    ASSERT_EQ(s.scan.Candidates().size(), 1u);
    EXPECT_EQ(s.scan.Candidates()[0].length, 40u);
  }
  // A gps table of 200 entries that all name the same 1 MiB of the file:
  // the reads stop after about the file's size plus one candidate's limit.
  {
    Bytes table;
    for (int i = 0; i < 200; ++i) Be32(table, 16), Be32(table, 1 << 20);
    Bytes d = Cat({Box("ftyp", Bytes(8, 'i')), Box("gps ", Cat({Bytes(8, 0), table}))});
    d.resize(2u << 20, 0);
    WriteFile(p, d);
    Scanned s(p);
    s.scan.WalkBoxes();
    EXPECT_EQ(s.scan.Candidates().size(), 200u);
    EXPECT_GE(s.sink.blocks.size(), 60u);
    EXPECT_LE(s.sink.blocks.size(), 66u);
  }
  // A text track whose 400,000 chunk offsets all name offset 0: the sample
  // reads stop after about the file's size plus one candidate's limit.
  {
    Bytes stsd = {0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 16, 't', 'e', 'x', 't'};
    stsd.resize(32, 0);
    Bytes stco = {0, 0, 0, 0};
    Be32(stco, 400000);
    stco.resize(stco.size() + 400000 * 4, 0);
    WriteFile(p, Box("moov", Box("stbl", Cat({Box("stsd", stsd), Box("stco", stco)}))));
    Scanned s(p);
    s.scan.ScanSamples();
    const size_t limit = (s.file.Size() + zovscan::kMaxCandidate) / zovscan::kSampleRead;
    EXPECT_EQ(s.sink.blocks.size(), limit);
  }
  // A run of 8-byte boxes longer than the walk's box limit, then a skip box:
  // the walk stops at the limit instead of crawling the file box by box.
  {
    const Bytes tiny = Box("free", {}), skip = Box("skip", Bytes(32, 's'));
    Bytes d;
    for (size_t i = 0; i < zovscan::kMaxBoxes; ++i) d.insert(d.end(), tiny.begin(), tiny.end());
    d.insert(d.end(), skip.begin(), skip.end());
    WriteFile(p, d);
    Scanned s(p);
    const auto t0 = std::chrono::steady_clock::now();
    s.scan.WalkBoxes();
    EXPECT_TRUE(s.scan.Candidates().empty());
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(),
              2.0 * zovtest::Slowdown());
  }
}

TEST(ScanRealRecordings, TelemetryTracksFinishQuicklyWithWholeSamples) {
  const std::string dir = SamplesDir() + "/";
  // Sample count and first sample size of each recording's `gpmd` track.
  const std::tuple<const char*, size_t, uint64_t> files[] = {
      {"gopro-karma/karma.mp4", 13, 7768}, {"gopro-max-heromode/max-heromode.mp4", 11, 6188}};
  for (const auto& [f, samples, firstSize] : files) {
    const std::string path = dir + f;
    CZovGpsFile probe;
    if (!probe.Open(path)) GTEST_SKIP() << "sample missing: " << path;
    Scanned s(path);
    const auto t0 = std::chrono::steady_clock::now();
    s.scan.Run(ZovGpsSourceKind::kMp4);
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_LT(ms, 2000.0) << f;
    // The telemetry samples are found by the box walk, each read whole by
    // its size from the sample table, and handed over as payloads.
    s.sink.blocks.clear();
    s.scan.WalkBoxes();
    size_t payloads = 0;
    for (const Bytes& b : s.sink.blocks) payloads += b.size() >= 4 && std::memcmp(b.data(), "DEVC", 4) == 0;
    EXPECT_EQ(payloads, samples) << f;
    size_t whole = 0;
    for (const ZovGpsCandidate& c : s.scan.Candidates()) whole += c.length == firstSize;
    EXPECT_GE(whole, 1u) << f;
    EXPECT_TRUE(s.sink.records.empty());
  }
}
