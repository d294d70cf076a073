#include "platform/zov_hw_device_types.h"

namespace {

struct HwDeviceRow {
  int decodeMode;
  const char* ffmpegType;
};

// Mode 0 stands in for Direct3D 11 decoding, mode 2 for DXVA2.
constexpr HwDeviceRow kHwDeviceTable[] = {
    {0, "vaapi"},
    {2, "vdpau"},
};

}  // namespace

const char* ZovHwDeviceTypeName(int decodeMode) {
  if (decodeMode == 1) return nullptr;
  if (decodeMode != 0) decodeMode = 2;
  for (const auto& row : kHwDeviceTable)
    if (row.decodeMode == decodeMode) return row.ffmpegType;
  return nullptr;
}
