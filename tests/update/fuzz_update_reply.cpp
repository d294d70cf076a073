// Arbitrary check-service replies and hand-over texts: the parsers must stay
// inside the text and return values that are substrings of it.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "update/zov_update_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  ZovCheckReply r = ZovParseCheckReply(text, 0);
  if (r.fetchCalibration && (r.fileUrl.empty() || text.find(r.fileUrl) == std::string_view::npos)) std::abort();
  ZovHandoverSaysReady(text);
  std::string version(text.substr(0, size / 2));
  std::string server(text.substr(size / 2));
  ZovVersionWantsUpdate(version, server, server);
  return 0;
}
