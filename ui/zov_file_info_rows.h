#pragma once
// The rows of the file information view as data: each row's layout
// rectangle id and its text, from the facts of the open recording, the
// machine facts and a text look-up. Pure, so tests call it with numbers.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class CZovDemuxer;

// What the view shows of the open recording.
struct ZovMediaFacts {
  bool open = false;          // a recording is open; the other fields count only then
  std::string path;           // the store's current entry
  int durationSeconds = 0;
  int width = 0;
  int height = 0;
  int64_t bitRate = 0;        // bits per second
  int frameRate = 0;
  std::string audioCodec;     // empty when none
  std::string videoCodec;
  std::string pixelFormat;    // the media library's name; empty when unknown
  bool hardware = false;      // decoded by a hardware device
  int gpsPoints = 0;          // points of the current track

  bool operator==(const ZovMediaFacts&) const = default;
};

// The machine facts, probed once per view.
struct ZovMachineFacts {
  std::string adapter;
  std::string shaderSupport;  // "YES" or "NO"
  std::string h264List;
  std::string hevcList;
  std::string systemText;
};

struct ZovInfoRow {
  int rectId;
  std::string text;
};

// Layout rectangle ids of the rows and the title.
inline constexpr int kZovInfoTitleRect = 10324;

using ZovTextLookup = std::function<std::string(std::string_view)>;

// " %02d:%02d:%02d" of a length in whole seconds (hours, minutes, seconds).
std::string ZovInfoDuration(int seconds);
// The row values as a person reads them, each after a blank; empty when the
// value is unknown (zero): " 2,782 kb/s" (kilobits of 1000 bits, rounded),
// " 1280 × 720".
std::string ZovInfoBitRate(int64_t bitsPerSecond);
std::string ZovInfoResolution(int width, int height);
// "1,234,567": digits grouped by three with commas.
std::string ZovGroupThousands(uint64_t value);
// Every row of the view, in drawing order.
std::vector<ZovInfoRow> ZovFileInfoRows(const ZovMediaFacts& media, const ZovMachineFacts& machine,
                                        const ZovTextLookup& label);
// The media facts of an opened demuxer (nothing open when it is null or
// not opened).
ZovMediaFacts ZovMediaFactsOf(CZovDemuxer* demuxer, const std::string& path, int gpsPoints);
