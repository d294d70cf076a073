// Fuzz target: arbitrary bytes as a path through the naming table.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "library/zov_camera_names.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view path(reinterpret_cast<const char*>(data), size);
  const ZovNameFacts f = ZovReadName(path);
  // A matched name always has a start and a channel.
  if (!f.family.empty() && (f.start == kZovNoTime || f.channel == ZovChannel::kUnknown))
    __builtin_trap();
  return 0;
}
