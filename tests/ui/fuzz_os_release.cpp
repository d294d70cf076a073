// Fuzz target for the os-release reader: any bytes give a name no longer than
// the text and free of line ends.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "ui/zov_file_info_probes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::string name = ZovOsReleasePrettyName(text);
  if (name.size() > size) std::abort();
  if (name.find('\n') != std::string::npos) std::abort();
  return 0;
}
