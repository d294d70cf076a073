// Fuzz target: any byte string as a recording. It is written to a file (the
// demuxer opens paths), opened, read and decoded for a bounded number of
// packets, seeked and closed. Crashes and sanitizer reports are the failures.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "engine/zov_base_file.h"

extern "C" {
#include <libavutil/log.h>
}

namespace {

std::string InputPath() {
  static const std::string path = [] {
    const char* tmp = getenv("TMPDIR");
    return std::string(tmp && *tmp ? tmp : "/tmp") + "/zov_fuzz_demuxer_" + std::to_string(getpid()) + ".bin";
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  av_log_set_level(AV_LOG_QUIET);
  const std::string path = InputPath();
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  if (size) std::fwrite(data, 1, size, f);
  std::fclose(f);
  // Quiet the open failures on standard output for this input only.
  std::fflush(stdout);
  const int savedOut = dup(STDOUT_FILENO);
  const int devNull = open("/dev/null", O_WRONLY);
  if (devNull >= 0) dup2(devNull, STDOUT_FILENO);
  {
    CZovBaseFile file;
    if (file.Open(path.c_str()) == 1) {
      for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < 300; ++i) {
          ZovMediaItem item;
          int rc = file.ReadPacket(&item);
          if (rc == -2) break;
          if (rc == 0) file.Decode(&item);
        }
        file.Seek(0);
      }
      file.Close();
    }
  }
  std::fflush(stdout);
  if (savedOut >= 0) {
    dup2(savedOut, STDOUT_FILENO);
    close(savedOut);
  }
  if (devNull >= 0) close(devNull);
  std::remove(path.c_str());
  return 0;
}
