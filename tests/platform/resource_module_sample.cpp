// A small resource module for the loader's tests: one string and one PNG
// header, found by type and id.
#include <cstring>

namespace {
const unsigned char kRect[] = "10,20,300,40";
const unsigned char kPng[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
}  // namespace

extern "C" __attribute__((visibility("default"))) int zov_find_resource(const char* type, int id,
                                                                       const unsigned char** data,
                                                                       unsigned int* size) {
  if (std::strcmp(type, "STRING") == 0 && id == 10106) {
    *data = kRect;
    *size = sizeof kRect - 1;
    return 1;
  }
  if (std::strcmp(type, "PNG") == 0 && id == 10101) {
    *data = kPng;
    *size = sizeof kPng;
    return 1;
  }
  return 0;
}
