// Fuzz target: the 44-byte binary record and its acceptance, on every 44-byte
// window of the input (at most 64), into one state.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "gps/zov_gps_block.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> buf(data, data + size);
  CZovGpsBlockState st;
  GpsFix fix;
  ZovParseBinaryRecord(buf.data(), buf.size(), fix);
  for (size_t at = 0; at < size && at < 64; ++at)
    ZovDecodeBinaryRecord(st, buf.data() + at, buf.size() - at, static_cast<uint32_t>(at));
  return 0;
}
