// The package format: header fields, the walk over records with lying sizes
// and offsets, the refusal of unsafe names, unpacking to disk, the packer,
// and the hand-over line.
#include <gtest/gtest.h>

#include <filesystem>

#include "launcher/zov_package.h"
#include "tests/common/test_paths.h"
#include "tests/launcher/package_builder.h"

namespace fs = std::filesystem;
using packtest::AppendHeader;
using packtest::BuildPackage;
using packtest::ReadText;
using packtest::Tree;
using packtest::WriteBytes;
using packtest::WriteText;

namespace {

struct WalkLog {
  std::vector<ZovPackRecord> records;
  ZovWalkEnd end;
};

WalkLog Walk(const std::vector<uint8_t>& bytes) {
  WalkLog log;
  ZovMemoryPackSource src(bytes.data(), bytes.size());
  log.end = ZovWalkPackage(src, [&](const ZovPackRecord& r) {
    log.records.push_back(r);
    return true;
  });
  return log;
}

}  // namespace

TEST(PackageHeader, FieldsSitAtTheirOffsets) {
  uint8_t h[kZovPackHeaderSize];
  ASSERT_TRUE(ZovEncodePackHeader("a.txt", "res\\img", 0x01020304, 0x7f000010, h));
  EXPECT_EQ(h[0], 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(h + 1)), "a.txt");
  EXPECT_EQ(std::string(reinterpret_cast<char*>(h + 129)), "res\\img");
  EXPECT_EQ(h[260], 0x04);
  EXPECT_EQ(h[263], 0x01);
  EXPECT_EQ(h[264], 0x10);
  EXPECT_EQ(h[267], 0x7f);

  ZovPackHeader d;
  EXPECT_FALSE(ZovDecodePackHeader(h, kZovPackHeaderSize - 1, &d));
  ASSERT_TRUE(ZovDecodePackHeader(h, kZovPackHeaderSize, &d));
  EXPECT_EQ(d.name, "a.txt");
  EXPECT_EQ(d.subFolder, "res\\img");
  EXPECT_EQ(d.dataSize, 0x01020304);
  EXPECT_EQ(d.dataOffset, 0x7f000010);
  EXPECT_TRUE(d.nameTerminated && d.subFolderTerminated);

  // Field limits: 127 and 130 bytes fit, one more does not.
  EXPECT_TRUE(ZovEncodePackHeader(std::string(127, 'n'), std::string(130, 's'), 0, 0, h));
  EXPECT_FALSE(ZovEncodePackHeader(std::string(128, 'n'), "", 0, 0, h));
  EXPECT_FALSE(ZovEncodePackHeader("n", std::string(131, 's'), 0, 0, h));

  // A name that fills its field without a terminator is flagged.
  std::memset(h + 1, 'x', kZovPackNameField);
  ASSERT_TRUE(ZovDecodePackHeader(h, kZovPackHeaderSize, &d));
  EXPECT_FALSE(d.nameTerminated);
  EXPECT_EQ(d.name.size(), kZovPackNameField);
}

TEST(PackageNames, UnsafeNamesAndFoldersAreRecognised) {
  EXPECT_TRUE(ZovIsPlainFileName("tamarinsoft"));
  EXPECT_TRUE(ZovIsPlainFileName("a..b.txt"));
  for (const char* bad : {"", ".", "..", "a/b", "a\\b", "/etc", "\\evil"}) {
    EXPECT_FALSE(ZovIsPlainFileName(bad)) << bad;
  }
  for (const char* good : {"", "res", "res\\img", "x86/bin", "a/./b", "a..b", "..a"}) {
    EXPECT_TRUE(ZovIsContainedSubFolder(good)) << good;
  }
  for (const char* bad : {"..", "..\\..\\out", "res\\..\\..", "a/../b", "/etc", "\\abs", "C:\\Windows"}) {
    EXPECT_FALSE(ZovIsContainedSubFolder(bad)) << bad;
  }
  EXPECT_EQ(ZovSlashes("a\\b\\c"), "a/b/c");
  EXPECT_EQ(ZovUtf16Units("abc"), 3u);
  EXPECT_EQ(ZovUtf16Units("打开失败"), 4u);
  EXPECT_EQ(ZovUtf16Units("\xF0\x9F\x98\x80"), 2u);  // outside the basic plane: a surrogate pair
}

TEST(PackageWalk, RecordEndingAtThePackageEndIsTheLast) {
  // Record 1's data sits after an embedded, well-formed record 2 and ends at
  // the package end: the walk stops after record 1 and never reads record 2.
  std::vector<uint8_t> bytes;
  const int32_t dataPos = 2 * kZovPackHeaderSize + 3;
  AppendHeader(bytes, "one", "", 4, dataPos);
  AppendHeader(bytes, "two", "", 3, 2 * kZovPackHeaderSize);
  bytes.insert(bytes.end(), {'x', 'y', 'z', 'd', 'a', 't', 'a'});
  WalkLog log = Walk(bytes);
  ASSERT_EQ(log.records.size(), 1u);
  EXPECT_EQ(log.records[0].header.name, "one");
  EXPECT_EQ(log.end, ZovWalkEnd::kEndOfPackage);

  // Two ordinary records: both, ended by the second's data.
  log = Walk(BuildPackage({{"a", "", "AAAA"}, {"b", "sub", ""}}));
  ASSERT_EQ(log.records.size(), 2u);
  EXPECT_EQ(log.records[1].headerPos, static_cast<int64_t>(kZovPackHeaderSize + 4));
  EXPECT_EQ(log.end, ZovWalkEnd::kEndOfPackage);
}

TEST(PackageWalk, LyingSizesAndOffsetsStopTheWalk) {
  auto first = BuildPackage({{"good", "", "12345"}});
  struct Case {
    const char* what;
    int32_t size, offset;
    ZovWalkEnd end;
  } cases[] = {
      {"negative size", -1, 0, ZovWalkEnd::kBadSize},
      {"negative offset", 1, -5, ZovWalkEnd::kBadOffset},
      {"offset past end", 0, 1 << 30, ZovWalkEnd::kBadOffset},
      {"data past end", 1 << 20, 0, ZovWalkEnd::kPastEnd},
      {"size overflowing int32 sum", 0x7fffffff, 0x7fffff00, ZovWalkEnd::kBadOffset},
      // Points back at the start: would read the first header again forever.
      {"record pointing back", 0, 0, ZovWalkEnd::kBadOffset},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = first;
    AppendHeader(bytes, "bad", "", c.size, c.offset);
    bytes.insert(bytes.end(), 16, 'p');
    WalkLog log = Walk(bytes);
    EXPECT_EQ(log.end, c.end) << c.what;
    ASSERT_EQ(log.records.size(), 1u) << c.what;  // the good record came first, the bad one is not passed on
    EXPECT_EQ(log.records[0].header.name, "good");
  }

  // A truncated header after a good record ends the walk without error.
  std::vector<uint8_t> bytes = first;
  bytes.insert(bytes.end(), 100, 0);
  WalkLog log = Walk(bytes);
  EXPECT_EQ(log.end, ZovWalkEnd::kShortHeader);
  EXPECT_EQ(log.records.size(), 1u);
  EXPECT_EQ(Walk({}).end, ZovWalkEnd::kShortHeader);
}

TEST(PackageWalk, UnsafeRecordsAreSkippedAndTheWalkGoesOn) {
  auto bytes = BuildPackage({{"../evil", "", "x"},
                             {"/tmp/abs", "", "x"},
                             {"", "", "x"},
                             {"ok1", "..\\..\\out", "x"},
                             {"ok2", "/abs", "x"},
                             {"fine", "res\\img", "y"}});
  WalkLog log = Walk(bytes);
  ASSERT_EQ(log.records.size(), 6u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(log.records[i].verdict, ZovRecordVerdict::kRefusedName) << i;
  EXPECT_EQ(log.records[3].verdict, ZovRecordVerdict::kRefusedFolder);
  EXPECT_EQ(log.records[4].verdict, ZovRecordVerdict::kRefusedFolder);
  EXPECT_EQ(log.records[5].verdict, ZovRecordVerdict::kWrite);
  EXPECT_EQ(log.records[5].subFolder, "res/img");
}

TEST(PackageUnpack, SubFolderCreatesEachLevelAndWritesTheBytes) {
  fs::path dir = zovtest::TempDir();
  std::string big(5000, '\0');  // several copy pieces, with zero bytes
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
  WriteBytes(dir / "p.bin", BuildPackage({{"logo.png", "res\\img", big}, {"top.txt", "", "top"}}));
  ZovUnpackResult r = ZovUnpackPackage(dir / "p.bin", dir / "new");
  ASSERT_TRUE(r.opened);
  EXPECT_EQ(r.end, ZovWalkEnd::kEndOfPackage);
  EXPECT_TRUE(fs::is_directory(dir / "new/res"));
  EXPECT_TRUE(fs::is_directory(dir / "new/res/img"));
  EXPECT_EQ(ReadText(dir / "new/res/img/logo.png"), big);
  EXPECT_EQ(ReadText(dir / "new/top.txt"), "top");
  EXPECT_EQ(r.written, (std::vector<std::string>{"res/img/logo.png", "top.txt"}));
}

TEST(PackageUnpack, ProgramsAndScriptsBecomeExecutable) {
  fs::path dir = zovtest::TempDir();
  WriteBytes(dir / "p.bin", BuildPackage({{"run.sh", "", "#!/bin/sh\n"},
                                          {"prog", "", std::string("\x7f" "ELF\x02\x01", 6)},
                                          {"notes.txt", "", "#! not at the start? it is: but ELF"},
                                          {"data.bin", "", "\x7f" "EL"},
                                          {"plain.txt", "", "text"}}));
  ZovUnpackPackage(dir / "p.bin", dir / "new");
  auto exec = [&](const char* name) {
    return (fs::status(dir / "new" / name).permissions() & fs::perms::owner_exec) != fs::perms::none;
  };
  EXPECT_TRUE(exec("run.sh"));
  EXPECT_TRUE(exec("prog"));
  EXPECT_TRUE(exec("notes.txt"));
  EXPECT_FALSE(exec("data.bin"));
  EXPECT_FALSE(exec("plain.txt"));
}

TEST(PackageUnpack, HostilePackagesWriteNothingOutsideTheUnpackFolder) {
  fs::path dir = zovtest::TempDir();
  fs::create_directories(dir / "base");
  WriteText(dir / "base/keep.txt", "keep");
  const auto before = Tree(dir);

  std::vector<uint8_t> bytes = BuildPackage({{"..", "", "x"},
                                             {"../../escape.txt", "", "x"},
                                             {"escape.txt", "..", "x"},
                                             {"escape.txt", "..\\..", "x"},
                                             {"escape.txt", "a\\..\\..\\..", "x"},
                                             {"abs.txt", (dir / "abs").string(), "x"},
                                             {"safe.txt", "", "safe"}});
  AppendHeader(bytes, "past.txt", "", 1 << 20, static_cast<int32_t>(bytes.size() + kZovPackHeaderSize));
  WriteBytes(dir / "base/p.bin", bytes);

  ZovUnpackResult r = ZovUnpackPackage(dir / "base/p.bin", dir / "base/new");
  EXPECT_EQ(r.end, ZovWalkEnd::kPastEnd);
  EXPECT_EQ(r.refused.size(), 6u);
  EXPECT_EQ(r.written, std::vector<std::string>{"safe.txt"});
  EXPECT_FALSE(fs::exists(dir / "base/new/past.txt"));
  // Apart from base/new and what lies in it, the tree is as before.
  std::vector<std::string> after;
  for (const std::string& p : Tree(dir)) {
    if (p.rfind("base/new", 0) != 0 && p != "base/p.bin") after.push_back(p);
  }
  EXPECT_EQ(after, before);
  EXPECT_EQ(Tree(dir / "base/new"), std::vector<std::string>{"safe.txt"});
}

TEST(PackageUnpack, LinkInsideTheUnpackFolderIsNotFollowed) {
  fs::path dir = zovtest::TempDir();
  fs::create_directories(dir / "outside");
  fs::create_directories(dir / "base/new");
  fs::create_directory_symlink(dir / "outside", dir / "base/new/res");
  WriteText(dir / "base/new/file.txt", "old");
  fs::create_symlink(dir / "outside/target.txt", dir / "base/new/link.txt");
  WriteBytes(dir / "base/p.bin",
             BuildPackage({{"a.txt", "res", "x"}, {"link.txt", "", "y"}, {"file.txt", "", "new"}}));
  ZovUnpackResult r = ZovUnpackPackage(dir / "base/p.bin", dir / "base/new");
  EXPECT_TRUE(Tree(dir / "outside").empty());
  // The link file cannot be opened for writing, which ends unpacking as any
  // file that cannot be created does.
  EXPECT_EQ(r.end, ZovWalkEnd::kStoppedByWriter);
  EXPECT_EQ(ReadText(dir / "base/new/file.txt"), "old");
}

TEST(PackageUnpack, FileThatCannotBeCreatedEndsUnpacking) {
  fs::path dir = zovtest::TempDir();
  fs::create_directories(dir / "new/clash");  // a folder where the second file should go
  WriteBytes(dir / "p.bin", BuildPackage({{"a", "", "1"}, {"clash", "", "2"}, {"c", "", "3"}}));
  ZovUnpackResult r = ZovUnpackPackage(dir / "p.bin", dir / "new");
  EXPECT_EQ(r.end, ZovWalkEnd::kStoppedByWriter);
  EXPECT_EQ(r.written, std::vector<std::string>{"a"});
  EXPECT_FALSE(fs::exists(dir / "new/c"));

  ZovUnpackResult missing = ZovUnpackPackage(dir / "nothing.bin", dir / "new2");
  EXPECT_FALSE(missing.opened);
  EXPECT_FALSE(fs::exists(dir / "new2"));
}

TEST(PackageFolders, ChainCreatesMissingParentsWithinItsAttempts) {
  fs::path dir = zovtest::TempDir();
  EXPECT_TRUE(ZovCreateFolderChain(dir / "a/b/c/d"));
  EXPECT_TRUE(fs::is_directory(dir / "a/b/c/d"));
  EXPECT_TRUE(ZovCreateFolderChain(dir / "a/b"));  // already there
  WriteText(dir / "file", "x");
  EXPECT_FALSE(ZovCreateFolderChain(dir / "file/sub"));
  // 20 missing levels need 40 attempts: more than the walk may make.
  fs::path deep = dir / "d";
  for (int i = 0; i < 20; ++i) deep /= "x";
  EXPECT_FALSE(ZovCreateFolderChain(deep));
  fs::path ok = dir / "e";
  for (int i = 0; i < 14; ++i) ok /= "y";
  EXPECT_TRUE(ZovCreateFolderChain(ok));
}

TEST(PackageWriter, PacksATreeThatUnpacksToTheSameFiles) {
  fs::path dir = zovtest::TempDir();
  WriteText(dir / "src/x86/bin/tamarinsoft", "#!/bin/sh\n");
  WriteText(dir / "src/x86/res/img/a.png", std::string(3000, 'a'));
  WriteText(dir / "src/x86/empty.txt", "");
  std::string error;
  std::vector<std::string> warnings;
  ASSERT_TRUE(ZovWritePackage(dir / "src", dir / "p.bin", &error, &warnings)) << error;

  // Sub-folders are stored with backslashes, in path order.
  std::string raw = ReadText(dir / "p.bin");
  ASSERT_GE(raw.size(), kZovPackHeaderSize);
  EXPECT_STREQ(raw.c_str() + kZovPackNameOffset, "tamarinsoft");
  EXPECT_STREQ(raw.c_str() + kZovPackSubFolderOffset, "x86\\bin");

  ZovUnpackResult r = ZovUnpackPackage(dir / "p.bin", dir / "new");
  EXPECT_EQ(r.end, ZovWalkEnd::kEndOfPackage);
  EXPECT_EQ(Tree(dir / "new"), Tree(dir / "src"));
  EXPECT_EQ(ReadText(dir / "new/x86/res/img/a.png"), std::string(3000, 'a'));

  WriteText(dir / "long" / std::string(128, 'n'), "x");
  EXPECT_FALSE(ZovWritePackage(dir / "long", dir / "q.bin", &error, &warnings));
  EXPECT_NE(error.find("127"), std::string::npos);
  EXPECT_FALSE(ZovWritePackage(dir / "missing", dir / "q.bin", &error, &warnings));
}

TEST(Handover, FieldsAndTheCompleteMark) {
  ZovHandover h = ZovParseHandover("0,pkg.bin,.,K,V1.01.07.,pkg");
  EXPECT_TRUE(h.kindRead);
  EXPECT_EQ(h.kind, 0);
  ASSERT_EQ(h.fields.size(), 6u);
  EXPECT_EQ(h.fields[1], "pkg.bin");
  EXPECT_EQ(h.fields[2], ".");
  EXPECT_TRUE(h.Complete());

  EXPECT_FALSE(ZovParseHandover("0,pkg.bin,.,N,").Complete());
  EXPECT_TRUE(ZovParseHandover("3,pkg.bin,bin,ok").Complete());
  EXPECT_EQ(ZovParseHandover("3,pkg.bin,bin,ok").kind, 3);
  EXPECT_FALSE(ZovParseHandover("0,pkg.bin,.").Complete());
  EXPECT_FALSE(ZovParseHandover("").Complete());
  EXPECT_FALSE(ZovParseHandover("x,a,b,K").kindRead);
  // Field 4 longer than its 31 characters is not taken as a mark.
  EXPECT_FALSE(ZovParseHandover("0,a,.," + std::string(31, 'N') + "K").Complete());
  EXPECT_TRUE(ZovParseHandover("0,a,.," + std::string(30, 'N') + "K").Complete());
  // Only the first 128 bytes are read.
  std::string longName(125, 'p');
  EXPECT_FALSE(ZovParseHandover("0," + longName + ",.,K").Complete());
}
