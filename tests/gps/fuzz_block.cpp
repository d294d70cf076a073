// Fuzz target: the block parser on arbitrary buffers, fed twice into one state
// so the shared record area and the restart rules see carried-over values.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "gps/zov_gps_block.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An exact-size copy, so reads past the end hit the sanitizer.
  std::vector<uint8_t> buf(data, data + size);
  CZovGpsBlockState st;
  ZovParseGpsBlock(st, buf.data(), buf.size());
  if (size > 1) {
    std::vector<uint8_t> tail(data + size / 2, data + size);
    ZovParseGpsBlock(st, tail.data(), tail.size());
  }
  return 0;
}
