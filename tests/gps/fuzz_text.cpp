// Fuzz target: every record grammar, the "$G" record and both exchange
// readers on one arbitrary text; the first byte picks nothing, all run.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "gps/zov_gps_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<char> text(data, data + size);  // exact size, not NUL-terminated
  for (ZovGpsGrammar g : {ZovGpsGrammar::kG1, ZovGpsGrammar::kG2, ZovGpsGrammar::kG3, ZovGpsGrammar::kG4,
                          ZovGpsGrammar::kC1, ZovGpsGrammar::kC2}) {
    GpsFix fix;
    if (ZovParseRecord(g, text.data(), text.size(), fix)) {
      std::string out;
      ZovAppendPointLine(out, fix);
      ZovAppendSensorLine(out, fix);
    }
  }
  GpsFix amba;
  ZovParseAmbaRecord(data, size, amba);
  std::string_view piece(text.data(), text.size());
  ZovPointLine p;
  ZovReadPointLine(piece, p);
  ZovSensorLine s;
  ZovReadSensorLine(piece, s);
  ZovParseNumber(piece);
  return 0;
}
