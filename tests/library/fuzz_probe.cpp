// Fuzz target: arbitrary bytes as a recording through the cheap open (the
// top-level box walk, the demuxer's header, the first picture's data).
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" {
#include <libavutil/log.h>
}

#include "library/zov_recording_probe.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = [] {
    av_log_set_level(AV_LOG_QUIET);
    const char* tmp = std::getenv("TMPDIR");
    return std::string(tmp && *tmp ? tmp : "/tmp") + "/zov_fuzz_probe_" + std::to_string(::getpid()) + ".mp4";
  }();
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  const ZovFileFacts facts = ZovProbeRecording(path);
  std::remove(path.c_str());
  // Either it plays or it says why not.
  if (facts.playable == !facts.reason.empty()) __builtin_trap();
  return 0;
}
