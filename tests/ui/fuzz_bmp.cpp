// Fuzz target of the screenshot reader: any bytes either give a picture
// whose rows all lie inside the input, or are refused.
#include <cstdint>
#include <cstdlib>

#include "ui/zov_screenshot_view.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ZovBmpPicture picture;
  if (!ZovReadBmp24(data, size, &picture)) return 0;
  const size_t rows = size_t(picture.stride) * size_t(picture.height);
  if (picture.pixels.size() != rows || rows > size || picture.stride < picture.width * 3) std::abort();
  return 0;
}
