// Fuzz target of the whole extractor on file contents: the first byte picks
// the file kind (by the extension the file is given: the containers, the
// cameras' text files and the side layouts), the rest is written to a
// temporary file that ExtractGps scans, decodes and cleans up.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "gps/zov_gps_extractor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const char* kExt[] = {"mp4", "ts", "avi", "txt", "MOV", "nmea", "gps", "dat", "srt", "gpx"};
  if (size < 1) return 0;
  // A folder of its own: the extractor looks beside a recording for side
  // files and for logs to attach by time.
  static const std::string base = [] {
    const char* tmp = std::getenv("TMPDIR");
    const std::string dir =
        std::string(tmp && *tmp ? tmp : "/tmp") + "/zov_fuzz_extract_" + std::to_string(getpid());
    mkdir(dir.c_str(), 0700);
    return dir + "/input";
  }();
  static const struct RemoveAtExit {
    ~RemoveAtExit() { rmdir(base.substr(0, base.size() - 6).c_str()); }
  } removeAtExit;
  const std::string path = base + "." + kExt[data[0] % 10];
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data + 1, 1, size - 1, f);
  std::fclose(f);
  uint32_t handle = 0;
  InitExtractor(&handle);
  std::string points, sensors;
  const int n = ExtractGps(&handle, path, &points, &sensors);
  // Every printed record ends with ';' and the result covers the printed lines.
  size_t lines = 0;
  for (char c : points) lines += c == ';';
  if (n < 0 || lines > static_cast<size_t>(n)) {
    std::fprintf(stderr, "extract returned %d for %zu printed lines (%s)\n", n, lines, path.c_str());
    __builtin_trap();
  }
  std::remove(path.c_str());
  return 0;
}
