// Feeds arbitrary bytes to the package walk and the hand-over parser. Checks
// that every record passed on for writing lies inside the input with a safe
// name and folder, and that the walk always ends.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "launcher/zov_package.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ZovMemoryPackSource src(data, size);
  size_t calls = 0;
  ZovWalkPackage(src, [&](const ZovPackRecord& r) {
    if (++calls > size / kZovPackHeaderSize + 1) std::abort();  // the walk must advance
    if (r.verdict == ZovRecordVerdict::kWrite) {
      if (r.header.dataSize < 0 || r.header.dataOffset < 0) std::abort();
      if (static_cast<uint64_t>(r.header.dataOffset) + static_cast<uint64_t>(r.header.dataSize) > size) std::abort();
      if (!ZovIsPlainFileName(r.header.name) || !ZovIsContainedSubFolder(r.subFolder)) std::abort();
    }
    return true;
  });
  ZovHandover h = ZovParseHandover(std::string_view(reinterpret_cast<const char*>(data), size));
  if (h.state.size() > 31) std::abort();
  return 0;
}
