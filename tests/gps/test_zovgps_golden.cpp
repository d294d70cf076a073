// The zovgps export tool end to end: the staged program on fixture files,
// compared with golden outputs (ZOV_UPDATE_GOLDEN=1 rewrites them), GPX checked
// against the GPX 1.1 schema, exit codes and messages.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <memory>

#include "tests/gps/test_scan_support.h"

using namespace zovgpstest;

namespace {

struct ToolRun {
  int status = -1;
  std::string out, err;
};

// The folder the tool runs in, holding the fixture files.
const std::string& ToolDir() {
  static const std::string dir = zovtest::TempDir();
  return dir;
}

ToolRun RunTool(const std::string& args) {
  const std::string errFile = zovtest::TempDir() + "/stderr.txt";
  // Run inside the fixture folder, so relative file names stay the same
  // from run to run; a fixed creation time keeps the GPX reproducible.
  const std::string cmd = "cd '" + ToolDir() + "' && TZ=UTC SOURCE_DATE_EPOCH=1700000000 '" +
                          zovtest::BinDir() + "/zovgps' " + args + " 2>'" + errFile + "'";
  ToolRun r;
  std::unique_ptr<FILE, int (*)(FILE*)> p(popen(cmd.c_str(), "r"), pclose);
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p.get())) > 0) r.out.append(buf, n);
  const int raw = pclose(p.release());
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  const Bytes e = ReadFile(errFile);
  r.err.assign(e.begin(), e.end());
  return r;
}

std::string Golden(const std::string& name) { return zovtest::SourceDir() + "/tests/gps/golden/" + name; }

// Compares with the golden file; on a difference the failure shows a diff.
void ExpectGolden(const std::string& actual, const std::string& name) {
  const std::string golden = Golden(name);
  if (const char* u = std::getenv("ZOV_UPDATE_GOLDEN"); u && *u == '1') {
    WriteFile(golden, Bytes(actual.begin(), actual.end()));
    return;
  }
  const Bytes g = ReadFile(golden);
  if (std::string(g.begin(), g.end()) == actual) return;
  const std::string actualFile = zovtest::TempDir() + "/actual." + name;
  WriteFile(actualFile, Bytes(actual.begin(), actual.end()));
  std::string diff;
  std::unique_ptr<FILE, int (*)(FILE*)> p(
      popen(("diff -u '" + golden + "' '" + actualFile + "' | head -40").c_str(), "r"), pclose);
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p.get())) > 0) diff.append(buf, n);
  ADD_FAILURE() << name << " differs from its golden file:\n" << diff;
}

class ZovGpsTool : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new std::string(ToolDir());
    std::string error;
    ASSERT_TRUE(ZovWriteFixture(ZovFixtureLayout::kTextG1, "", *dir_ + "/drive.txt",
                                ZovFixtureDrive(8), {}, &error)) << error;
    ASSERT_TRUE(ZovWriteFixture(ZovFixtureLayout::kGpsTable48, zovtest::Fixture("h264_aac48_30fps.mp4"),
                                *dir_ + "/london.mp4", ZovFixtureDrive(6, 51.50735, -0.12776),
                                {}, &error)) << error;
  }
  static std::string Files() { return "drive.txt london.mp4"; }
  static std::string* dir_;
};
std::string* ZovGpsTool::dir_ = nullptr;

}  // namespace

TEST_F(ZovGpsTool, EveryFormatMatchesItsGoldenFile) {
  for (const char* f : {"points", "sensor", "csv", "gpx", "geojson"}) {
    const ToolRun r = RunTool(std::string("--format ") + f + " " + Files());
    EXPECT_EQ(r.status, 0) << f << ": " << r.err;
    EXPECT_EQ(r.err, "");
    ExpectGolden(r.out, std::string("two_files.") + f);
  }
  // csv is the default format.
  EXPECT_EQ(RunTool(Files()).out, RunTool("--format csv " + Files()).out);
}

TEST_F(ZovGpsTool, PointsAreTheExchangeTextOneRecordPerLine) {
  const ToolRun r = RunTool("--format points drive.txt");
  size_t lines = 0;
  for (size_t pos = 0; (pos = r.out.find(";\n", pos)) != std::string::npos; pos += 2) ++lines;
  EXPECT_EQ(lines, 8u);
  EXPECT_EQ(r.out.rfind("0 2023/01/05 12:34:50 N:22.54321 E:114.05432 ", 0), 0u) << r.out;
}

TEST_F(ZovGpsTool, GpxIsValidAgainstTheSchema) {
  if (std::system("xmllint --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "xmllint missing";
  const ToolRun r = RunTool("--format gpx " + Files());
  const std::string gpx = *dir_ + "/out.gpx";
  WriteFile(gpx, Bytes(r.out.begin(), r.out.end()));
  const std::string check = "xmllint --noout --schema '" + Golden("gpx-1.1.xsd") + "' ";
  EXPECT_EQ(std::system((check + "'" + gpx + "' 2>/dev/null").c_str()), 0);
  // The schema check does reject what GPX forbids (a latitude above 90).
  std::string bad = r.out;
  bad.replace(bad.find("lat=\"") + 5, 2, "95");
  WriteFile(gpx, Bytes(bad.begin(), bad.end()));
  EXPECT_NE(std::system((check + "'" + gpx + "' 2>/dev/null").c_str()), 0);
}

TEST_F(ZovGpsTool, ExitCodesAndMessages) {
  ToolRun r = RunTool("");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("usage"), std::string::npos);
  EXPECT_EQ(RunTool("--format kml " + Files()).status, 2);
  EXPECT_EQ(RunTool("--bogus " + Files()).status, 2);

  const std::string missing = *dir_ + "/missing.mp4";
  r = RunTool("'" + missing + "' " + Files());
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "zovgps: cannot read " + missing + "\n");
  EXPECT_FALSE(r.out.empty());  // the readable files were still processed

  const std::string plain = zovtest::Fixture("h264_aac48_30fps.mp4");
  r = RunTool("'" + plain + "'");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(RunTool("--format csv '" + plain + "' '" + *dir_ + "/drive.txt'").status, 0);
}
