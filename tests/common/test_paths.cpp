#include "tests/common/test_paths.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <mutex>
#include <vector>

namespace zovtest {
namespace {

std::string EnvOr(const char* name, const char* fallback) {
  const char* v = std::getenv(name);
  return (v && *v) ? std::string(v) : std::string(fallback);
}

struct TempDirs {
  std::mutex lock;
  std::vector<std::filesystem::path> dirs;
  ~TempDirs() {
    std::error_code ec;
    for (auto& d : dirs) std::filesystem::remove_all(d, ec);
  }
};

TempDirs& Temps() {
  static TempDirs t;
  return t;
}

}  // namespace

std::string FixtureDir() { return EnvOr("ZOV_FIXTURE_DIR", "fixtures"); }
std::string SourceDir() { return EnvOr("ZOV_SOURCE_DIR", "."); }
std::string BinDir() { return EnvOr("ZOV_BIN_DIR", "base/bin"); }

int Slowdown() {
  const int factor = std::atoi(EnvOr("ZOV_TEST_SLOWDOWN", "1").c_str());
  return factor > 1 ? factor : 1;
}

std::string Fixture(const std::string& name) {
  std::string path = FixtureDir() + "/" + name;
  if (!std::filesystem::exists(path)) {
    ADD_FAILURE() << "fixture missing: " << path << " (run: ctest -R fixtures.clips)";
  }
  return path;
}

std::string TempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "zovtest-XXXXXX").string();
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  char* made = mkdtemp(buf.data());
  if (!made) {
    ADD_FAILURE() << "mkdtemp failed";
    return "/tmp";
  }
  std::lock_guard<std::mutex> g(Temps().lock);
  Temps().dirs.emplace_back(made);
  return made;
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void Spit(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

}  // namespace zovtest
