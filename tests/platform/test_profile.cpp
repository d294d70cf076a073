// Ini file functions: reads, writes that keep the rest of the file, names
// compared without case, and failures reported as failures.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "platform/zov_profile.h"
#include "tests/common/test_paths.h"

namespace {

using zovtest::Slurp;
using zovtest::Spit;

class ProfileTest : public ::testing::Test {
 protected:
  void SetUp() override { file_ = zovtest::TempDir() + "/test.ini"; }
  std::string file_;
};

TEST_F(ProfileTest, IntegerReadTakesLeadingNumber) {
  Spit(file_,
       "[setup]\n"
       "a=12abc\n"
       "b=abc\n"
       "c=  -7 \n"
       "d=\n"
       "e=+5x\n"
       "f=4294967295\n");
  EXPECT_EQ(ZovGetPrivateProfileInt("setup", "a", 99, file_), 12);
  EXPECT_EQ(ZovGetPrivateProfileInt("setup", "b", 99, file_), 0);
  EXPECT_EQ(ZovGetPrivateProfileInt("setup", "c", 99, file_), -7);
  // An empty value counts as missing.
  EXPECT_EQ(ZovGetPrivateProfileInt("setup", "d", 99, file_), 99);
  EXPECT_EQ(ZovGetPrivateProfileInt("setup", "e", 99, file_), 5);
  // 32-bit wrap-around, as an unsigned read cast to int.
  EXPECT_EQ(ZovGetPrivateProfileInt("setup", "f", 99, file_), -1);
  EXPECT_EQ(ZovGetPrivateProfileInt("setup", "missing", 42, file_), 42);
  EXPECT_EQ(ZovGetPrivateProfileInt("nosection", "a", 43, file_), 43);
  EXPECT_EQ(ZovGetPrivateProfileInt("setup", "a", 44, file_ + ".absent"), 44);
}

TEST_F(ProfileTest, StringReadTrimsUnquotesAndIgnoresCase) {
  Spit(file_,
       "; leading comment\n"
       "[Language]\r\n"
       "  Count =  3  \r\n"
       "language0=\"  quoted  \"\r\n"
       "language1='single'\r\n"
       "language2=\"unbalanced\r\n"
       ";language3=commented\r\n"
       "language4=first\r\n"
       "LANGUAGE4=second\r\n"
       "[language]\n"
       "count=shadowed\n");
  EXPECT_EQ(ZovGetPrivateProfileString("language", "count", "", file_), "3");
  EXPECT_EQ(ZovGetPrivateProfileString("LANGUAGE", "COUNT", "", file_), "3");
  EXPECT_EQ(ZovGetPrivateProfileString("language", "language0", "", file_), "  quoted  ");
  EXPECT_EQ(ZovGetPrivateProfileString("language", "language1", "", file_), "single");
  EXPECT_EQ(ZovGetPrivateProfileString("language", "language2", "", file_), "\"unbalanced");
  EXPECT_EQ(ZovGetPrivateProfileString("language", ";language3", "dflt", file_), "dflt");
  EXPECT_EQ(ZovGetPrivateProfileString("language", "language3", "dflt", file_), "dflt");
  EXPECT_EQ(ZovGetPrivateProfileString("language", "language4", "", file_), "first");
  EXPECT_EQ(ZovGetPrivateProfileString("language", "nokey", "fallback", file_), "fallback");
}

TEST_F(ProfileTest, ByteOrderMarkAndUtf8Values) {
  Spit(file_, "\xEF\xBB\xBF[setup]\ndirpath=/home/用户/截图/\n");
  EXPECT_EQ(ZovGetPrivateProfileString("setup", "dirpath", "", file_), "/home/用户/截图/");
  ASSERT_TRUE(ZovWritePrivateProfileString("setup", "volume", "16", file_));
  EXPECT_EQ(Slurp(file_), "\xEF\xBB\xBF[setup]\ndirpath=/home/用户/截图/\nvolume=16\n");
}

TEST_F(ProfileTest, WriteCreatesFileAndSection) {
  ASSERT_TRUE(ZovWritePrivateProfileString("setup", "setuptest", "1", file_));
  EXPECT_EQ(Slurp(file_), "[setup]\nsetuptest=1\n");
  ASSERT_TRUE(ZovWritePrivateProfileString("map", "count", "3", file_));
  EXPECT_EQ(Slurp(file_), "[setup]\nsetuptest=1\n[map]\ncount=3\n");
  EXPECT_EQ(ZovGetPrivateProfileInt("map", "count", 0, file_), 3);
}

TEST_F(ProfileTest, WriteKeepsEveryOtherLineAndComment) {
  const std::string before =
      "; shipped settings\r\n"
      "[language]\r\n"
      "count=2\r\n"
      "\r\n"
      "[Setup]\r\n"
      "; the current language\r\n"
      "Language = 1\r\n"
      "volume=16\r\n"
      "\r\n"
      "; trailing comment\r\n"
      "[unit]\r\n"
      "count=3";
  Spit(file_, before);
  // Replace in place: the key keeps its spelling, section matched without case.
  ASSERT_TRUE(ZovWritePrivateProfileString("setup", "language", "5", file_));
  std::string after = Slurp(file_);
  std::string expected = before;
  expected.replace(expected.find("Language = 1"), 12, "Language =5");
  EXPECT_EQ(after, expected);
  EXPECT_EQ(ZovGetPrivateProfileInt("setup", "language", 0, file_), 5);

  // A new key goes after the section's last entry, with the file's line end.
  ASSERT_TRUE(ZovWritePrivateProfileString("SETUP", "dirpath", "/tmp/shots/", file_));
  expected.replace(expected.find("volume=16\r\n") + 11, 0, "dirpath=/tmp/shots/\r\n");
  EXPECT_EQ(Slurp(file_), expected);

  // A new key in the last section, which has no final line end.
  ASSERT_TRUE(ZovWritePrivateProfileString("unit", "unit0", "KMH", file_));
  expected += "\r\nunit0=KMH\r\n";
  EXPECT_EQ(Slurp(file_), expected);
}

TEST_F(ProfileTest, RemoveKeyAndSection) {
  Spit(file_, "[a]\nx=1\ny=2\n[b]\nz=3\n[c]\nw=4\n");
  ASSERT_TRUE(ZovWritePrivateProfileString("a", std::string("x"), std::nullopt, file_));
  EXPECT_EQ(Slurp(file_), "[a]\ny=2\n[b]\nz=3\n[c]\nw=4\n");
  ASSERT_TRUE(ZovWritePrivateProfileString("B", std::nullopt, std::nullopt, file_));
  EXPECT_EQ(Slurp(file_), "[a]\ny=2\n[c]\nw=4\n");
  // Removing what is not there changes nothing and is no failure.
  ASSERT_TRUE(ZovWritePrivateProfileString("zzz", std::string("q"), std::nullopt, file_));
  EXPECT_EQ(Slurp(file_), "[a]\ny=2\n[c]\nw=4\n");
}

TEST_F(ProfileTest, WriteFailuresAreReported) {
  // Missing folder.
  EXPECT_FALSE(ZovWritePrivateProfileString("s", "k", "v", file_ + ".d/none/x.ini"));
  // A value with a line break would add lines the file never meant.
  EXPECT_FALSE(ZovWritePrivateProfileString("s", "k", "a\nb", file_));
  EXPECT_FALSE(ZovWritePrivateProfileString("", "k", "v", file_));
  // A folder where the file should be.
  std::string dir = zovtest::TempDir();
  EXPECT_FALSE(ZovWritePrivateProfileString("s", "k", "v", dir));
}

TEST_F(ProfileTest, WriteKeepsPermissionsAndFollowsLinks) {
  Spit(file_, "[s]\nk=1\n");
  ASSERT_EQ(chmod(file_.c_str(), 0640), 0);
  std::string link = file_ + ".link";
  ASSERT_EQ(symlink(file_.c_str(), link.c_str()), 0);
  ASSERT_TRUE(ZovWritePrivateProfileString("s", "k", "2", link));
  struct stat st {};
  ASSERT_EQ(lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  ASSERT_EQ(stat(file_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(Slurp(file_), "[s]\nk=2\n");
}

TEST_F(ProfileTest, LineWithoutEqualsIsNoKey) {
  Spit(file_, "[s]\njunk line\nk=v\n[broken\nq=1\n");
  EXPECT_EQ(ZovGetPrivateProfileString("s", "junk line", "d", file_), "d");
  EXPECT_EQ(ZovGetPrivateProfileString("s", "k", "", file_), "v");
  // A header without "]" still opens its section.
  EXPECT_EQ(ZovGetPrivateProfileString("broken", "q", "", file_), "1");
}

}  // namespace
