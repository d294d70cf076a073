// Fuzz target: the exchange texts read back into a track and the point of
// every second picked from it. The input is split at its first NUL into the
// point text and the sensor text; the map name comes from the last byte.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "gps/zov_track_record.h"
#include "gps/zov_track_second.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view all(reinterpret_cast<const char*>(data), size);
  const size_t cut = all.find('\0');
  const std::string_view points = all.substr(0, cut);
  const std::string_view sensors = cut == std::string_view::npos ? std::string_view() : all.substr(cut + 1);
  const bool open = size > 0 && (data[size - 1] & 1);
  FileTrack track;
  ZovReadTrackTexts(points, sensors, open ? "Openstreetmap" : "gaode", track);
  if (track.pointCount != static_cast<int32_t>(track.points.size())) __builtin_trap();
  CZovSecondPicker picker;
  for (int s = -1; s < 70; ++s) picker.Pick(track.points, s, 1, 60);
  return 0;
}
