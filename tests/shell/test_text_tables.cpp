// The built-in text tables: their order, names, sizes, which keys each one
// holds, the exact texts other parts rely on, and the look-up rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "shell/zov_text_tables.h"

namespace {

// Every key, in the reference table's order.
const std::vector<std::string> kReferenceKeys = {
    "netwarning", "mutlanguage", "basesetup", "selectlanguage", "chineses", "english", "jap",
    "France", "Deutsch", "taiwan", "korean", "Russia", "Turkey", "Hebrew", "Portugal", "Spain",
    "poland", "Italy", "Hungary", "Greece", "Netherlands", "selectmap", "gaode", "google",
    "Openstreet", "trackconnect", "playmode", "decodemode", "dxva2errormsg", "softserver",
    "softup", "softinfo", "version", "nonetwork", "updating", "updatingfinish", "mapwarning",
    "decode_warning", "warn", "warning", "team", "filename", "filetime", "filetype", "gpsinfo",
    "audioinfo", "videoinfo", "resolution", "bitratio", "frameratio", "filesize", "mediainfo",
    "pixelformat", "have", "nohave", "normalfile", "block", "sleftmousefun", "srightmousefun",
    "drightmousefun", "playing", "add", "delete", "filelist", "server", "moments", "local",
    "newest", "recommand", "nextpage", "prepage", "newvideo", "fileinfo", "browseCount",
    "uploadDate", "allshow", "unit", "newestversion", "APPalreadyexist", "email", "web",
    "company", "trailadjust", "clipfinish", "cliperror", "clip", "cliprange", "decoder",
    "hwcodec", "softcodec", "gpuname", "dxdsupport", "h264support", "h265support", "sysinfo",
    "gpstrack", "trackwarning", "filepath", "allfile", "video", "setfilepath", "updateinfo",
    "pre_tip", "play_tip", "next_tip", "stop_tip", "file_tip", "cut_tip", "sound_tip",
    "mirror_tip", "KMH", "MPH", "NMH", "warning_delete", "title_delete", "same file", "ensure",
    "order", "single", "on", "off", "total_distance", "average_speed", "latitude", "longitude",
    "decode_soft", "decode_dxva", "decode_dx11", "getgpsinfo", "show", "createError"};

struct TableFacts {
  const char* name;
  const char* display;
  int count;
};

const TableFacts kFacts[kZovTextTableCount] = {
    {"chineses", "中文", 133},        {"english", "EngLish", 128},
    {"jap", "日本語", 128},           {"France", "France", 127},
    {"Deutsch", "Deutsch", 121},      {"taiwan", "繁體", 136},
    {"korean", "한국어", 127},        {"Russia", "Русский", 129},
    {"Turkey", "Turkish", 128},       {"Hebrew", "Hebrew", 128},
    {"Portugal", "Português", 127},   {"Spain", "Español", 128},
    {"poland", "Język polski", 128},  {"Italy", "Italiano", 100},
    {"Hungary", "Magyar nyelv", 128}, {"Greece", "Ελλάδα", 128},
    {"Netherlands", "Nederlands", 128}};

const std::set<std::string> kUnitKeys = {"KMH", "MPH", "NMH", "mirror_tip"};
const std::set<std::string> kTipKeys = {"pre_tip",  "play_tip", "next_tip", "stop_tip",
                                        "file_tip", "cut_tip",  "sound_tip"};

// Number of UTF-16 code units of a UTF-8 text; -1 when it is not valid UTF-8.
int Utf16Length(const std::string& s) {
  int units = 0;
  for (size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    int extra;
    if (c < 0x80) extra = 0;
    else if ((c & 0xE0) == 0xC0) extra = 1;
    else if ((c & 0xF0) == 0xE0) extra = 2;
    else if ((c & 0xF8) == 0xF0) extra = 3;
    else return -1;
    if (i + extra >= s.size()) return -1;
    for (int k = 1; k <= extra; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return -1;
    }
    units += extra == 3 ? 2 : 1;  // outside the basic plane: a surrogate pair
    i += 1 + extra;
  }
  return units;
}

std::vector<std::string> KeysOf(const ZovTextTable* table) {
  std::vector<std::string> keys;
  for (int i = 0; i < table->count; ++i) keys.push_back(table->entries[i].key);
  return keys;
}

// Keys of a table without the trailing blanks some of them are stored with.
std::set<std::string> TrimmedKeySet(const ZovTextTable* table) {
  std::set<std::string> keys;
  for (std::string k : KeysOf(table)) {
    while (!k.empty() && k.back() == ' ') k.pop_back();
    keys.insert(k);
  }
  return keys;
}

std::set<std::string> MissingKeys(const ZovTextTable* table) {
  const std::set<std::string> present = TrimmedKeySet(table);
  std::set<std::string> missing;
  for (const std::string& k : kReferenceKeys) {
    if (!present.count(k)) missing.insert(k);
  }
  return missing;
}

TEST(TextTables, OrderNamesDisplayTextsAndCounts) {
  for (int i = 0; i < kZovTextTableCount; ++i) {
    SCOPED_TRACE(i + 1);
    const ZovTextTable* table = ZovTextTableAt(i);
    ASSERT_NE(table, nullptr);
    EXPECT_STREQ(table->languageName, kFacts[i].name);
    EXPECT_STREQ(table->displayText, kFacts[i].display);
    EXPECT_EQ(table->count, kFacts[i].count);
    // The display text is the table's own text for its language name.
    EXPECT_EQ(ZovLookUpText(table, kFacts[i].name), kFacts[i].display);
    EXPECT_EQ(ZovTextTableIndex(table), i);
    EXPECT_EQ(ZovFindTextTable(kFacts[i].name), table);
  }
  EXPECT_EQ(ZovTextTableAt(-1), nullptr);
  EXPECT_EQ(ZovTextTableAt(kZovTextTableCount), nullptr);
  EXPECT_EQ(ZovTextTableIndex(nullptr), -1);
}

TEST(TextTables, EntriesFitTheFixedLayoutAndEndWithTheSentinel) {
  for (int i = 0; i < kZovTextTableCount; ++i) {
    SCOPED_TRACE(kFacts[i].name);
    const ZovTextTable* table = ZovTextTableAt(i);
    const ZovTextEntry& sentinel = table->entries[table->count];
    EXPECT_STREQ(sentinel.key, "F");
    EXPECT_STREQ(sentinel.text, "");
    for (int e = 0; e < table->count; ++e) {
      const std::string key = table->entries[e].key;
      const std::string text = table->entries[e].text;
      SCOPED_TRACE(key);
      // No real key is one character long: that would end the look-up early.
      EXPECT_GT(key.size(), 1u);
      EXPECT_LT(key.size(), size_t(kZovTextKeyChars));
      EXPECT_TRUE(std::all_of(key.begin(), key.end(), [](char c) { return c >= 0x20 && c < 0x7F; }));
      const int units = Utf16Length(text);
      EXPECT_GT(units, 0) << "empty or malformed text";
      EXPECT_LT(units, kZovTextChars);
    }
  }
}

TEST(TextTables, ReferenceTableHoldsEveryKeyInOrder) {
  const ZovTextTable* table = ZovTextTableAt(0);
  std::vector<std::string> firstSeen;
  std::set<std::string> seen;
  for (const std::string& k : KeysOf(table)) {
    if (seen.insert(k).second) firstSeen.push_back(k);
  }
  EXPECT_EQ(firstSeen, kReferenceKeys);
}

TEST(TextTables, EveryTableFollowsTheReferenceOrder) {
  std::map<std::string, size_t> position;
  for (size_t i = 0; i < kReferenceKeys.size(); ++i) position[kReferenceKeys[i]] = i;
  for (int t = 0; t < kZovTextTableCount; ++t) {
    SCOPED_TRACE(kFacts[t].name);
    std::set<std::string> seen;
    size_t last = 0;
    bool first = true;
    for (std::string k : KeysOf(ZovTextTableAt(t))) {
      while (!k.empty() && k.back() == ' ') k.pop_back();
      ASSERT_TRUE(position.count(k)) << "unknown key " << k;
      if (!seen.insert(k).second) continue;  // a repeated key is never found
      EXPECT_TRUE(first || position[k] > last) << k << " out of order";
      last = position[k];
      first = false;
    }
  }
}

TEST(TextTables, MissingKeysAreExactlyTheDesignedOnes) {
  for (int t = 0; t < kZovTextTableCount; ++t) {
    SCOPED_TRACE(kFacts[t].name);
    const std::set<std::string> missing = MissingKeys(ZovTextTableAt(t));
    std::set<std::string> expected;
    const int number = t + 1;
    if (number != 1 && number != 6) expected.insert(kUnitKeys.begin(), kUnitKeys.end());
    if (number == 5) expected.insert(kTipKeys.begin(), kTipKeys.end());
    if (number == 4 || number == 7 || number == 11) expected.insert("decode_warning");
    if (number == 14) {
      EXPECT_EQ(missing.size(), 32u);
      for (const char* k : {"APPalreadyexist", "decodemode", "dxva2errormsg", "ensure", "decode_soft",
                            "decode_dxva", "decode_dx11"}) {
        EXPECT_TRUE(missing.count(k)) << k;
      }
      for (const std::string& k : kTipKeys) EXPECT_TRUE(missing.count(k)) << k;
      for (const std::string& k : kUnitKeys) EXPECT_TRUE(missing.count(k)) << k;
      continue;
    }
    EXPECT_EQ(missing, expected);
  }
}

TEST(TextTables, TellingRowsOfTheFirstTwoTables) {
  struct Row {
    const char* key;
    const char* chinese;
    const char* english;  // null: absent from table 2
  };
  const Row rows[] = {
      {"netwarning", "没有因特网连接, 不能显示GPS连接", "no network connection£¬have no Gps Track"},
      {"selectlanguage", "语言选择:", "Language:"},
      {"selectmap", "地图选择：", "Maps :"},
      {"gaode", "高德地图", "Amap"},
      {"google", "Google地图", "Google Map"},
      {"Openstreet", "OpenstreetMap", "OpenstreetMap"},
      {"trackconnect", "轨迹连接:", "Track Connect:"},
      {"playmode", "播放模式:", "Play Mode"},
      {"decodemode", "解码方式:", "Decode Mode:"},
      {"dxva2errormsg", "DXVA2加速失败\n请更换解码方式", "Vadx2 acceleration failed\nPlease change the decoding method"},
      {"basesetup", "基本设置", "Base Setup"},
      {"softserver", "软件服务", "Software"},
      {"softup", "检测与升级", "Detection Update"},
      {"softinfo", "软件信息", "Software Information"},
      {"version", "版本号：", "Version"},
      {"nonetwork", "没有网络", "Can Not Connect network!"},
      {"updating", "正在升级.....", "Updating..."},
      {"updatingfinish", "升级完成，请重启应用", "Update finish! please reset APP"},
      {"newestversion", "已经是最新版本", "It is the latest version"},
      {"updateinfo", "升级信息", "UPDATE"},
      {"mapwarning", "请先停止播放，这样才能成功切换地图！",
       "Please stop playing,otherwise can't change the map successfully!"},
      {"decode_warning", "请先停止播放，这样才能成功切换解码方式！",
       "Please stop playing,otherwise can't change the decode mode successfully！"},
      {"filepath", "保存路径(截图文件):", "File Save Path:"},
      {"setfilepath", "选择文件存放路径", "Select save path"},
      {"unit", "速度单元：", "Speed unit:"},
      {"KMH", "千米/时", nullptr},
      {"MPH", "英里/时", nullptr},
      {"NMH", "海里/时", nullptr},
      {"order", "顺序播放", "order"},
      {"single", "单个播放", "single"},
      {"on", "开", "on"},
      {"off", "关", "off"},
      {"decode_soft", "软解码", "Soft Decoding"},
      {"decode_dxva", "DXVA加速", "DXVA"},
      {"decode_dx11", "DX11加速", "DX11"},
      {"same file", "存在相同文件", "The same file exists"},
      {"warning_delete", "无法删除正在播放的文件", "Unable to delete the playing file"},
      {"title_delete", "警告", "warning"},
      {"ensure", "确定", "ensure"},
      {"show", "提示", "WARRING"},
      {"createError", "创建文件失败，检查路径", "File Error，Check File Path"},
      {"APPalreadyexist", "已经有一个程序启动了", "An app has been launched"},
      {"trackwarning", "如果轨迹有偏移，请选着[设置]-->[轨迹调整]，调整轨迹",
       "If the GPS track display abnormal, please go to [Setting] and check the [trail adjust]"},
  };
  const ZovTextTable* chinese = ZovTextTableAt(0);
  const ZovTextTable* english = ZovTextTableAt(1);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.key);
    EXPECT_EQ(ZovLookUpText(chinese, row.key), row.chinese);
    EXPECT_EQ(ZovLookUpText(english, row.key), row.english ? row.english : "");
  }
}

TEST(TextTables, UnitNamesOnlyInTheChineseTables) {
  CZovTextSelector texts;
  EXPECT_EQ(texts.CurrentLanguageName(), "english");
  EXPECT_EQ(texts.GetText("KMH"), "");
  ASSERT_TRUE(texts.ChooseTable("chineses"));
  EXPECT_EQ(texts.GetText("KMH"), "千米/时");
  ASSERT_TRUE(texts.ChooseTable("taiwan"));
  EXPECT_FALSE(texts.GetText("MPH").empty());
  EXPECT_FALSE(texts.GetText("mirror_tip").empty());
}

TEST(TextTables, FirstOfTwoEqualKeysWins) {
  const ZovTextTable* chinese = ZovTextTableAt(0);
  std::vector<int> deletes;
  for (int i = 0; i < chinese->count; ++i) {
    if (std::string(chinese->entries[i].key) == "delete") deletes.push_back(i);
  }
  ASSERT_EQ(deletes.size(), 2u);
  ASSERT_STRNE(chinese->entries[deletes[0]].text, chinese->entries[deletes[1]].text);
  EXPECT_EQ(ZovLookUpText(chinese, "delete"), chinese->entries[deletes[0]].text);
  // Every table: whatever key repeats, the look-up gives its first text.
  for (int t = 0; t < kZovTextTableCount; ++t) {
    const ZovTextTable* table = ZovTextTableAt(t);
    std::set<std::string> seen;
    for (int i = 0; i < table->count; ++i) {
      const std::string key = table->entries[i].key;
      if (seen.insert(key).second) {
        EXPECT_EQ(ZovLookUpText(table, key), table->entries[i].text) << kFacts[t].name << " " << key;
      }
    }
  }
}

TEST(TextTables, LanguageNamesMatchExactly) {
  CZovTextSelector texts;
  ASSERT_TRUE(texts.ChooseTable("jap"));
  EXPECT_FALSE(texts.ChooseTable("Chineses"));
  EXPECT_EQ(texts.CurrentLanguageName(), "jap");
  EXPECT_FALSE(texts.ChooseTable("english "));
  EXPECT_FALSE(texts.ChooseTable(""));
  EXPECT_FALSE(texts.ChooseTable("Traditional"));
  EXPECT_EQ(texts.CurrentLanguageName(), "jap");
  EXPECT_EQ(texts.GetText("jap"), "日本語");
  EXPECT_EQ(ZovFindTextTable("FRANCE"), nullptr);
}

TEST(TextTables, KeysStoredWithATrailingBlankAreNotFoundWithout) {
  const ZovTextTable* japanese = ZovFindTextTable("jap");
  EXPECT_EQ(ZovLookUpText(japanese, "mutlanguage"), "");
  EXPECT_FALSE(ZovLookUpText(japanese, "mutlanguage ").empty());
  EXPECT_FALSE(ZovLookUpText(japanese, "newestversion").empty());
  for (const char* name : {"Turkey", "Hebrew", "Portugal"}) {
    SCOPED_TRACE(name);
    const ZovTextTable* table = ZovFindTextTable(name);
    EXPECT_EQ(ZovLookUpText(table, "newestversion"), "");
    EXPECT_FALSE(ZovLookUpText(table, "newestversion ").empty());
    EXPECT_FALSE(ZovLookUpText(table, "mutlanguage").empty());
  }
  EXPECT_EQ(ZovLookUpText(ZovFindTextTable("english"), "newestversion"), "It is the latest version");
}

TEST(TextTables, LookUpEdges) {
  const ZovTextTable* english = ZovTextTableAt(1);
  EXPECT_EQ(ZovLookUpText(english, "F"), "");  // the sentinel itself
  EXPECT_EQ(ZovLookUpText(english, ""), "");
  EXPECT_EQ(ZovLookUpText(english, "no such key"), "");
  EXPECT_EQ(ZovLookUpText(english, "Delete"), "");  // case-sensitive
  EXPECT_EQ(ZovLookUpText(english, "delet"), "");   // length first
  EXPECT_EQ(ZovLookUpText(nullptr, "delete"), "");
  EXPECT_EQ(ZovLookUpText(english, "same file"), "The same file exists");
}

TEST(TextTables, LookUpStopsAtTheSentinel) {
  // Entries after a one-character key are never reached.
  const ZovTextEntry entries[] = {{"first", "1"}, {"F", ""}, {"after", "unreachable"}, {"F", ""}};
  const ZovTextTable table{"test", "test", entries, 1};
  EXPECT_EQ(ZovLookUpText(&table, "first"), "1");
  EXPECT_EQ(ZovLookUpText(&table, "after"), "");
}

TEST(TextTables, TurkishAndHebrewHoldTheEnglishTexts) {
  const ZovTextTable* english = ZovFindTextTable("english");
  for (const char* name : {"Turkey", "Hebrew"}) {
    SCOPED_TRACE(name);
    const ZovTextTable* table = ZovFindTextTable(name);
    for (int i = 0; i < english->count; ++i) {
      const std::string key = english->entries[i].key;
      if (key == "newestversion") continue;
      EXPECT_EQ(ZovLookUpText(table, key), ZovLookUpText(english, key)) << key;
    }
  }
}

TEST(TextTables, OtherLanguagesAreTranslated) {
  // Language names, map names and codec names stay as they are; nearly every
  // other text of a translated table must differ from the English one.
  const ZovTextTable* english = ZovFindTextTable("english");
  const std::set<std::string> sameEverywhere = {"Openstreet", "decode_dxva", "decode_dx11", "gpsinfo",
                                                "audioinfo",  "videoinfo",   "decoder",     "server",
                                                "local",      "sysinfo",     "version",     "updateinfo",
                                                "ensure",     "bitratio",    "gaode",       "google"};
  for (int t = 0; t < kZovTextTableCount; ++t) {
    const std::string name = kFacts[t].name;
    if (name == "english" || name == "Turkey" || name == "Hebrew") continue;
    SCOPED_TRACE(name);
    const ZovTextTable* table = ZovTextTableAt(t);
    int compared = 0, same = 0;
    for (int i = 0; i < table->count; ++i) {
      const std::string key = table->entries[i].key;
      if (std::find(kReferenceKeys.begin() + 4, kReferenceKeys.begin() + 21, key) != kReferenceKeys.begin() + 21)
        continue;  // language names
      if (sameEverywhere.count(key) || ZovLookUpText(english, key).empty()) continue;
      ++compared;
      if (ZovLookUpText(table, key) == ZovLookUpText(english, key)) ++same;
    }
    EXPECT_GT(compared, 70);
    EXPECT_LE(same * 20, compared) << same << " of " << compared << " texts are the English ones";
  }
}

// Texts of later features come from the added rows: every language has
// one (translated where the table is, English in tables 9 and 10), and a
// key of the built-in tables still gives that table's own text.
TEST(TextTables, AddedTextsAreReadInEveryLanguage) {
  CZovTextSelector texts;
  ASSERT_TRUE(texts.ChooseTable("english"));
  const std::string english = texts.GetText("drivegap");
  EXPECT_EQ(english, "Pause between drives:");
  for (int t = 0; t < kZovTextTableCount; ++t) {
    const std::string name = kFacts[t].name;
    SCOPED_TRACE(name);
    ASSERT_TRUE(texts.ChooseTable(name));
    const std::string text = texts.GetText("drivegap");
    EXPECT_GT(Utf16Length(text), 3);
    EXPECT_LT(Utf16Length(text), kZovTextChars);
    const bool englishTable = name == "english" || name == "Turkey" || name == "Hebrew";
    EXPECT_EQ(text == english, englishTable) << text;
    EXPECT_EQ(texts.GetText("basesetup"), ZovLookUpText(ZovTextTableAt(t), "basesetup"));
  }
  EXPECT_EQ(ZovAddedTextOf(17, "drivegap"), "");
  EXPECT_EQ(ZovAddedTextOf(1, "no such key"), "");
}

// The video panes' texts: a name for every camera kind and the two labels
// of a stopped channel, which take the name in place of %1 once.
TEST(TextTables, PaneTextsExistInEveryLanguageAndLabelsTakeTheName) {
  CZovTextSelector texts;
  for (int t = 0; t < kZovTextTableCount; ++t) {
    SCOPED_TRACE(kFacts[t].name);
    ASSERT_TRUE(texts.ChooseTable(kFacts[t].name));
    for (const char* key : {"chanfront", "chanrear", "chaninterior", "chanleft", "chanright", "chanextra",
                            "chanmenu", "chanended", "chanfailed"}) {
      const std::string text = texts.GetText(key);
      EXPECT_GT(Utf16Length(text), 0) << key;
      EXPECT_LT(Utf16Length(text), kZovTextChars) << key;
      const bool label = std::string(key) == "chanended" || std::string(key) == "chanfailed";
      const size_t at = text.find("%1");
      EXPECT_EQ(at != std::string::npos && text.find("%1", at + 1) == std::string::npos, label) << key;
    }
  }
}

TEST(TextTables, ReadersSeeAWholeTableWhileTheLanguageChanges) {
  CZovTextSelector texts;
  std::atomic<bool> stop{false};
  std::atomic<int> bad{0};
  std::thread reader([&] {
    while (!stop.load()) {
      const std::string t = texts.GetText("basesetup");
      if (t != "Base Setup" && t != "基本设置") ++bad;
    }
  });
  for (int i = 0; i < 20000; ++i) texts.ChooseTable(i % 2 ? "english" : "chineses");
  stop = true;
  reader.join();
  EXPECT_EQ(bad.load(), 0);
}

}  // namespace
