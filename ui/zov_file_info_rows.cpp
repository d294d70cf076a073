#include "ui/zov_file_info_rows.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "engine/zov_engine.h"

namespace {

std::string Format(const char* format, auto... values) {
  char buffer[128];
  std::snprintf(buffer, sizeof buffer, format, values...);
  return buffer;
}

// A row whose value is shown only while a recording is open.
std::string MediaRow(const ZovMediaFacts& media, std::string head, const std::string& value) {
  return media.open ? head + value : head;
}

std::string GpsRow(const ZovMediaFacts& media, const ZovTextLookup& label) {
  std::string text = label("gpsinfo");
  if (!media.open) return text;
  if (media.gpsPoints != 0) return text + Format(" %d  ", media.gpsPoints) + label("block");
  return text + " " + label("nohave");
}

std::string DecoderRow(const ZovMediaFacts& media, const ZovTextLookup& label) {
  if (!media.open) return label("hwcodec");
  return label("decoder") + " " + label(media.hardware ? "hwcodec" : "softcodec");
}

std::string OptionalValue(const std::string& value) { return value.empty() ? "" : " " + value; }

// Transport streams, Matroska files and sound-only files carry no bit rate
// in their video stream; their average rate over the whole file (size over
// length) stands in for it rather than a rate of zero.
int64_t AverageBitRate(const std::string& path, int seconds) {
  struct stat st {};
  if (seconds <= 0 || path.empty() || stat(path.c_str(), &st) != 0) return 0;
  return static_cast<int64_t>(st.st_size) * 8 / seconds;
}

}  // namespace

std::string ZovGroupThousands(uint64_t value) {
  std::string digits = std::to_string(value);
  for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3) digits.insert(static_cast<size_t>(i), ",");
  return digits;
}

std::string ZovInfoBitRate(int64_t bitsPerSecond) {
  if (bitsPerSecond <= 0) return {};
  if (bitsPerSecond < 1000) return " " + std::to_string(bitsPerSecond) + " b/s";
  const uint64_t kilobits = (static_cast<uint64_t>(bitsPerSecond) + 500) / 1000;  // rounded
  return " " + ZovGroupThousands(kilobits) + " kb/s";
}

std::string ZovInfoResolution(int width, int height) {
  if (width <= 0 || height <= 0) return {};
  return " " + std::to_string(width) + " \u00d7 " + std::to_string(height);
}

std::string ZovInfoDuration(int seconds) {
  if (seconds < 0) seconds = 0;
  return Format(" %02d:%02d:%02d", seconds / 3600, seconds / 60 % 60, seconds % 60);
}

std::vector<ZovInfoRow> ZovFileInfoRows(const ZovMediaFacts& media, const ZovMachineFacts& machine,
                                        const ZovTextLookup& label) {
  const std::string pathValue = " " + media.path;
  return {
      {10330, MediaRow(media, label("filename"), pathValue)},
      {10331, MediaRow(media, label("filetime"), ZovInfoDuration(media.durationSeconds))},
      {10332, MediaRow(media, label("resolution"), ZovInfoResolution(media.width, media.height))},
      {10333, MediaRow(media, label("bitratio"), ZovInfoBitRate(media.bitRate))},
      {10334, MediaRow(media, label("frameratio"), Format(" %d", media.frameRate))},
      {10336, label("filetype") + " " + label("normalfile")},
      {10337, GpsRow(media, label)},
      {10338, MediaRow(media, label("audioinfo"), OptionalValue(media.audioCodec))},
      {10335, MediaRow(media, label("pixelformat"), OptionalValue(media.pixelFormat))},
      {10339, MediaRow(media, label("videoinfo"), OptionalValue(media.videoCodec))},
      {10342, DecoderRow(media, label)},
      {10345, label("gpuname") + ": " + machine.adapter},
      {10343, label("dxdsupport") + ": " + machine.shaderSupport},
      {10346, label("h264support") + ": " + machine.h264List},
      {10344, label("h265support") + ": " + machine.hevcList},
      {10347, label("sysinfo") + ": " + machine.systemText + " " + "" + " "},
  };
}

ZovMediaFacts ZovMediaFactsOf(CZovDemuxer* demuxer, const std::string& path, int gpsPoints) {
  ZovMediaFacts facts;
  const ZovMediaInfo info = CZovEngine::MediaInfoOf(demuxer);
  if (!info.open) return facts;
  facts.open = true;
  facts.path = path;
  facts.durationSeconds = info.durationSeconds;
  facts.width = info.width;
  facts.height = info.height;
  facts.bitRate = info.bitRate > 0 ? info.bitRate : AverageBitRate(path, facts.durationSeconds);
  facts.frameRate = info.frameRate;
  facts.audioCodec = info.audioCodec;
  facts.videoCodec = info.videoCodec;
  facts.pixelFormat = info.pixelFormat;
  facts.hardware = info.hardware;
  facts.gpsPoints = gpsPoints;
  return facts;
}
