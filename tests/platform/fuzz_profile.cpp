// Fuzz target of the ini functions: any file content must read without
// faults, and a successful write must read back as written while the other
// keys of the file keep their values.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/zov_profile.h"

namespace {

// Kept for the whole process (never destroyed), so the exit handler that
// removes the file can still read it.
const std::string& ScratchFile() {
  static const std::string& path = *new std::string([] {
    char tmpl[] = "/tmp/zovfuzz-profile-XXXXXX";
    int fd = mkstemp(tmpl);
    if (fd >= 0) close(fd);
    std::string p = tmpl;
    std::atexit([] { unlink(ScratchFile().c_str()); });
    return p;
  }());
  return path;
}

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "profile invariant broken: %s\n", what);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& file = ScratchFile();
  FILE* f = std::fopen(file.c_str(), "wb");
  if (!f) return 0;
  if (size) std::fwrite(data, 1, size, f);
  std::fclose(f);

  std::string unitBefore = ZovGetPrivateProfileString("unit", "count", "<none>", file);
  ZovGetPrivateProfileInt("setup", "volume", 0, file);
  ZovGetPrivateProfileString("map", "map0_file", "", file);

  if (ZovWritePrivateProfileString("setup", std::string("volume"), std::string("fuzz17"), file)) {
    Check(ZovGetPrivateProfileString("setup", "volume", "", file) == "fuzz17", "written value reads back");
    Check(ZovGetPrivateProfileInt("SETUP", "VOLUME", 5, file) == 0, "integer read of a word is 0");
    Check(ZovGetPrivateProfileString("unit", "count", "<none>", file) == unitBefore,
          "other sections keep their values");
  }
  if (ZovWritePrivateProfileString("setup", std::string("volume"), std::nullopt, file)) {
    Check(ZovGetPrivateProfileString("setup", "volume", "<gone>", file) != "fuzz17", "removed key is gone");
  }
  return 0;
}
