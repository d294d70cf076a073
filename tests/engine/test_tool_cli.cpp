// The command-line conventions of zovplay and zovprobe, one table: help and
// version on standard output with status 0, usage errors named on standard
// error with status 2, refusals with their reason and status 1, each message
// on one stream only. A named pipe is refused at once, never read.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/common/test_paths.h"

extern char** environ;

namespace {

struct Outcome {
  int status = -1;  // exit status; -1 when it had to be killed
  std::string out, err;
};

std::string Slurp(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Runs BIN_DIR/tool with args, standard output and error to files; kills it
// after `limitMs`.
Outcome RunTool(const std::string& tool, const std::vector<std::string>& args, int limitMs = 15000) {
  const char* bin = std::getenv("ZOV_BIN_DIR");
  const std::string exe = std::string(bin ? bin : ".") + "/" + tool;
  const std::string dir = zovtest::TempDir();
  const std::string outPath = dir + "/cli.out", errPath = dir + "/cli.err";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<char*> argv{const_cast<char*>(exe.c_str())};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  Outcome o;
  const int rc = posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return o;
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  int wstatus = 0;
  while (waitpid(pid, &wstatus, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > until) {
      kill(pid, SIGKILL);
      waitpid(pid, &wstatus, 0);
      o.out = Slurp(outPath);
      o.err = Slurp(errPath);
      return o;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  o.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
  o.out = Slurp(outPath);
  o.err = Slurp(errPath);
  return o;
}

enum Stream { kOut, kErr };

TEST(ToolCommandLine, ConventionsOfBothTools) {
  const std::string fifo = zovtest::TempDir() + "/cli_pipe.mp4";
  std::filesystem::remove(fifo);
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string clip = zovtest::Fixture("h264_aac48_30fps.mp4");
  const std::string missing = zovtest::TempDir() + "/no_such_clip.mp4";
  struct Case {
    std::string tool;
    std::vector<std::string> args;
    int status;
    Stream stream;       // where the message is; the other stream stays empty
    std::string expect;  // text the message contains
  } cases[] = {
      {"zovplay", {"-h"}, 0, kOut, "usage: zovplay"},
      {"zovplay", {"--help"}, 0, kOut, "--decode-mode M"},
      {"zovplay", {"--version"}, 0, kOut, "zovplay V1.01.06."},
      {"zovplay", {"--fast", clip}, 2, kErr, "unknown option --fast"},
      {"zovplay", {}, 2, kErr, "no FILE given"},
      {"zovplay", {"--size", "0x0", clip}, 2, kErr, "--size must be WxH"},
      {"zovplay", {"--size", "1280", clip}, 2, kErr, "--size must be WxH"},
      {"zovplay", {"--decode-mode", "3", clip}, 2, kErr, "--decode-mode must be 0, 1 or 2"},
      {"zovplay", {"--decode-mode", "x", clip}, 2, kErr, "--decode-mode must be 0, 1 or 2"},
      {"zovplay", {"--speed", "300", clip}, 2, kErr, "--speed must be 25, 50, 100, 150, 200 or 400"},
      {"zovplay", {"--seek-latency"}, 2, kErr, "--seek-latency needs a count"},
      {"zovplay", {"--seek-stall", "0", clip}, 2, kErr, "--seek-stall needs a count"},
      {"zovplay", {clip, clip, clip, clip}, 2, kErr, "at most three FILEs"},
      {"zovplay", {fifo}, 1, kErr, "not a regular file"},
      {"zovplay", {missing}, 1, kErr, "missing"},
      {"zovprobe", {"-h"}, 0, kOut, "usage: zovprobe FILE"},
      {"zovprobe", {"--help"}, 0, kOut, "usage: zovprobe FILE"},
      {"zovprobe", {"--version"}, 0, kOut, "zovprobe V1.01.06."},
      {"zovprobe", {"--frames", clip}, 2, kErr, "unknown option --frames"},
      {"zovprobe", {}, 2, kErr, "no FILE given"},
      {"zovprobe", {clip, clip}, 2, kErr, "one FILE only"},
      {"zovprobe", {fifo}, 1, kErr, "not a regular file"},
      {"zovprobe", {"/dev/zero"}, 1, kErr, "not a regular file"},
      {"zovprobe", {missing}, 1, kErr, "missing"},
      {"zovprobe", {zovtest::Fixture("random.mp4")}, 1, kErr, "not a recording"},
  };
  for (const Case& c : cases) {
    std::string line = c.tool;
    for (const std::string& a : c.args) line += " " + a;
    const Outcome o = RunTool(c.tool, c.args);
    EXPECT_EQ(o.status, c.status) << line << "\nstdout: " << o.out << "\nstderr: " << o.err;
    const std::string& where = c.stream == kOut ? o.out : o.err;
    const std::string& other = c.stream == kOut ? o.err : o.out;
    EXPECT_NE(where.find(c.expect), std::string::npos) << line << ": " << where;
    // Refusals of the engine may add its own log line on standard output;
    // the tool's own messages never appear twice.
    if (c.status != 1) {
      EXPECT_EQ(other, "") << line;
    }
    EXPECT_EQ(other.find(c.expect), std::string::npos) << line;
  }
}

// Sound only: the probe reports no pictures and the sound frames; a hardware
// mode without its device says so instead of blaming the file.
TEST(ToolCommandLine, SoundOnlyProbeAndMissingHardware) {
  const Outcome probe = RunTool("zovprobe", {zovtest::Fixture("sound_only.mp3")});
  EXPECT_EQ(probe.status, 0) << probe.err;
  EXPECT_NE(probe.out.find("decoded 0 video frames, "), std::string::npos) << probe.out;
  EXPECT_EQ(probe.out.find("decoded 0 video frames, 0 audio"), std::string::npos) << probe.out;
  const Outcome held = RunTool("zovprobe", {zovtest::Fixture("held_hevc.mp4")});
  EXPECT_NE(held.out.find("decoded 60 video frames"), std::string::npos) << held.out;
  const Outcome hw = RunTool("zovplay", {"--decode-mode", "0", "--report", zovtest::Fixture("h264_aac48_30fps.mp4")});
  if (hw.status == 1) {
    EXPECT_NE(hw.err.find("hardware decoder"), std::string::npos) << hw.err;
    EXPECT_EQ(hw.err.find("not a playable recording"), std::string::npos) << hw.err;
  } else {
    EXPECT_EQ(hw.status, 0) << "a machine with the device plays it: " << hw.err;
  }
}

}  // namespace
