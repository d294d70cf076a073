// Fuzz target for the string-resource readers and the text look-up: any
// bytes must be read within the 64-character buffer (only the first 64 bytes
// may change a result) and any key must be looked up without running past a
// table's sentinel.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "shell/zov_resource_library.h"
#include "shell/zov_text_tables.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const unsigned int n = size > 4096 ? 4096u : static_cast<unsigned int>(size);
  const unsigned int head = n < 64u ? n : 64u;
  const int number = ZovParseNumber(data, n);
  const ZovColorRef colour = ZovParseColor(data, n);
  const ZovRect rect = ZovParseRect(data, n);
  // Bytes after the buffer never matter, except that their presence tells a
  // full buffer without an end from a string that ends with the data.
  if (n > 64) {
    if (ZovParseColor(data, head) != colour) std::abort();
    if (!(ZovParseRect(data, head) == rect)) std::abort();
    if (ZovParseNumber(data, 65) != number) std::abort();
  }
  if ((colour >> 24) != 0) std::abort();
  const std::string_view key(reinterpret_cast<const char*>(data), n);
  for (int i = 0; i < kZovTextTableCount; ++i) {
    const std::string text = ZovLookUpText(ZovTextTableAt(i), key);
    if (text.size() >= 4 * kZovTextChars) std::abort();
  }
  return 0;
}
