#pragma once
// Starts tests/update/update_servers.py (a plain HTTP check service, an HTTPS
// file server and an HTTPS server with a certificate for another host, all on
// 127.0.0.1, certificates made by openssl) and talks to it through files:
// the served folder, control.json and requests.log.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "tests/common/test_paths.h"

extern char** environ;

namespace updtest {

class LoopbackServers {
 public:
  LoopbackServers() : dir_(zovtest::TempDir()) {
    root_ = dir_ / "root";
    std::filesystem::create_directories(root_ / "PCTOOLS/KPR417");
    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0) return;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, in[0], 0);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_addclose(&fa, in[1]);
    posix_spawn_file_actions_addclose(&fa, out[0]);
    std::string script = zovtest::SourceDir() + "/tests/update/update_servers.py";
    std::string rootArg = root_.string(), certArg = (dir_ / "certs").string();
    std::vector<std::string> args = {"python3", script, "--root", rootArg, "--certs", certArg};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int rc = posix_spawnp(&pid_, "python3", &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    close(in[0]);
    close(out[1]);
    stdin_ = in[1];
    if (rc != 0) {
      pid_ = -1;
      close(out[0]);
      return;
    }
    std::string line;
    char c;
    while (read(out[0], &c, 1) == 1 && c != '\n') line += c;
    close(out[0]);
    http_ = IntField(line, "\"http\"");
    https_ = IntField(line, "\"https\"");
    wrong_ = IntField(line, "\"wrong\"");
    size_t ca = line.find("\"ca\": \"");
    if (ca != std::string::npos) {
      ca += 7;
      ca_ = line.substr(ca, line.find('"', ca) - ca);
    }
  }

  ~LoopbackServers() {
    if (stdin_ >= 0) close(stdin_);
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      int status;
      waitpid(pid_, &status, 0);
    }
  }

  bool Ok() const { return pid_ > 0 && http_ > 0 && https_ > 0 && wrong_ > 0 && !ca_.empty(); }
  const std::filesystem::path& Root() const { return root_; }
  const std::string& CaBundle() const { return ca_; }
  std::string CheckBase() const { return "http://127.0.0.1:" + std::to_string(http_); }
  std::string FileBase() const { return "https://127.0.0.1:" + std::to_string(https_) + "/"; }
  std::string WrongHostBase() const { return "https://127.0.0.1:" + std::to_string(wrong_) + "/"; }

  // Puts a file on the file server below PCTOOLS/KPR417/ (or anywhere with a
  // leading "/").
  void Serve(const std::string& name, const std::string& bytes) const {
    std::filesystem::path p = name.front() == '/' ? root_ / name.substr(1) : root_ / "PCTOOLS/KPR417" / name;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
  }
  void Control(const std::string& json) const {
    std::ofstream(root_ / "control.json", std::ios::trunc) << json;
  }
  std::vector<std::string> Requests() const {
    std::ifstream f(root_ / "requests.log");
    std::vector<std::string> out;
    for (std::string l; std::getline(f, l);) out.push_back(l);
    return out;
  }
  void Reset() const {
    std::error_code ec;
    std::filesystem::remove(root_ / "requests.log", ec);
    std::filesystem::remove(root_ / "control.json", ec);
    std::filesystem::remove_all(root_ / "PCTOOLS", ec);
    std::filesystem::create_directories(root_ / "PCTOOLS/KPR417");
  }

 private:
  static int IntField(const std::string& line, const std::string& key) {
    size_t p = line.find(key);
    if (p == std::string::npos) return 0;
    p = line.find(':', p);
    return p == std::string::npos ? 0 : std::atoi(line.c_str() + p + 1);
  }

  std::filesystem::path dir_, root_;
  pid_t pid_ = -1;
  int stdin_ = -1;
  int http_ = 0, https_ = 0, wrong_ = 0;
  std::string ca_;
};

}  // namespace updtest
