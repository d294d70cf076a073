// The one exported function of libzovQuelnaResource.so.
#include <cstring>

#include "resources/zov_resource_table.h"

// Finds resource `id` of `type` ("PNG" or "STRING"). On success stores the
// bytes and their count and returns 1; otherwise returns 0 and leaves the
// outputs untouched. A string resource's bytes are its characters, without
// a terminating zero.
extern "C" __attribute__((visibility("default"))) int zov_find_resource(const char* type, int id,
                                                                        const unsigned char** data,
                                                                        unsigned int* size) {
  if (type == nullptr || data == nullptr || size == nullptr) return 0;
  if (std::strcmp(type, "PNG") == 0) {
    for (int i = 0; i < kZovSkinPngCount; ++i) {
      if (kZovSkinPngs[i].id == id) {
        *data = kZovSkinPngs[i].data;
        *size = kZovSkinPngs[i].size;
        return 1;
      }
    }
    return 0;
  }
  if (std::strcmp(type, "STRING") == 0) {
    for (int i = 0; i < kZovStringCount; ++i) {
      if (kZovStrings[i].id == id) {
        *data = reinterpret_cast<const unsigned char*>(kZovStrings[i].text);
        *size = static_cast<unsigned int>(std::strlen(kZovStrings[i].text));
        return 1;
      }
    }
  }
  return 0;
}
