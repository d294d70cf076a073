// The update client's rules on their own: the check reply, the version
// decision, the names that may be used and the hand-over lines.
#include <gtest/gtest.h>

#include "update/zov_update_rules.h"

TEST(CheckReply, ValuesAreQuotedTextsAfterTheKey) {
  std::string v;
  EXPECT_TRUE(ZovReplyValue(R"({"soft_version" : "12", "x":1})", "soft_version", &v));
  EXPECT_EQ(v, "12");
  EXPECT_FALSE(ZovReplyValue(R"({"file_url":""})", "file_url", &v));   // empty
  EXPECT_FALSE(ZovReplyValue(R"({"file_url": 5})", "file_url", &v));   // no quote after the colon
  EXPECT_FALSE(ZovReplyValue(R"({"file_url": "abc)", "file_url", &v));  // unterminated
  EXPECT_FALSE(ZovReplyValue(R"({"file_md5":"x"})", "file_url", &v));
  // The value is searched after the first colon following the key, wherever it is.
  EXPECT_TRUE(ZovReplyValue(R"({"file_url" "a": "b"})", "file_url", &v));
  EXPECT_EQ(v, "b");
}

TEST(CheckReply, CalibrationOnlyWhenNewerAndComplete) {
  const char* full = R"({"soft_version":"3","file_md5":"abc","file_url":"https://h/c.bin"})";
  ZovCheckReply r = ZovParseCheckReply(full, 0);
  EXPECT_TRUE(r.fetchCalibration);
  EXPECT_EQ(r.softVersion, 3);
  EXPECT_EQ(r.fileMd5, "abc");
  EXPECT_EQ(r.fileUrl, "https://h/c.bin");

  EXPECT_FALSE(ZovParseCheckReply(full, 3).fetchCalibration);  // not newer than the client's
  EXPECT_TRUE(ZovParseCheckReply(full, 2).fetchCalibration);
  EXPECT_FALSE(ZovParseCheckReply(R"({"file_md5":"a","file_url":"u"})", 0).fetchCalibration);
  EXPECT_FALSE(ZovParseCheckReply(R"({"soft_version":"3","file_md5":"a","file_url":""})", 0).fetchCalibration);
  EXPECT_FALSE(ZovParseCheckReply(R"({"soft_version":"3","file_url":"u"})", 0).fetchCalibration);
  EXPECT_FALSE(ZovParseCheckReply(R"({"soft_version":"x","file_md5":"a","file_url":"u"})", 0).fetchCalibration);
  EXPECT_FALSE(ZovParseCheckReply("", 0).fetchCalibration);
}

TEST(VersionRule, DecisionsOnTheVersionTexts) {
  // Different at position 4: never an update, even when the server looks newer.
  EXPECT_FALSE(ZovVersionWantsUpdate("V1.01.06.", "V1.02.06.", "pkg"));
  // 12 + 0 + 1 < 24 + 0 + 1.
  EXPECT_TRUE(ZovVersionWantsUpdate("V1.01.06.", "V2.01.00.", "pkg"));
  EXPECT_FALSE(ZovVersionWantsUpdate("V2.01.00.", "V1.01.06.", "pkg"));
  // Equal levels: the patch against the first two digits of the package name.
  EXPECT_TRUE(ZovVersionWantsUpdate("V1.01.06.", "V1.01.06.", "07_zovplay"));
  EXPECT_FALSE(ZovVersionWantsUpdate("V1.01.06.", "V1.01.06.", "05_zovplay"));
  EXPECT_FALSE(ZovVersionWantsUpdate("V1.01.06.", "V1.01.06.", "06_zovplay"));
  EXPECT_FALSE(ZovVersionWantsUpdate("V1.01.06.", "V1.01.06.", ""));
  EXPECT_FALSE(ZovVersionWantsUpdate("V1.01.06.", "V", "pkg"));
  // A short current text reads zero bytes past its end instead of failing.
  EXPECT_FALSE(ZovVersionWantsUpdate("", "V1.01.06.", "pkg"));
  EXPECT_FALSE(ZovVersionWantsUpdate("V1.01.06.", "V1.0", "9"));
}

TEST(VersionRule, UsableNamesAndFolders) {
  EXPECT_TRUE(ZovIsUsableUpdateName("07_zovplay_kpr417"));
  EXPECT_TRUE(ZovIsUsableUpdateName(std::string(31, 'a')));
  EXPECT_FALSE(ZovIsUsableUpdateName(std::string(32, 'a')));
  for (const char* bad : {"", "..", "../x", "a/b", "a\\b", "a,b", "a\nb"}) {
    EXPECT_FALSE(ZovIsUsableUpdateName(bad)) << bad;
  }
  EXPECT_TRUE(ZovIsUsableUpdateFolder("."));
  EXPECT_TRUE(ZovIsUsableUpdateFolder("bin\\x"));
  EXPECT_FALSE(ZovIsUsableUpdateFolder("a,b"));
}

TEST(HandoverLines, PendingAndReadyLinesAndTheirFourthField) {
  EXPECT_EQ(ZovHandoverPendingLine(0, "pkg", "."), "0,pkg.bin,.,N,");
  EXPECT_EQ(ZovHandoverReadyLine(0, "pkg", ".", "V1.01.07."), "0,pkg.bin,.,K,V1.01.07.,pkg");
  EXPECT_FALSE(ZovHandoverSaysReady(ZovHandoverPendingLine(0, "pkg", ".")));
  EXPECT_TRUE(ZovHandoverSaysReady(ZovHandoverReadyLine(0, "pkg", ".", "V")));
  EXPECT_TRUE(ZovHandoverSaysReady("0,a,b,ok"));
  EXPECT_FALSE(ZovHandoverSaysReady("0,Kpkg.bin,K,N,K"));  // only field 4 counts
  EXPECT_FALSE(ZovHandoverSaysReady("0,a,b"));
  EXPECT_FALSE(ZovHandoverSaysReady(""));
  // Beyond the first 128 bytes nothing is examined.
  EXPECT_FALSE(ZovHandoverSaysReady("0," + std::string(130, 'p') + ",.,K,"));
  // So a package is only fetched when its mark lands within them.
  const std::string name(31, 'n');
  EXPECT_TRUE(ZovHandoverMarkFits(name, std::string(88, 'd')));
  EXPECT_TRUE(ZovHandoverSaysReady(ZovHandoverReadyLine(0, name, std::string(88, 'd'), "V")));
  EXPECT_FALSE(ZovHandoverMarkFits(name, std::string(89, 'd')));
}
