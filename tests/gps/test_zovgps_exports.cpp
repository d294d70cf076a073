// zovgps exports as other programs read them (a second GPX/CSV reader, the
// GPX schema, a JSON parser), the tools' command-line conventions, and files
// recognised by their content.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <sstream>

#include "gps/zov_gps_extractor.h"
#include "tests/gps/test_scan_support.h"
#include "tools/zovgps/zov_gps_export.h"
#include "tools/zovgpsfixture/zov_gps_fixture_cli.h"

using namespace zovgpstest;

namespace {

struct Outcome {
  int status = -1;
  std::string out, err;
};

Outcome Tool(const std::vector<std::string>& args) {
  Outcome r;
  r.status = ZovGpsToolMain(args, r.out, r.err);
  return r;
}

// Output of a shell command (stderr dropped) and its exit status.
Outcome Shell(const std::string& cmd) {
  Outcome r;
  std::unique_ptr<FILE, int (*)(FILE*)> p(popen((cmd + " 2>/dev/null").c_str(), "r"), pclose);
  char buf[4096];
  for (size_t n; (n = std::fread(buf, 1, sizeof buf, p.get())) > 0;) r.out.append(buf, n);
  r.status = pclose(p.release());
  return r;
}

std::string Write(const std::string& dir, const std::string& name, const std::string& text) {
  zovtest::Spit(dir + "/" + name, text);
  return dir + "/" + name;
}

std::vector<std::vector<std::string>> CsvRows(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();  // gpsbabel ends lines with CR LF
    std::vector<std::string> f;
    std::stringstream ls(line);
    for (std::string cell; std::getline(ls, cell, ',');) f.push_back(cell);
    rows.push_back(f);
  }
  return rows;
}

// A drive in a recording (receiver UTC, no altitude) and in a side file.
struct Drives {
  std::string dir, mp4, txt;
  Drives() : dir(zovtest::TempDir()) {
    std::string error;
    mp4 = dir + "/drive.mp4";
    txt = dir + "/drive.txt";
    EXPECT_TRUE(ZovWriteFixture(ZovFixtureLayout::kGpsTable48, zovtest::Fixture("h264_aac48_30fps.mp4"),
                                mp4, ZovFixtureDrive(6, 51.50735, -0.12776), {}, &error)) << error;
    EXPECT_TRUE(ZovWriteFixture(ZovFixtureLayout::kTextG1, "", txt, ZovFixtureDrive(4), {}, &error)) << error;
  }
};

const Drives& TheDrives() {
  static const Drives d;
  return d;
}

}  // namespace

TEST(ZovGpsConventions, HelpVersionAndUsageErrors) {
  const std::string plain = zovtest::Fixture("h264_aac48_30fps.mp4");
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* inOut;  // expected in standard output ("" : output empty)
    std::string inErr;  // expected in standard error ("" : nothing)
  };
  const std::vector<Case> cases = {
      {{"-h"}, 0, "usage: zovgps", ""},
      {{"--help", "x.mp4"}, 0, "--format csv", ""},
      {{"--version"}, 0, "zovgps 1.1", ""},
      {{"--format"}, 2, "", "--format needs a value: csv, gpx, geojson, points or sensor"},
      {{"--format", "kml", "x.mp4"}, 2, "", "unknown format 'kml'"},
      {{}, 2, "", "usage"},
      {{plain}, 1, "", "no GPS track found in " + plain + "\n"},
  };
  for (const Case& c : cases) {
    const Outcome r = Tool(c.args);
    const std::string name = c.args.empty() ? "(none)" : c.args[0];
    EXPECT_EQ(r.status, c.status) << name;
    if (*c.inOut) EXPECT_NE(r.out.find(c.inOut), std::string::npos) << name << ": " << r.out;
    else EXPECT_EQ(r.out, "") << name;
    if (!c.inErr.empty()) EXPECT_NE(r.err.find(c.inErr), std::string::npos) << name << ": " << r.err;
    else EXPECT_EQ(r.err, "") << name;
  }
}

TEST(ZovGpsFixtureConventions, BadOptionsAreRefusedBeforeWriting) {
  const std::string dir = zovtest::TempDir();
  const std::string in = Write(dir, "in.mp4", "not touched");
  const std::string out = dir + "/out.txt";
  ASSERT_EQ(link(in.c_str(), (dir + "/same.mp4").c_str()), 0);
  struct Case {
    std::vector<std::string> args;
    const char* message;
  };
  const std::vector<Case> cases = {
      {{"txt-g1", in, out, "--speed", "3"}, "unknown option --speed"},
      {{"txt-g1", in, out, "--seconds"}, "option --seconds needs a value"},
      {{"txt-g1", in, out, "--seconds", "5x"}, "--seconds takes a whole number"},
      {{"txt-g1", in, out, "--seconds", "0"}, "--seconds takes a whole number"},
      {{"txt-g1", in, out, "--start", "91,10"}, "latitude must lie within -90 and 90"},
      {{"txt-g1", in, out, "--start", "-90.5,10"}, "latitude must lie within -90 and 90"},
      {{"txt-g1", in, out, "--start", "10,-180.01"}, "longitude must lie within -180 and 180"},
      {{"txt-g1", in, out, "--start", "10"}, "--start takes LAT,LON"},
      {{"txt-g1", in, out, "--start", "10,abc"}, "--start takes LAT,LON"},
      {{"txt-g1", in, out, "--version", "x"}, "--version takes a whole number"},
      {{"txt-g1", in, in}, "the output would overwrite the input"},
      {{"txt-g1", in, dir + "/same.mp4"}, "the output would overwrite the input"},
      {{"txt-g1", in, dir + "/./in.mp4"}, "the output would overwrite the input"},
      {{"nope", in, out}, "unknown layout nope"},
  };
  for (const Case& c : cases) {
    std::string o, e;
    EXPECT_EQ(ZovFixtureToolMain(c.args, o, e), 2) << c.message;
    EXPECT_NE(e.find(c.message), std::string::npos) << e;
  }
  EXPECT_EQ(zovtest::Slurp(in), "not touched");
  EXPECT_TRUE(zovtest::Slurp(out).empty());
  // Edge values are accepted.
  std::string o, e;
  EXPECT_EQ(ZovFixtureToolMain({"txt-g1", in, out, "--start", "-90,180", "--seconds", "3"}, o, e), 0) << e;
  EXPECT_FALSE(zovtest::Slurp(out).empty());
}

TEST(ZovGpsExports, Utf8EscapingKeepsValidTextOnly) {
  const std::pair<std::string, std::string> rows[] = {
      {"plain.mp4", "plain.mp4"},
      {"\xC3\x9C" "ber \xE2\x9C\x93 \xF0\x9F\x98\x80.mp4", "\xC3\x9C" "ber \xE2\x9C\x93 \xF0\x9F\x98\x80.mp4"},
      {"a\xFF" "b", "a\\xFFb"},
      {"\xC0\xAF", "\\xC0\\xAF"},                        // overlong '/'
      {"\xED\xA0\x80", "\\xED\\xA0\\x80"},               // surrogate
      {"\xE2\x82", "\\xE2\\x82"},                        // cut short
      {"\xF4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"},      // above U+10FFFF
  };
  for (const auto& [in, want] : rows) EXPECT_EQ(ZovExportUtf8(in), want);
}

// One position, no altitude, a file name that is not UTF-8: the GPX passes
// the schema, the GeoJSON parses and holds a Point of two numbers.
TEST(ZovGpsExports, OnePointTrackAndHostileNameStayValid) {
  ZovExportTrack t;
  t.path = "/x/caf\xE9,1.mp4";  // Latin-1, with a comma
  ZovExportPoint p;
  p.year = 2023, p.month = 3, p.day = 26, p.hour = 2, p.latitude = -33.5, p.longitude = 151.25;
  p.speedKnots = 10;
  t.points = {p};
  const std::string dir = zovtest::TempDir();

  const std::string gpx = ZovExportGpx({t});
  EXPECT_EQ(gpx.find("<ele>"), std::string::npos);
  EXPECT_NE(gpx.find("<time>2023-03-26T02:00:00Z</time>"), std::string::npos);
  EXPECT_NE(gpx.find("<name>caf\\xE9,1.mp4</name>"), std::string::npos) << gpx;
  EXPECT_NE(gpx.find("<gpxtpx:speed>5.144</gpxtpx:speed>"), std::string::npos);
  // xmllint comes with scripts/setup-deps: without it the check fails, never passes unseen.
  ASSERT_EQ(Shell("xmllint --version").status, 0) << "xmllint missing (scripts/setup-deps installs it)";
  const std::string gpxFile = Write(dir, "one.gpx", gpx);
  EXPECT_EQ(Shell("xmllint --noout --schema '" + zovtest::SourceDir() + "/tests/gps/golden/gpx-1.1.xsd' '" +
                  gpxFile + "'").status, 0);

  const std::string json = ZovExportGeoJson({t});
  EXPECT_NE(json.find("{\"type\":\"Point\",\"coordinates\":[151.2500000,-33.5000000]}"), std::string::npos) << json;
  const std::string f = Write(dir, "one.geojson", json);
  const Outcome parsed = Shell("python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); "
                           "print(d[\"features\"][0][\"properties\"][\"file\"])' '" + f + "'");
  EXPECT_EQ(parsed.status, 0);
  EXPECT_EQ(parsed.out, "caf\\xE9,1.mp4\n");
  t.points.clear();
  EXPECT_NE(ZovExportGeoJson({t}).find("\"geometry\":null"), std::string::npos);

  ZovExportOptions withFile;
  withFile.fileColumn = true;
  t.points = {p};
  const std::string csv = ZovExportCsv({t}, withFile);
  EXPECT_NE(csv.find("\n\"/x/caf\\xE9,1.mp4\",0,2023-03-26,02:00:00,"), std::string::npos) << csv;
}

TEST(ZovGpsExports, CourseFollowsTheHeadingConvention) {
  struct Case {
    double heading;
    int flag;
    double course;
  };
  // Computed and camera headings alike are courses; north is stored as 360.
  const Case cases[] = {{331.1, kHeadingFlagNone, 331.1}, {360, kHeadingFlagNone, 0},
                        {90, kHeadingFlagNone, 90},       {30, kHeadingFlagCamera, 30},
                        {-10, kHeadingFlagComma, 350},   {720, kHeadingFlagCamera, 0}};
  for (const Case& c : cases) {
    ZovExportPoint p;
    p.heading = c.heading;
    p.headingFlag = c.flag;
    EXPECT_TRUE(ZovExportHasCourse(p)) << c.heading << " " << c.flag;
    EXPECT_NEAR(ZovExportCourse(p), c.course, 1e-9) << c.heading << " " << c.flag;
  }
  // The last fix of a track gets no heading from the clean-up: no course is
  // written for it (not "due north"), in any format.
  ZovExportTrack t;
  t.path = "a.mp4";
  ZovExportPoint first, last;
  first.year = last.year = 2023;
  first.latitude = 10, first.longitude = 20, first.heading = 90;  // bearing 90, as the clean-up stores it
  last.latitude = 10, last.longitude = 20.001, last.second = 1;
  t.points = {first, last};
  EXPECT_FALSE(ZovExportHasCourse(last));
  const auto rows = CsvRows(ZovExportCsv({t}));
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[1][7], "90.0");
  EXPECT_EQ(rows[2][7], "");
  const std::string gpx = ZovExportGpx({t});
  size_t courses = 0;
  for (size_t at = gpx.find("<gpxtpx:course>"); at != std::string::npos; at = gpx.find("<gpxtpx:course>", at + 1))
    ++courses;
  EXPECT_EQ(courses, 1u) << gpx;
  EXPECT_NE(ZovExportGeoJson({t}).find("\"course_deg\":[90.0,null]"), std::string::npos);
}

// A second reader: gpsbabel reads every point of the GPX with its time, and
// every point of the CSV with its time, speed and course.
TEST(ZovGpsExports, GpsbabelReadsGpxAndCsv) {
  if (Shell("gpsbabel -V").status != 0) GTEST_SKIP() << "gpsbabel not installed";
  const Drives& d = TheDrives();
  const Outcome csv = Tool({"--format", "csv", d.mp4});
  const Outcome gpx = Tool({"--format", "gpx", d.mp4});
  ASSERT_EQ(csv.status, 0);
  ASSERT_EQ(gpx.status, 0);
  const auto ours = CsvRows(csv.out);
  ASSERT_EQ(ours.size(), 7u);  // header + 6 seconds
  const std::string dir = zovtest::TempDir();
  Write(dir, "t.csv", csv.out);
  Write(dir, "t.gpx", gpx.out);

  // unicsv columns: No,Latitude,Longitude,[Altitude,]Speed,Course,Date,Time
  const auto fromCsv = CsvRows(Shell("gpsbabel -i unicsv -f '" + dir + "/t.csv' -o unicsv,utc=0 -F -").out);
  ASSERT_EQ(fromCsv.size(), ours.size()) << "gpsbabel lost points of the CSV";
  const auto& h = fromCsv[0];
  auto col = [&h](const char* name) { return size_t(std::find(h.begin(), h.end(), name) - h.begin()); };
  for (const char* name : {"Latitude", "Speed", "Course", "Date", "Time"}) ASSERT_LT(col(name), h.size()) << name;
  for (size_t i = 1; i < ours.size(); ++i) {
    const auto& b = fromCsv[i];
    EXPECT_NEAR(std::stod(b[col("Latitude")]), std::stod(ours[i][3]), 1e-6);
    EXPECT_NEAR(std::stod(b[col("Speed")]), std::stod(ours[i][6]), 0.01);  // m/s
    if (ours[i][7].empty()) EXPECT_EQ(b[col("Course")], "") << "a course invented for row " << i;
    else EXPECT_NEAR(std::stod(b[col("Course")]), std::stod(ours[i][7]), 0.1);
    std::string date = ours[i][1];
    std::replace(date.begin(), date.end(), '-', '/');
    EXPECT_EQ(b[col("Date")] + " " + b[col("Time")], date + " " + ours[i][2]);
  }
  const auto fromGpx = CsvRows(Shell("gpsbabel -t -i gpx -f '" + dir + "/t.gpx' -o unicsv,utc=0 -F -").out);
  ASSERT_EQ(fromGpx.size(), ours.size()) << "gpsbabel lost points of the GPX";
  for (size_t i = 1; i < ours.size(); ++i) {
    std::string date = ours[i][1];
    std::replace(date.begin(), date.end(), '-', '/');
    EXPECT_EQ(fromGpx[i][fromGpx[i].size() - 2] + " " + fromGpx[i].back(), date + " " + ours[i][2]);
  }
}

// The tool reads a recording or a side file by its content when the name
// has no known extension; the player still goes by the extension.
TEST(ZovGpsContent, FilesWithoutExtensionAreReadByContent) {
  const Drives& d = TheDrives();
  const std::string dir = zovtest::TempDir();
  for (const auto& [src, name] : {std::pair{d.mp4, "DRIVE"}, std::pair{d.txt, "drive.log"}}) {
    const std::string copy = Write(dir, name, zovtest::Slurp(src));
    const Outcome named = Tool({"--format", "points", src});
    const Outcome bare = Tool({"--format", "points", copy});
    EXPECT_EQ(bare.status, 0) << name << ": " << bare.err;
    EXPECT_EQ(bare.out, named.out) << name;
    uint32_t handle = 0;
    InitExtractor(&handle);
    EXPECT_EQ(ExtractGps(&handle, copy, nullptr, nullptr), 0) << name;
  }
  // Text that holds no GPS block stays unknown and says so.
  const std::string other = Write(dir, "notes", "nothing here\n");
  const Outcome r = Tool({other});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "no GPS track found in " + other + "\n");
}
