// zovpack FOLDER PACKAGE.bin
// Packs every file below FOLDER into an update package that the launcher
// unpacks into base/new; the launcher then moves base/new/x86/* into the
// installation, so an update's files belong under FOLDER/x86/.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "launcher/zov_package.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: zovpack FOLDER PACKAGE.bin\n");
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  std::error_code ec;
  if (!std::filesystem::is_directory(folder / "x86", ec)) {
    std::fprintf(stderr, "zovpack: warning: %s has no x86 folder; the launcher installs only x86/*\n",
                 argv[1]);
  }
  std::string error;
  std::vector<std::string> warnings;
  bool ok = ZovWritePackage(folder, argv[2], &error, &warnings);
  for (const std::string& w : warnings) std::fprintf(stderr, "zovpack: warning: %s\n", w.c_str());
  if (!ok) {
    std::fprintf(stderr, "zovpack: %s\n", error.c_str());
    std::filesystem::remove(argv[2], ec);
    return 1;
  }
  return 0;
}
