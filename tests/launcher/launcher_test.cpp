// The launcher in a temporary base folder: deciding from the hand-over file or
// karu.bin, installing, refusing hand-over paths outside base, and the real
// tamarin program starting a stand-in player or reporting it missing.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "launcher/zov_launcher.h"
#include "tests/common/test_paths.h"
#include "tests/launcher/package_builder.h"

extern char** environ;

namespace fs = std::filesystem;
using packtest::BuildPackage;
using packtest::ReadText;
using packtest::Tree;
using packtest::WriteBytes;
using packtest::WriteText;

namespace {

// The stand-in player records its arguments and working folder beside base.
const char* kPlayerScript =
    "#!/bin/sh\n"
    "echo \"args=$# cwd=$(pwd)\" > \"$(dirname \"$0\")/../started.txt\"\n";

void InstallPlayer(const fs::path& base) {
  WriteText(base / "bin/tamarinsoft", kPlayerScript);
  fs::permissions(base / "bin/tamarinsoft", fs::perms::owner_all);
}

// A package whose x86 folder holds a new player and some resources.
std::vector<uint8_t> UpdatePackage(const std::string& marker) {
  return BuildPackage({{"tamarinsoft", "x86\\bin", kPlayerScript},
                       {"logo.png", "x86\\res\\img", marker},
                       {"quelnasetup.ini", "x86\\setup", "[main]\n"}});
}

int WaitExit(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool WaitForFile(const fs::path& p, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
  auto until = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < until) {
    if (fs::exists(p) && !ReadText(p).empty()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

// Runs a program with DISPLAY and WAYLAND_DISPLAY removed (so no message box
// can wait for a click); returns its exit status and standard error.
int RunWithoutDisplay(const std::vector<std::string>& args, std::string* err, const fs::path& errFile) {
  std::vector<std::string> envs;
  for (char** e = environ; *e; ++e) {
    std::string v = *e;
    if (v.rfind("DISPLAY=", 0) == 0 || v.rfind("WAYLAND_DISPLAY=", 0) == 0) continue;
    envs.push_back(v);
  }
  std::vector<char*> envp, argv;
  for (auto& v : envs) envp.push_back(v.data());
  envp.push_back(nullptr);
  std::vector<std::string> a = args;
  for (auto& v : a) argv.push_back(v.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = -1;
  int rc = posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&fa);
  if (rc != 0) return -1;
  int code = WaitExit(pid);
  if (err) *err = ReadText(errFile);
  return code;
}

// A base folder with its own copy of tamarin, as installed.
fs::path BaseWithLauncher() {
  fs::path base = fs::path(zovtest::TempDir()) / "base";
  fs::create_directories(base);
  fs::copy_file(ZOV_TAMARIN, base / "tamarin");
  return base;
}

}  // namespace

TEST(LauncherDecide, CompleteHandoverLineInstallsIntoBase) {
  fs::path base = zovtest::TempDir();
  WriteText(base / "update.txt", "0,pkg.bin,.,K,V1.01.07.,pkg");
  CZovLauncher l(base);
  ZovInstallPlan plan = l.Decide();
  EXPECT_TRUE(plan.install);
  EXPECT_EQ(plan.kind, 0);
  EXPECT_EQ(plan.package, base / "pkg.bin");
  EXPECT_EQ(plan.destination, base);

  WriteText(base / "update.txt", "0,sub\\pkg.bin,bin\\x,k,V,pkg");
  plan = l.Decide();
  EXPECT_TRUE(plan.install);
  EXPECT_EQ(plan.package, base / "sub/pkg.bin");
  EXPECT_EQ(plan.destination, base / "bin/x");
}

TEST(LauncherDecide, IncompleteDownloadWithInstalledPlayerInstallsNothing) {
  fs::path base = zovtest::TempDir();
  InstallPlayer(base);
  WriteText(base / "update.txt", "0,pkg.bin,.,N,");
  WriteBytes(base / "pkg.bin", UpdatePackage("new"));
  WriteBytes(base / "karu.bin", UpdatePackage("first"));
  CZovLauncher l(base);
  EXPECT_FALSE(l.Decide().install);
  EXPECT_TRUE(l.PlayerExists());
}

TEST(LauncherDecide, MissingPlayerFallsBackToKaruOnlyWhenItIsThere) {
  fs::path base = zovtest::TempDir();
  CZovLauncher l(base);
  EXPECT_FALSE(l.Decide().install);
  fs::create_directories(base / "karu.bin");  // a folder is not a package
  EXPECT_FALSE(l.Decide().install);
  fs::remove(base / "karu.bin");
  WriteBytes(base / "karu.bin", UpdatePackage("first"));
  WriteText(base / "update.txt", "0,pkg.bin,.,N,");  // not complete: falls through to karu.bin
  ZovInstallPlan plan = l.Decide();
  EXPECT_TRUE(plan.install);
  EXPECT_EQ(plan.kind, 1);
  EXPECT_EQ(plan.package, base / "karu.bin");
  EXPECT_EQ(plan.destination, base);
  // A folder where the player should be is not a player.
  fs::create_directories(base / "bin/tamarinsoft");
  EXPECT_FALSE(l.PlayerExists());
  EXPECT_TRUE(l.Decide().install);
}

TEST(LauncherDecide, HandoverPathsOutsideBaseAreNotHonoured) {
  fs::path base = zovtest::TempDir();
  InstallPlayer(base);
  CZovLauncher l(base);
  for (const char* line : {"0,../pkg.bin,.,K,V,pkg", "0,/tmp/pkg.bin,.,K,V,pkg", "0,pkg.bin,bin\\..\\..\\x,K,V,pkg",
                           "0,pkg.bin,bin/../../x,K,V,pkg", "0,pkg.bin,/etc,K,V,pkg"}) {
    WriteText(base / "update.txt", line);
    EXPECT_FALSE(l.Decide().install) << line;
  }
  // Field 3 starting with "." means base itself, whatever follows.
  WriteText(base / "update.txt", "0,pkg.bin,..,K,V,pkg");
  ZovInstallPlan plan = l.Decide();
  EXPECT_TRUE(plan.install);
  EXPECT_EQ(plan.destination, base);
}

TEST(LauncherInstall, UpdateMovesPackageContentIntoBase) {
  fs::path base = zovtest::TempDir();
  InstallPlayer(base);
  WriteText(base / "res/img/old.png", "old");
  WriteText(base / "res/img/logo.png", "previous");
  WriteText(base / "update.txt", "0,pkg.bin,.,K,V1.01.07.,pkg");
  WriteBytes(base / "pkg.bin", UpdatePackage("fresh"));
  CZovLauncher l(base);
  ZovInstallPlan plan = l.Decide();
  ASSERT_TRUE(plan.install);
  ZovUnpackResult r = l.Install(plan);
  EXPECT_EQ(r.written.size(), 3u);
  EXPECT_EQ(ReadText(base / "res/img/logo.png"), "fresh");  // replaced
  EXPECT_EQ(ReadText(base / "res/img/old.png"), "old");     // merged folder keeps the rest
  EXPECT_EQ(ReadText(base / "setup/quelnasetup.ini"), "[main]\n");
  EXPECT_EQ(ReadText(base / "bin/tamarinsoft"), kPlayerScript);
  EXPECT_FALSE(fs::exists(base / "new"));
  EXPECT_FALSE(fs::exists(base / "update.txt"));
  EXPECT_TRUE(fs::exists(base / "pkg.bin"));  // the package itself stays
  EXPECT_FALSE(l.Decide().install);           // the next start only launches
}

TEST(LauncherInstall, UpdateIntoAFolderOfBase) {
  fs::path base = zovtest::TempDir();
  WriteText(base / "update.txt", "0,pkg.bin,plugins,K,V,pkg");
  WriteBytes(base / "pkg.bin", BuildPackage({{"a.so", "x86", "A"}, {"b.txt", "x86\\doc", "B"}}));
  CZovLauncher l(base);
  l.Install(l.Decide());
  EXPECT_EQ(ReadText(base / "plugins/a.so"), "A");
  EXPECT_EQ(ReadText(base / "plugins/doc/b.txt"), "B");
  EXPECT_FALSE(fs::exists(base / "new"));
  EXPECT_FALSE(fs::exists(base / "update.txt"));
}

TEST(LauncherInstall, MissingPackageStillMovesWhatIsInTheUnpackFolder) {
  fs::path base = zovtest::TempDir();
  WriteText(base / "new/x86/left.txt", "from before");
  WriteText(base / "update.txt", "0,gone.bin,.,K,V,gone");
  CZovLauncher l(base);
  ZovUnpackResult r = l.Install(l.Decide());
  EXPECT_FALSE(r.opened);
  EXPECT_EQ(ReadText(base / "left.txt"), "from before");
  EXPECT_FALSE(fs::exists(base / "new"));
  EXPECT_FALSE(fs::exists(base / "update.txt"));
}

TEST(LauncherInstall, FirstInstallationClearsResSetupAndBin) {
  fs::path base = zovtest::TempDir();
  WriteText(base / "res/stale.png", "x");
  WriteText(base / "setup/stale.ini", "x");
  WriteText(base / "bin/stale.so", "x");
  WriteText(base / "keep.txt", "mine");
  WriteBytes(base / "karu.bin", UpdatePackage("first"));
  CZovLauncher l(base);
  ZovInstallPlan plan = l.Decide();
  ASSERT_TRUE(plan.install);
  l.Install(plan);
  EXPECT_FALSE(fs::exists(base / "res/stale.png"));
  EXPECT_FALSE(fs::exists(base / "setup/stale.ini"));
  EXPECT_FALSE(fs::exists(base / "bin/stale.so"));
  EXPECT_EQ(ReadText(base / "res/img/logo.png"), "first");
  EXPECT_TRUE(l.PlayerExists());
  EXPECT_EQ(ReadText(base / "keep.txt"), "mine");
  EXPECT_TRUE(fs::exists(base / "karu.bin"));
}

TEST(LauncherInstall, HostilePackageChangesNothingOutsideBase) {
  fs::path root = zovtest::TempDir();
  fs::path base = root / "base";
  WriteText(root / "outside.txt", "untouched");
  InstallPlayer(base);
  fs::create_directory_symlink(root, base / "res");  // a link in base pointing out of it
  const auto before = Tree(root);
  std::vector<uint8_t> bytes = BuildPackage({{"outside.txt", "x86\\..\\..\\..", "evil"},
                                             {"..", "x86", "evil"},
                                             {"x.txt", "/tmp", "evil"},
                                             {"outside.txt", "x86\\res", "into the link"}});
  packtest::AppendHeader(bytes, "late.txt", "x86", -4, 0);
  WriteBytes(base / "pkg.bin", bytes);
  WriteText(base / "update.txt", "0,pkg.bin,.,K,V,pkg");
  CZovLauncher l(base);
  l.Install(l.Decide());
  EXPECT_EQ(ReadText(root / "outside.txt"), "untouched");
  EXPECT_FALSE(fs::exists(base / "late.txt"));
  // The link itself was replaced by the package's folder; nothing behind it changed.
  EXPECT_FALSE(fs::is_symlink(base / "res"));
  EXPECT_EQ(ReadText(base / "res/outside.txt"), "into the link");
  std::vector<std::string> after;
  for (const std::string& p : Tree(root)) {
    if (p.rfind("base", 0) != 0) after.push_back(p);
  }
  std::vector<std::string> expected;
  for (const std::string& p : before) {
    if (p.rfind("base", 0) != 0) expected.push_back(p);
  }
  EXPECT_EQ(after, expected);
}

TEST(LauncherStart, StartsThePlayerWithoutArgumentsInTheCurrentFolder) {
  fs::path base = zovtest::TempDir();
  CZovLauncher l(base);
  EXPECT_EQ(l.StartPlayer(), -1);
  WriteText(base / "bin/tamarinsoft", "not executable");
  fs::permissions(base / "bin/tamarinsoft", fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(l.StartPlayer(), -1);
  InstallPlayer(base);
  pid_t pid = l.StartPlayer();
  ASSERT_GT(pid, 0);
  EXPECT_EQ(WaitExit(pid), 0);
  EXPECT_EQ(ReadText(base / "started.txt"), "args=0 cwd=" + fs::current_path().string() + "\n");
}

TEST(TamarinProgram, InstallsAZovpackPackageAndStartsThePlayer) {
  fs::path base = BaseWithLauncher();
  fs::path src = base.parent_path() / "src";
  WriteText(src / "x86/bin/tamarinsoft", kPlayerScript);
  fs::permissions(src / "x86/bin/tamarinsoft", fs::perms::owner_all);
  WriteText(src / "x86/res/img/logo.png", "packed");
  std::string err;
  ASSERT_EQ(RunWithoutDisplay({ZOV_ZOVPACK, src.string(), (base / "pkg.bin").string()}, &err,
                              base.parent_path() / "pack.err"),
            0)
      << err;
  WriteText(base / "update.txt", "0,pkg.bin,.,K,V1.01.07.,pkg");

  EXPECT_EQ(RunWithoutDisplay({(base / "tamarin").string()}, &err, base.parent_path() / "t.err"), 0) << err;
  ASSERT_TRUE(WaitForFile(base / "started.txt"));
  EXPECT_EQ(ReadText(base / "started.txt").rfind("args=0 ", 0), 0u);
  EXPECT_EQ(ReadText(base / "res/img/logo.png"), "packed");
  EXPECT_FALSE(fs::exists(base / "update.txt"));
  EXPECT_FALSE(fs::exists(base / "new"));
}

TEST(TamarinProgram, MissingPlayerIsReportedWithStatus1) {
  fs::path base = BaseWithLauncher();
  std::string err;
  EXPECT_EQ(RunWithoutDisplay({(base / "tamarin").string(), "ignored", "--args"}, &err,
                              base.parent_path() / "t.err"),
            1);
  EXPECT_NE(err.find("打开失败"), std::string::npos) << err;
  EXPECT_FALSE(fs::exists(base / "started.txt"));
}

TEST(ZovpackProgram, RefusesWrongUsageAndLeavesNoHalfPackage) {
  fs::path dir = zovtest::TempDir();
  std::string err;
  EXPECT_EQ(RunWithoutDisplay({ZOV_ZOVPACK}, &err, dir / "e1"), 2);
  EXPECT_NE(err.find("usage"), std::string::npos);
  WriteText(dir / "src/x86" / std::string(130, 'n'), "x");
  EXPECT_EQ(RunWithoutDisplay({ZOV_ZOVPACK, (dir / "src").string(), (dir / "p.bin").string()}, &err, dir / "e2"),
            1);
  EXPECT_FALSE(fs::exists(dir / "p.bin"));
}
