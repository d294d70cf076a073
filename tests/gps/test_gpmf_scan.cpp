// Telemetry tracks in MP4 files: the sample table read whole (and safely on
// hostile tables), payloads built here going through the whole extractor, and
// the real recordings against ExifTool's committed reading of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>

#include "gps/zov_gps_calendar.h"
#include "gps/zov_gps_extractor.h"
#include "gps/zov_track_record.h"
#include "tests/gps/gpmf_test_encode.h"
#include "tests/gps/test_scan_support.h"
#include "tools/zovgps/zov_gps_export.h"

using zovgpstest::Be32;
using zovgpstest::Box;
using zovgpstest::Bytes;
using zovgpstest::Cat;

namespace {

constexpr uint64_t kMdatData = 28;  // ftyp (20) + mdat header (8)

Bytes Full(const char* type, const Bytes& body) {  // version/flags 0 first
  return Box(type, Cat({Bytes(4, 0), body}));
}
Bytes U32s(std::initializer_list<uint64_t> v) {
  Bytes b;
  for (uint64_t x : v) Be32(b, uint32_t(x));
  return b;
}
Bytes U64s(std::initializer_list<uint64_t> v) {
  Bytes b;
  for (uint64_t x : v) {
    Be32(b, uint32_t(x >> 32));
    Be32(b, uint32_t(x));
  }
  return b;
}

// ftyp, mdat holding `media`, and a moov with one telemetry track (id 4)
// whose sample table is the given stsz, stsc and chunk-offset boxes.
Bytes TelemetryFile(const Bytes& media, const Bytes& stsz, const Bytes& stsc, const Bytes& chunks) {
  Bytes tkhdBody(84, 0);
  tkhdBody[15] = 4;  // track id at +20 of the box
  const Bytes stsd = Full("stsd", Cat({U32s({1}), Box("gpmd", Bytes(8, 0))}));
  const Bytes stbl = Box("stbl", Cat({stsd, stsc, stsz, chunks}));
  const Bytes trak = Box("trak", Cat({Box("tkhd", tkhdBody), Box("mdia", Box("minf", stbl))}));
  return Cat({Box("ftyp", Bytes(12, 0)), Box("mdat", media), Box("moov", trak)});
}

// A payload of one second: GPS5 at `lat` with the GPSU second.
Bytes Payload(int64_t lat1e7, const std::string& gpsu) {
  using namespace gpmftest;
  return Nest("DEVC", {AccelStream({4180, 0, 418}),
                       Gps5Stream(3, gpsu, {lat1e7, -1173273436, 12000, 10000, 10000})});
}

std::string WriteTemp(const std::string& name, const Bytes& b) {
  const std::string path = zovtest::TempDir() + "/" + name;
  zovgpstest::WriteFile(path, b);
  return path;
}

std::vector<ZovGpsCandidate> WalkCandidates(const std::string& path) {
  CZovGpsFile file;
  EXPECT_TRUE(file.Open(path));
  zovgpstest::RecordingSink sink;
  CZovGpsScan scan(file, sink);
  scan.WalkBoxes();
  return scan.Candidates();
}

}  // namespace

TEST(GpmfScan, SampleTableGivesEachSampleWholeAndStaysBounded) {
  Bytes media = Payload(331267700, "191118234514.000");
  media.resize(4096, 0);
  const uint64_t m = kMdatData;
  struct Case {
    const char* name;
    Bytes stsz, stsc, chunks;
    std::vector<ZovGpsCandidate> want;
  };
  const Bytes sizes4 = Full("stsz", U32s({0, 4, 100, 200, 300, 400}));
  const std::vector<Case> cases = {
      {"two samples per chunk", sizes4, Full("stsc", U32s({1, 1, 2, 1})), Full("stco", U32s({2, m, m + 1000})),
       {{m, 100}, {m + 100, 200}, {m + 1000, 300}, {m + 1300, 400}}},
      {"64-bit chunk offsets", sizes4, Full("stsc", U32s({1, 1, 2, 1})), Full("co64", Cat({U32s({2}), U64s({m, m + 1000})})),
       {{m, 100}, {m + 100, 200}, {m + 1000, 300}, {m + 1300, 400}}},
      {"runs of 1 then 3", sizes4, Full("stsc", U32s({2, 1, 1, 1, 2, 3, 1})), Full("stco", U32s({2, m, m + 500})),
       {{m, 100}, {m + 500, 200}, {m + 700, 300}, {m + 1000, 400}}},
      {"one size for all", Full("stsz", U32s({64, 3})), Full("stsc", U32s({1, 1, 1, 1})), Full("stco", U32s({3, m, m + 64, m + 640})),
       {{m, 64}, {m + 64, 64}, {m + 640, 64}}},
      // Counts far beyond what the boxes hold: only what is inside is used.
      {"lying counts", Full("stsz", U32s({0, 0xFFFFFFFF, 100, 200})), Full("stsc", U32s({0xFFFFFFFF, 1, 0xFFFFFFFF, 1})),
       Full("stco", U32s({0xFFFFFFFF, m})), {{m, 100}, {m + 100, 200}}},
      // Runs that go backwards (a crafted loop) end the table: the chunks
      // are then read as fixed pieces.
      {"runs going backwards", sizes4, Full("stsc", U32s({2, 1, 1, 1, 1, 1, 1})), Full("stco", U32s({1, m})),
       {{m, zovscan::kGpmdBlockLength}}},
  };
  for (const Case& c : cases) {
    const std::string path = WriteTemp("table.mp4", TelemetryFile(media, c.stsz, c.stsc, c.chunks));
    EXPECT_EQ(WalkCandidates(path), c.want) << c.name;
  }
}

// Built payloads in a built file go through the scan, the decoder and the
// clean-up: one fix per payload, at its own second and position. This runs
// on every machine, with or without the real recordings.
TEST(GpmfScan, BuiltTelemetryTrackGivesOneFixPerSecond) {
  const Bytes p0 = Payload(331267700, "191118234514.000");
  const Bytes p1 = Payload(331267800, "191118234515.500");
  const Bytes p2 = Payload(331267900, "191118234516.990");
  const Bytes media = Cat({p0, p1, p2});
  const std::string path = WriteTemp(
      "built.mp4", TelemetryFile(media, Full("stsz", U32s({0, 3, p0.size(), p1.size(), p2.size()})),
                                 Full("stsc", U32s({1, 1, 3, 1})), Full("stco", U32s({1, kMdatData}))));
  uint32_t handle = 0;
  InitExtractor(&handle);
  std::string points, sensors;
  EXPECT_EQ(ExtractGps(&handle, path, &points, &sensors), 3);
  const std::vector<ZovExportPoint> fixes = ZovExportReadPoints(points);
  ASSERT_EQ(fixes.size(), 3u) << points;
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(fixes[i].second, 14 + i);
    EXPECT_NEAR(fixes[i].latitude, 33.12677 + i * 1e-5, 1e-5);
    EXPECT_NEAR(fixes[i].longitude, -117.32734, 1e-5);
    EXPECT_NEAR(fixes[i].speedKnots * 1.852, 36.0, 0.1);  // 10 m/s
  }
  // The accelerometer's first sample of each second: 10 m/s^2 on x, 1 on z.
  EXPECT_NE(sensors.find("x:10.00 y:0.00 z:1.00"), std::string::npos) << sensors;
}

// A receiver's clock that jumps (14.0, then 16.47, 17.46) inserts no second:
// payload k stays second k of the video with its own position; a payload
// without a fix leaves its second to be filled between its neighbours.
TEST(GpmfScan, GpsTimeJumpKeepsEachPayloadOnItsSecondOfVideo) {
  const Bytes p0 = Payload(331267700, "191118234514.000");
  const Bytes p1 = Payload(331267800, "191118234516.470");
  const Bytes p2 = Payload(331267900, "191118234517.460");
  const Bytes p3 = gpmftest::Nest("DEVC", {gpmftest::Gps5Stream(0, "191118234518.450",
                                                                {331268000, -1173273436, 12000, 10000, 10000})});
  const Bytes p4 = Payload(331268100, "191118234519.440");
  const Bytes media = Cat({p0, p1, p2, p3, p4});
  const std::string path = WriteTemp(
      "jump.mp4", TelemetryFile(media,
                                Full("stsz", U32s({0, 5, p0.size(), p1.size(), p2.size(), p3.size(), p4.size()})),
                                Full("stsc", U32s({1, 1, 5, 1})), Full("stco", U32s({1, kMdatData}))));
  uint32_t handle = 0;
  InitExtractor(&handle);
  std::string points, sensors;
  ExtractGps(&handle, path, &points, &sensors);
  const std::vector<ZovExportPoint> fixes = ZovExportReadPoints(points);
  ASSERT_EQ(fixes.size(), 5u) << points;
  const int seconds[] = {14, 16, 17, 18, 19};  // the fourth is filled between its neighbours
  for (int k = 0; k < 5; ++k) {
    EXPECT_EQ(fixes[k].index, k);
    EXPECT_EQ(fixes[k].second, seconds[k]) << k;
    EXPECT_NEAR(fixes[k].latitude, 33.12677 + k * 1e-5, 1.1e-5) << k;
  }
}

// ---- The real recordings against ExifTool ------------------------------------

namespace {

struct PeerFix {
  std::string doc;
  std::string dateTime;  // "YYYY:MM:DD HH:MM:SS" (fraction dropped)
  double lat = 0, lon = 0;
  double speed = NAN;  // m/s, NAN where ExifTool gives none
};

// First fix of each payload ("DocN") of ExifTool's CSV.
std::vector<PeerFix> FirstFixPerPayload(const std::string& csv) {
  std::vector<PeerFix> out;
  std::istringstream in(csv);
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    std::vector<std::string> f;
    std::stringstream ls(line);
    for (std::string cell; std::getline(ls, cell, ',');) f.push_back(cell);
    if (f.size() < 4 || f[0].rfind("Doc", 0) != 0 || f[1].size() < 19) continue;
    if (!out.empty() && out.back().doc == f[0]) continue;
    PeerFix p;
    p.doc = f[0];
    p.dateTime = f[1].substr(0, 19);
    p.lat = std::stod(f[2]);
    p.lon = std::stod(f[3]);
    if (f.size() > 4 && !f[4].empty()) p.speed = std::stod(f[4]);
    out.push_back(p);
  }
  return out;
}

// zovgps --format csv rows by "YYYY:MM:DD HH:MM:SS".
std::map<std::string, std::map<std::string, std::string>> CsvRowsByTime(const std::string& csv) {
  std::map<std::string, std::map<std::string, std::string>> rows;
  std::istringstream in(csv);
  std::string line;
  std::vector<std::string> header;
  for (bool first = true; std::getline(in, line); first = false) {
    std::vector<std::string> f;
    std::stringstream ls(line);
    for (std::string cell; std::getline(ls, cell, ',');) f.push_back(cell);
    if (first) {
      header = f;
      continue;
    }
    std::map<std::string, std::string> row;
    for (size_t i = 0; i < f.size() && i < header.size(); ++i) row[header[i]] = f[i];
    std::string date = row["date"];
    std::replace(date.begin(), date.end(), '-', ':');
    rows[date + " " + row["time"]] = row;
  }
  return rows;
}

}  // namespace

// The telemetry cut of each recording (tests/gps/samples, made by
// cut-telemetry: the track and its samples byte for byte) always runs; the
// whole recording runs too when the shared samples folder is there.
TEST(GpmfSamples, EverySecondAgreesWithExifTool) {
  const std::string committed = zovtest::SourceDir() + "/tests/gps/samples/";
  const std::string shared = zovgpstest::SamplesDir() + "/";
  struct Recording {
    const char* folder;
    const char* cut;
    const char* whole;
  };
  const Recording recordings[] = {
      {"gopro-karma", "karma-telemetry.mp4", "karma.mp4"},
      {"gopro-max-heromode", "max-heromode-telemetry.mp4", "max-heromode.mp4"}};
  int compared = 0;
  for (const Recording& r : recordings) {
    const std::vector<PeerFix> peer =
        FirstFixPerPayload(zovtest::Slurp(committed + r.folder + "/exiftool-fixes.csv"));
    ASSERT_GE(peer.size(), 11u) << r.folder;
    for (const std::string& path : {committed + r.folder + "/" + r.cut, shared + r.folder + "/" + r.whole}) {
      if (zovtest::Slurp(path).empty()) {
        ASSERT_NE(path.rfind(committed, 0), 0u) << "committed cut missing: " << path;
        std::cout << "whole recording not found, only its cut compared: " << path
                  << " (ZOV_GPS_SAMPLES names the samples folder)\n";
        continue;
      }
      ++compared;
      std::string out, err;
      ASSERT_EQ(ZovGpsToolMain({"--format", "csv", path}, out, err), 0) << err;
      const auto rows = CsvRowsByTime(out);
      // One row per payload, that is per second of video, in order: row k
      // is payload k at its own GPS time. The receiver's clock may jump
      // (max-heromode: 14.0, 16.47, 17.46 ...) without a row being inserted,
      // which would put every later position a second late on the map.
      std::vector<std::string> order;
      std::istringstream lines(out);
      std::string line;
      std::getline(lines, line);
      for (int k = 0; std::getline(lines, line); ++k) {
        EXPECT_EQ(line.rfind(std::to_string(k) + ",", 0), 0u) << path << ": row " << k << " " << line;
        std::string date = line.substr(line.find(',') + 1, 19);
        std::replace(date.begin(), date.end(), '-', ':');
        date[10] = ' ';
        order.push_back(date);
      }
      ASSERT_EQ(order.size(), peer.size()) << path << "\n" << out;
      for (size_t k = 0; k < peer.size(); ++k) EXPECT_EQ(order[k], peer[k].dateTime) << path << " row " << k;
      EXPECT_EQ(rows.size(), order.size()) << path << ": a second appears twice\n" << out;
      for (const PeerFix& p : peer) {
        auto it = rows.find(p.dateTime);
        if (it == rows.end()) {
          ADD_FAILURE() << path << " " << p.doc << ": no fix at " << p.dateTime << "\n" << out;
          continue;
        }
        auto row = it->second;
        EXPECT_NEAR(std::stod(row["latitude"]), p.lat, 1e-6) << path << " " << p.doc;
        EXPECT_NEAR(std::stod(row["longitude"]), p.lon, 1e-6) << path << " " << p.doc;
        if (!std::isnan(p.speed)) {
          EXPECT_NEAR(std::stod(row["speed_kmh"]), p.speed * 3.6, 0.1) << path << " " << p.doc;
        }
      }
    }
  }
  EXPECT_GE(compared, 2);
}

// The player loads a file's track through ExtractGps and reads the exchange
// texts back (the file list store does both): a telemetry recording gives its
// points and G-sensor samples there like every other layout.
TEST(GpmfSamples, PlayerTrackReaderGetsTheTelemetryTrack) {
  const std::string cut = zovtest::SourceDir() + "/tests/gps/samples/gopro-karma/karma-telemetry.mp4";
  uint32_t handle = 0;
  InitExtractor(&handle);
  std::string points, sensors;
  ASSERT_EQ(ExtractGps(&handle, cut, &points, &sensors), 12);
  FileTrack track;
  ASSERT_EQ(ZovReadTrackTexts(points, sensors, "Openstreet", track), ZovTrackReadResult::kComplete);
  ASSERT_EQ(track.pointCount, 12);
  // The first payload's position, +0.00001 as every loaded point; 4.16 km/h.
  EXPECT_NEAR(track.points[0].latitude, 33.1253688 + 1e-5, 2e-5);
  EXPECT_NEAR(track.points[0].longitude, -117.3310668 + 1e-5, 2e-5);
  EXPECT_NEAR(track.points[0].speed * 1.852, 4.16, 0.1);
  EXPECT_EQ(track.points[11].hour * 10000 + track.points[11].minute * 100 + track.points[11].second, 192808);
  // One accelerometer sample per second, about 1 g in all (m/s^2).
  ASSERT_GE(track.sampleCount, 12);
  const GsensorSample& s = track.samples[0];
  EXPECT_NEAR(std::sqrt(s.accelX * s.accelX + s.accelY * s.accelY + s.accelZ * s.accelZ), 9.8, 1.5);
}
