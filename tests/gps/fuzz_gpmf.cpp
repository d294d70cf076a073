// Fuzz target: telemetry payloads, alone and through the block dispatch. The
// corpus holds one payload of each real recording.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "gps/zov_gps_block.h"
#include "gps/zov_gps_gpmf.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An exact-size copy, so reads past the end hit the sanitizer.
  std::vector<uint8_t> buf(data, data + size);
  ZovGpmfSecond g;
  if (ZovParseGpmfPayload(buf.data(), buf.size(), g) && g.hasPosition) {
    // A position is only ever reported inside the coordinate ranges.
    if (!(std::fabs(g.latitude) <= 90 && std::fabs(g.longitude) <= 180)) {
      std::fprintf(stderr, "position out of range: %f %f\n", g.latitude, g.longitude);
      __builtin_trap();
    }
  }
  CZovGpsBlockState st;
  ZovParseGpsBlock(st, buf.data(), buf.size());
  // A payload gives at most one fix; other buffers go on to the other block
  // formats, which may give many (a KARUGPS block holds several records).
  if (ZovIsGpmfPayload(buf.data(), buf.size()) && st.fixes.size() > 1) __builtin_trap();
  return 0;
}
