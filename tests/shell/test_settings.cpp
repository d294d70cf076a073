// CZovIniFile and CZovSettings: folders, choice of the settings file, the load
// with its limits and repairs, and setters that write at once.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/zov_profile.h"
#include "shell/zov_ini_file.h"
#include "shell/zov_settings.h"
#include "tests/common/test_paths.h"

namespace fs = std::filesystem;

namespace {

using zovtest::Slurp;
using zovtest::Spit;

// A fake installation <root>/base/{bin,setup} and a configuration home
// <root>/config, which XDG_CONFIG_HOME points to for the test.
class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = zovtest::TempDir();
    base_ = root_ + "/base";
    fs::create_directories(base_ + "/bin");
    fs::create_directories(base_ + "/setup");
    config_ = root_ + "/config";
    setenv("XDG_CONFIG_HOME", config_.c_str(), 1);
    setenv("XDG_CACHE_HOME", (root_ + "/cache").c_str(), 1);
  }
  void TearDown() override {
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("XDG_CACHE_HOME");
  }
  std::string Exe() const { return base_ + "/bin/tamarinsoft"; }
  std::string Shipped() const { return base_ + "/setup/quelnasetup.ini"; }
  std::string UserCopy() const { return config_ + "/ZovGpsPlay/quelnasetup.ini"; }

  std::string root_, base_, config_;
};

TEST(IniFile, ReadsThroughTheProfileFunctions) {
  std::string file = zovtest::TempDir() + "/t.ini";
  Spit(file, "[unit]\nunit1_scale=0.621371\nbad=abc\nint=12abc\n[s]\nlong=" + std::string(300, 'x') + "\n");
  CZovIniFile ini;
  EXPECT_FALSE(ini.HasFile());
  EXPECT_EQ(ini.ReadInt("unit", "int", 5), 5);  // no file given yet
  ASSERT_TRUE(ini.SetFile(file));
  EXPECT_EQ(ini.ReadInt("unit", "int", 5), 12);
  EXPECT_FLOAT_EQ(ini.ReadFloat("unit", "unit1_scale", 0), 0.621371f);
  EXPECT_FLOAT_EQ(ini.ReadFloat("unit", "missing", 0), 0.0f);
  EXPECT_FLOAT_EQ(ini.ReadFloat("unit", "missing", 2.5f), 2.5f);
  EXPECT_FLOAT_EQ(ini.ReadFloat("unit", "bad", 3.0f), 0.0f);
  const std::string& v = ini.ReadString("s", "long", "");
  EXPECT_EQ(v.size(), 255u);
  EXPECT_TRUE(ini.LastReadWasCut());
  ini.ReadString("unit", "int", "");
  EXPECT_FALSE(ini.LastReadWasCut());
  EXPECT_TRUE(ini.WriteInt("setup", "volume", -3));
  EXPECT_EQ(ini.ReadInt("setup", "volume", 0), -3);
}

TEST(IniFile, RefusesNamesThatDoNotFit) {
  CZovIniFile ini;
  std::string dir = zovtest::TempDir();
  std::string tooLong = dir + "/" + std::string(300, 'n') + ".ini";
  EXPECT_FALSE(ini.SetFile(tooLong));
  EXPECT_FALSE(ini.HasFile());
  EXPECT_FALSE(ini.WriteInt("setup", "x", 1));
  EXPECT_EQ(ini.ReadInt("setup", "x", 9), 9);
}

TEST(IniFile, Utf16Counting) {
  EXPECT_EQ(ZovUtf16Length("abc"), 3);
  EXPECT_EQ(ZovUtf16Length("千米/时"), 4);
  EXPECT_EQ(ZovUtf16Length("\xF0\x9F\x98\x80"), 2);  // outside the BMP: a pair
  EXPECT_EQ(ZovCutUtf16("千米/时", 2), "千米");
  EXPECT_EQ(ZovCutUtf16("a\xF0\x9F\x98\x80", 2), "a");  // never half a pair
}

TEST_F(SettingsTest, ShippedFileLoadsEverything) {
  fs::copy_file(zovtest::SourceDir() + "/setup/quelnasetup.ini", Shipped());
  CZovSettings s;
  s.Init(Exe());
  EXPECT_EQ(s.BaseFolder(), base_);
  EXPECT_EQ(s.SetupFolder(), base_ + "/setup/");
  EXPECT_EQ(s.ResFolder(), base_ + "/res/");
  EXPECT_EQ(s.SettingsFolder(), base_ + "/setup/");
  EXPECT_EQ(s.UserFolder(), config_ + "/ZovGpsPlay/");
  EXPECT_EQ(s.CacheFolder(), root_ + "/cache/ZovGpsPlay/Cache");
  // The probe wrote into the shipped file.
  EXPECT_EQ(ZovGetPrivateProfileInt("setup", "setuptest", 0, Shipped()), 1);

  ASSERT_EQ(s.LanguageCount(), 17);
  ASSERT_EQ(s.Languages().size(), 17u);
  EXPECT_EQ(s.Languages()[0].name, "chineses");
  EXPECT_EQ(s.Languages()[16].name, "Netherlands");
  EXPECT_EQ(s.LanguageIndex(), 1);
  EXPECT_EQ(s.Texts().CurrentLanguageName(), "english");
  EXPECT_EQ(s.GetText("selectlanguage"), "Language:");

  ASSERT_EQ(s.Units().size(), 3u);
  EXPECT_EQ(s.UnitName(), "KMH");
  EXPECT_FLOAT_EQ(s.UnitScale(), 1.0f);
  EXPECT_FLOAT_EQ(s.Units()[1].scale, 0.621371f);
  EXPECT_FLOAT_EQ(s.Units()[2].scale, 0.539957f);

  ASSERT_EQ(s.Maps().size(), 3u);
  EXPECT_EQ(s.CurrentMapName(), "Openstreet");
  EXPECT_EQ(s.CurrentMapLocation(), base_ + "/setup/map/osm.html");
  EXPECT_EQ(s.Maps()[2].location, kZovGoogleMapPage);

  EXPECT_EQ(s.TrackConnects(), (std::vector<std::string>{"off", "on"}));
  EXPECT_EQ(s.PlayModes(), (std::vector<std::string>{"order", "single"}));
  EXPECT_EQ(s.DecodeModes(), (std::vector<std::string>{"decode_dx11", "decode_soft", "decode_dxva"}));
  EXPECT_EQ(s.Volume(), 16);
  EXPECT_EQ(s.FirstStart(), 1);
  EXPECT_EQ(s.ScreenshotFolder(), "");
  EXPECT_EQ(s.TrackFlag(), 0);
}

TEST_F(SettingsTest, MissingFileGivesDefaults) {
  CZovSettings s;
  EXPECT_EQ(s.UnitName(), "KMH");
  EXPECT_EQ(s.Volume(), 10);  // before the load
  s.Init(Exe());
  EXPECT_EQ(s.LanguageCount(), 0);
  EXPECT_TRUE(s.Languages().empty());
  EXPECT_TRUE(s.Maps().empty());
  EXPECT_EQ(s.UnitName(), "KMH");
  EXPECT_EQ(s.Volume(), 0);
  EXPECT_EQ(s.CurrentMapLocation(), "");
  EXPECT_FLOAT_EQ(s.UnitScale(), 1.0f);
  EXPECT_EQ(s.Texts().CurrentLanguageName(), "english");
}

TEST_F(SettingsTest, CountOutsideOneTo199LoadsNothing) {
  Spit(Shipped(),
       "[language]\ncount=200\nlanguage0=chineses\nlanguage1=jap\n"
       "[unit]\ncount=0\nunit0=MPH\nunit0_scale=0.6\n"
       "[map]\ncount=-1\nmap0=gaode\nmap0_file=map/gaode.html\n"
       "[playmode]\ncount=199\nplaymode0=order\n"
       "[setup]\nlanguage=1\nunit=0\n");
  CZovSettings s;
  s.Init(Exe());
  EXPECT_EQ(s.LanguageCount(), 200);  // the count stays as read
  EXPECT_TRUE(s.Languages().empty());
  EXPECT_EQ(s.LanguageIndex(), 0);
  EXPECT_EQ(s.Texts().CurrentLanguageName(), "english");  // no change of table
  EXPECT_TRUE(s.Units().empty());
  EXPECT_EQ(s.UnitName(), "KMH");
  EXPECT_TRUE(s.Maps().empty());
  EXPECT_EQ(s.MapCount(), -1);
  // 199 is loaded: entries that are absent are empty names.
  ASSERT_EQ(s.PlayModes().size(), 199u);
  EXPECT_EQ(s.PlayModes()[0], "order");
  EXPECT_EQ(s.PlayModes()[198], "");
  // Setters must not reach past the loaded entries, whatever the count says.
  s.SetLanguage(150);
  EXPECT_EQ(s.LanguageIndex(), 0);
  EXPECT_EQ(ZovGetPrivateProfileInt("setup", "language", 0, Shipped()), 150);
}

TEST_F(SettingsTest, RepairKeepsFileAndDecodeModeStays) {
  Spit(Shipped(),
       "[language]\ncount=3\nlanguage0=chineses\nlanguage1=english\nlanguage2=jap\n"
       "[unit]\ncount=3\nunit0=KMH\nunit0_scale=1\nunit1=MPH\nunit1_scale=0.621371\nunit2=NMH\nunit2_scale=0.539957\n"
       "[trackconnect]\ncount=2\ntrackconnect0=off\ntrackconnect1=on\n"
       "[decodemode]\ncount=3\ndecodemode0=decode_dx11\ndecodemode1=decode_soft\ndecodemode2=decode_dxva\n"
       "[setup]\nlanguage=7\nunit=-2\ntrackconnect=2\ndecodemode=9\nmap=3\nplaymode=1\n");
  CZovSettings s;
  s.Init(Exe());
  EXPECT_EQ(s.LanguageIndex(), 0);
  EXPECT_EQ(s.Texts().CurrentLanguageName(), "chineses");
  EXPECT_EQ(ZovGetPrivateProfileInt("setup", "language", 0, Shipped()), 7);
  EXPECT_EQ(s.UnitIndex(), 0);
  EXPECT_EQ(s.TrackConnectIndex(), 0);
  EXPECT_EQ(s.MapIndex(), 0);
  EXPECT_EQ(s.PlayModeIndex(), 0);
  EXPECT_EQ(s.DecodeModeIndex(), 9);
  // The user's choice then writes the key.
  s.SetLanguage(2);
  EXPECT_EQ(s.LanguageIndex(), 2);
  EXPECT_EQ(s.Texts().CurrentLanguageName(), "jap");
  EXPECT_EQ(ZovGetPrivateProfileInt("setup", "language", 0, Shipped()), 2);
}

TEST_F(SettingsTest, MapLocations) {
  std::string longName(300, 'p');
  Spit(Shipped(),
       "[map]\ncount=5\n"
       "map0=g1\nmap0_file=pages\\mygoogle_v2.html\n"
       "map1=osm\nmap1_file=map\\osm.html\n"
       "map2=case\nmap2_file=map/Google.html\n"
       "map3=long\nmap3_file=" + longName + "\n"
       "map4=" + std::string(40, 'N') + "\nmap4_file=x.html\n"
       "[setup]\nmap=1\n");
  CZovSettings s;
  s.Init(Exe());
  ASSERT_EQ(s.Maps().size(), 5u);
  EXPECT_EQ(s.Maps()[0].location, kZovGoogleMapPage);
  EXPECT_EQ(s.CurrentMapLocation(), base_ + "/setup/map/osm.html");
  // The match is case-sensitive.
  EXPECT_EQ(s.Maps()[2].location, base_ + "/setup/map/Google.html");
  // A page path that does not fit is refused, never cut into another path.
  EXPECT_EQ(s.Maps()[3].location, "");
  EXPECT_EQ(s.Maps()[4].name, std::string(32, 'N'));
  std::string page(kZovGoogleMapPage);
  EXPECT_EQ(page.rfind("https://", 0), 0u);
  EXPECT_NE(page.find("/pc/pilmo/google.html"), std::string::npos);
}

TEST_F(SettingsTest, SettersWriteAtOnce) {
  fs::copy_file(zovtest::SourceDir() + "/setup/quelnasetup.ini", Shipped());
  const std::string before = Slurp(Shipped());
  CZovSettings s;
  s.Init(Exe());
  s.SetUnit(2);
  EXPECT_EQ(s.UnitName(), "NMH");
  EXPECT_FLOAT_EQ(s.UnitScale(), 0.539957f);
  EXPECT_EQ(ZovGetPrivateProfileInt("setup", "unit", 0, Shipped()), 2);
  s.SetUnit(5);  // written, not taken
  EXPECT_EQ(s.UnitName(), "NMH");
  EXPECT_EQ(ZovGetPrivateProfileInt("setup", "unit", 0, Shipped()), 5);
  s.SetMap(2);
  EXPECT_EQ(s.CurrentMapLocation(), kZovGoogleMapPage);
  s.SetMap(-1);
  EXPECT_EQ(s.MapIndex(), 2);
  EXPECT_EQ(ZovGetPrivateProfileInt("setup", "map", 0, Shipped()), -1);
  s.SetTrackConnect(1);
  s.SetPlayMode(1);
  s.SetDecodeMode(2);
  s.SetDecodeMode(3);
  EXPECT_EQ(s.TrackConnectIndex(), 1);
  EXPECT_EQ(s.PlayModeIndex(), 1);
  EXPECT_EQ(s.DecodeModeIndex(), 2);
  EXPECT_EQ(ZovGetPrivateProfileInt("setup", "decodemode", 0, Shipped()), 3);
  s.SetVolume(45);  // no range check
  EXPECT_EQ(s.Volume(), 45);
  s.SetTrack(1);
  EXPECT_EQ(ZovGetPrivateProfileInt("setup", "track", 0, Shipped()), 1);
  EXPECT_EQ(s.TrackFlag(), 0);  // the key only
  s.SetScreenshotFolder("/home/me/截图/");
  EXPECT_EQ(s.ScreenshotFolder(), "/home/me/截图/");
  EXPECT_EQ(ZovGetPrivateProfileString("setup", "dirpath", "", Shipped()), "/home/me/截图/");
  s.SetPreferredChannels({"left", "", "right"});
  EXPECT_EQ(ZovGetPrivateProfileString("setup", "channels", "", Shipped()), "left,,right");
  // A fresh load sees every choice.
  CZovSettings again;
  again.Init(Exe());
  EXPECT_EQ(again.UnitIndex(), 0);  // 5 names no unit: repaired in memory
  EXPECT_EQ(again.TrackConnectIndex(), 1);
  EXPECT_EQ(again.Volume(), 45);
  EXPECT_EQ(again.DecodeModeIndex(), 3);
  EXPECT_EQ(again.PreferredChannels(), (std::vector<std::string>{"left", "right"}));
  // The language list and its comments are untouched by the setters.
  std::string after = Slurp(Shipped());
  EXPECT_EQ(after.substr(0, before.find("[setup]")), before.substr(0, before.find("[setup]")));
}

// Runs `body` in a child process that cannot write the setup folder: as an
// unprivileged user when the tests run as root (root writes anywhere).
void RunWithoutWriteAccess(const std::string& root, const std::function<void()>& body) {
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (geteuid() == 0) {
      if (setgid(65534) != 0 || setuid(65534) != 0) _exit(90);
    }
    body();
    _exit(::testing::Test::HasFailure() ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "child checks failed (90: could not drop privileges)";
  (void)root;
}

TEST_F(SettingsTest, ReadOnlySetupUsesPerUserCopyMadeOnce) {
  fs::copy_file(zovtest::SourceDir() + "/setup/quelnasetup.ini", Shipped());
  // Everything readable by the unprivileged user, the setup folder not writable.
  fs::permissions(root_, fs::perms(0755));
  fs::permissions(base_ + "/setup", fs::perms(0555));
  fs::permissions(Shipped(), fs::perms(0444));
  fs::create_directories(config_);
  fs::permissions(config_, fs::perms(0777));
  const std::string exe = Exe(), shipped = Shipped(), copy = UserCopy(), base = base_;

  RunWithoutWriteAccess(root_, [&] {
    CZovSettings s;
    s.Init(exe);
    EXPECT_EQ(s.SettingsFolder(), s.UserFolder());
    EXPECT_TRUE(fs::exists(copy));
    EXPECT_EQ(s.LanguageCount(), 17);
    EXPECT_EQ(ZovGetPrivateProfileInt("setup", "setuptest", 0, shipped), 1);  // as shipped
    s.SetVolume(7);
    EXPECT_EQ(ZovGetPrivateProfileInt("setup", "volume", 0, copy), 7);
    EXPECT_EQ(ZovGetPrivateProfileInt("setup", "volume", 0, shipped), 16);
  });

  // A newer shipped file does not replace the user's copy.
  fs::permissions(base_ + "/setup", fs::perms(0755));
  fs::permissions(Shipped(), fs::perms(0644));
  ASSERT_TRUE(ZovWritePrivateProfileString("setup", "volume", "30", Shipped()));
  ASSERT_TRUE(ZovWritePrivateProfileString("unit", "count", "1", Shipped()));
  fs::permissions(base_ + "/setup", fs::perms(0555));
  fs::permissions(Shipped(), fs::perms(0444));

  RunWithoutWriteAccess(root_, [&] {
    CZovSettings s;
    s.Init(exe);
    EXPECT_EQ(s.SettingsFolder(), s.UserFolder());
    EXPECT_EQ(s.Volume(), 7);
    EXPECT_EQ(s.UnitCount(), 3);
  });
  fs::permissions(base_ + "/setup", fs::perms(0755));
}

TEST_F(SettingsTest, NoUserFolderFallsBackToSetupFolder) {
  fs::copy_file(zovtest::SourceDir() + "/setup/quelnasetup.ini", Shipped());
  fs::permissions(root_, fs::perms(0755));
  fs::permissions(base_ + "/setup", fs::perms(0555));
  fs::permissions(Shipped(), fs::perms(0444));
  // The configuration home is a file: no folder can be made below it.
  Spit(config_, "not a folder");
  const std::string exe = Exe(), setup = base_ + "/setup/";
  RunWithoutWriteAccess(root_, [&] {
    CZovSettings s;
    s.Init(exe);
    EXPECT_EQ(s.SettingsFolder(), setup);
    EXPECT_EQ(s.LanguageCount(), 17);  // still read from the shipped file
  });
  fs::permissions(base_ + "/setup", fs::perms(0755));
}

TEST_F(SettingsTest, TextTableFollowsTheLanguage) {
  Spit(Shipped(),
       "[language]\ncount=2\nlanguage0=Chineses\nlanguage1=chineses\n[setup]\nlanguage=0\n");
  CZovSettings s;
  s.Init(Exe());
  // "Chineses" selects nothing: the table before the load stays.
  EXPECT_EQ(s.Texts().CurrentLanguageName(), "english");
  s.SetLanguage(1);
  EXPECT_EQ(s.Texts().CurrentLanguageName(), "chineses");
  EXPECT_EQ(s.GetText("KMH"), "千米/时");
  EXPECT_TRUE(s.ChooseTextTable("english"));
  EXPECT_EQ(s.GetText("KMH"), "");
}

}  // namespace
