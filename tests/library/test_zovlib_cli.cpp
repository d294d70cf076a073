// zovlib as a user runs it: JSON that a JSON reader accepts with the drives
// and reasons of a card, the text form, exit statuses and usage errors.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "tests/common/test_paths.h"
#include "library/zov_camera_clock.h"
#include "tools/zovlib/zov_library_cli.h"

namespace {

struct ToolRun {
  int status;
  std::string out, err;
};

ToolRun Zovlib(const std::vector<std::string>& args) {
  ToolRun r;
  r.status = ZovLibraryToolMain(args, r.out, r.err);
  return r;
}

class ZovlibCli : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Each test program keeps its index in its own temporary cache.
    setenv("XDG_CACHE_HOME", zovtest::TempDir().c_str(), 1);
  }
  std::string card_ = zovtest::FixtureDir() + "/cards/kind-prefix";
};

TEST_F(ZovlibCli, JsonOfACardIsValidAndComplete) {
  const ToolRun r = Zovlib({card_});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const std::string file = zovtest::TempDir() + "/out.json";
  zovtest::Spit(file, r.out);
  // A JSON reader takes it, and it holds the drives, moments and reasons.
  const std::string check =
      "python3 -c \"import json,sys; d=json.load(open(sys.argv[1]));"
      " m=d['drives'][0]['moments'];"
      " assert len(d['drives'])==2 and len(m)==3, d;"
      " assert d['drives'][0]['start']=='2024-05-17T08:00:00' and d['drives'][0]['end']=='2024-05-17T08:03:00';"
      " assert m[0]['mode']=='normal' and m[2]['mode']=='event';"
      " assert sorted(m[0]['channels'])==['front','rear'] and m[0]['channels']['rear'].endswith('REC_2024_05_17_08_00_01_R.MP4');"
      " assert m[0]['seconds']==60.0 and m[0]['gps_fixes']==60;"
      " assert sorted(u['reason'] for u in d['unplayable'])==['cut short: no index','empty file']\" " +
      file;
  EXPECT_EQ(std::system(check.c_str()), 0) << r.out;
}

TEST_F(ZovlibCli, TimesFollowTheLibrarysCameraClock) {
  std::string why;
  ASSERT_TRUE(ZovWriteCameraClock("", {"", 3600 + 30}, &why)) << why;
  const ToolRun text = Zovlib({"--format", "text", card_});
  ASSERT_TRUE(ZovWriteCameraClock("", {}, &why)) << why;  // the other tests read the written clock
  EXPECT_NE(text.out.find("Drive 2024-05-17 09:00:30 - 09:03:30"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("  09:02:30  event"), std::string::npos) << text.out;
}

TEST_F(ZovlibCli, TextFormAndStatuses) {
  const ToolRun text = Zovlib({"--format", "text", card_});
  EXPECT_EQ(text.status, 0);
  EXPECT_NE(text.out.find("Drive 2024-05-17 08:00:00 - 08:03:00, 2.7 km, 3 moments\n"), std::string::npos)
      << text.out;
  EXPECT_NE(text.out.find("  08:02:00  event     FR"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("REC_2024_05_17_11_00_00_F.MP4: empty file\n"), std::string::npos);

  // Nothing playable: status 1, the reasons still printed.
  const std::string broken = zovtest::TempDir() + "/broken";
  std::filesystem::create_directories(broken);
  zovtest::Spit(broken + "/REC_2024_05_17_08_00_00_F.MP4", "");
  const ToolRun none = Zovlib({"--format=json", broken});
  EXPECT_EQ(none.status, 1);
  EXPECT_NE(none.out.find("\"reason\": \"empty file\""), std::string::npos) << none.out;
  const ToolRun missing = Zovlib({broken + "/nothing-here"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("nothing-here: not found"), std::string::npos) << missing.err;
}

TEST_F(ZovlibCli, UsageHelpAndVersion) {
  const std::vector<std::vector<std::string>> bad = {
      {}, {"--format"}, {"--format", "xml", "x"}, {"--bogus", "x"}, {"--gap", "-1", "x"}, {"--gap", "2x", "x"}};
  for (const auto& args : bad) {
    const ToolRun r = Zovlib(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("usage: zovlib"), std::string::npos);
  }
  const ToolRun help = Zovlib({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("usage: zovlib [--format json|text]", 0), 0u);
  EXPECT_EQ(help.err, "");
  const ToolRun version = Zovlib({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("zovlib ", 0), 0u);
  // --gap 3600 joins the two drives of the card.
  const ToolRun joined = Zovlib({"--format", "text", "--gap", "3600", card_});
  EXPECT_NE(joined.out.find("6 moments"), std::string::npos) << joined.out;
}

TEST(ZovlibJson, StringsAreEscapedAndBytesThatAreNotUtf8Replaced) {
  EXPECT_EQ(ZovJsonString("a\"b\\c\n"), "\"a\\\"b\\\\c\\u000a\"");
  EXPECT_EQ(ZovJsonString("caf\xc3\xa9"), "\"caf\xc3\xa9\"");
  EXPECT_EQ(ZovJsonString("\xff" "a\xc3"), "\"\xef\xbf\xbd" "a\xef\xbf\xbd\"");
  EXPECT_EQ(ZovJsonString("\xc0\x80"), "\"\xef\xbf\xbd\xef\xbf\xbd\"");  // overlong NUL
}

}  // namespace
