// The NMEA and GPX fixtures as a peer reads them: gpsbabel's reading of each
// file (its track points, as CSV) equals zovgps's, second for second.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>

#include "tests/gps/test_scan_support.h"
#include "tools/zovgps/zov_gps_export.h"
#include "tools/zovgpsfixture/zov_gps_side_fixture.h"

namespace {

using Row = std::map<std::string, std::string>;

std::vector<Row> ReadCsv(const std::string& text) {
  std::vector<Row> rows;
  std::istringstream in(text);
  std::string line;
  std::vector<std::string> header;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::vector<std::string> cells;
    std::stringstream ls(line);
    for (std::string c; std::getline(ls, c, ',');) {
      if (c.size() >= 2 && c.front() == '"') c = c.substr(1, c.size() - 2);
      cells.push_back(c);
    }
    if (header.empty()) {
      header = cells;
      continue;
    }
    Row r;
    for (size_t i = 0; i < cells.size() && i < header.size(); ++i) r[header[i]] = cells[i];
    rows.push_back(r);
  }
  return rows;
}

bool HaveGpsbabel() { return std::system("gpsbabel -V >/dev/null 2>&1") == 0; }

// gpsbabel's track points of a file, keyed "YYYY-MM-DD hh:mm:ss" (the first
// point of each second: a 5 Hz log has five).
std::map<std::string, Row> PeerBySecond(const std::string& format, const std::string& path) {
  const std::string csv = path + ".peer.csv";
  const std::string cmd = "TZ=UTC gpsbabel -t -i " + format + " -f '" + path + "' -o unicsv -F '" + csv +
                          "' 2>/dev/null";
  EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
  std::map<std::string, Row> bySecond;
  for (Row r : ReadCsv(zovtest::Slurp(csv))) {
    if (r["Date"].size() != 10 || r["Time"].size() < 8) continue;  // a point without a time
    std::string date = r["Date"];
    for (char& c : date)
      if (c == '/') c = '-';
    bySecond.emplace(date + " " + r["Time"].substr(0, 8), r);
  }
  return bySecond;
}

}  // namespace

TEST(SidePeers, GpsbabelReadsTheNmeaAndGpxFixturesAsZovgpsDoes) {
  if (!HaveGpsbabel()) GTEST_SKIP() << "gpsbabel is not installed (scripts/setup-deps installs it)";
  const ZovFixtureTrack drive = ZovFixtureDrive(20, -22.90685, -43.17290);
  struct Case {
    ZovSideFixture layout;
    const char* peerFormat;
    bool speedAndCourse;
  };
  const Case cases[] = {{ZovSideFixture::kNmea, "nmea", true},
                        {ZovSideFixture::kNmeaAwkward, "nmea", true},
                        {ZovSideFixture::kGpx, "gpx", false},
                        {ZovSideFixture::kGpxAwkward, "gpx", false}};
  for (const Case& c : cases) {
    const std::string name = ZovSideFixtureName(c.layout);
    const std::string path = zovtest::TempDir() + "/" + name + ZovSideFixtureExtension(c.layout);
    zovtest::Spit(path, ZovSideFixtureText(c.layout, drive));
    const std::map<std::string, Row> peer = PeerBySecond(c.peerFormat, path);
    std::string out, err;
    ASSERT_EQ(ZovGpsToolMain({"--format", "csv", path}, out, err), 0) << name << ": " << err;
    const std::vector<Row> ours = ReadCsv(out);
    ASSERT_EQ(ours.size(), drive.size()) << name;
    EXPECT_EQ(peer.size(), ours.size()) << name;
    for (const Row& o : ours) {
      const std::string key = o.at("date") + " " + o.at("time");
      SCOPED_TRACE(name + " " + key);
      auto it = peer.find(key);
      if (it == peer.end()) {
        ADD_FAILURE() << "gpsbabel has no point at this second";
        continue;
      }
      Row p = it->second;
      // gpsbabel prints 6 decimals, zovgps 7.
      EXPECT_NEAR(std::stod(o.at("latitude")), std::stod(p["Latitude"]), 6e-7);
      EXPECT_NEAR(std::stod(o.at("longitude")), std::stod(p["Longitude"]), 6e-7);
      EXPECT_NEAR(std::stod(o.at("altitude_m")), std::stod(p["Altitude"]), 0.05);
      if (c.speedAndCourse) {
        EXPECT_NEAR(std::stod(o.at("speed_ms")), std::stod(p["Speed"]), 0.01);  // both print rounded
        EXPECT_NEAR(std::stod(o.at("course_deg")), std::stod(p["Course"]), 0.051);
      }
    }
  }
}
