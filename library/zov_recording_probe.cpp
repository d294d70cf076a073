#include "library/zov_recording_probe.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "engine/zov_ffmpeg.h"
#include "gps/zov_gps_block.h"
#include "gps/zov_gps_cleanup.h"
#include "gps/zov_gps_extractor.h"
#include "gps/zov_gps_file.h"
#include "gps/zov_gps_scan.h"
#include "library/zov_mp4_facts.h"

namespace {

// Packets read while looking for the first picture before giving up on it.
constexpr int kMaxPacketsToFirstPicture = 256;
// Top-level boxes looked at when telling an MP4 without its index.
constexpr int kMaxTopBoxes = 64;

uint32_t Be32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

bool IsTopBoxType(const uint8_t* t) {
  static const char* kTypes[] = {"ftyp", "moov", "mdat", "free", "skip", "wide", "uuid", "pnot"};
  for (const char* k : kTypes)
    if (std::memcmp(t, k, 4) == 0) return true;
  return false;
}

// MP4/MOV files start with one of the top-level boxes. For those, whether a
// `moov` (the index) is among the top-level boxes, and where: a camera that
// lost power leaves a file of media data without it.
enum class BoxIndex { kNotBoxes, kHasIndex, kNoIndex };
BoxIndex FindIndexBox(const CZovGpsFile& file, uint64_t* moovAt, uint64_t* moovSize) {
  uint64_t at = 0;
  for (int n = 0; n < kMaxTopBoxes && at + 8 <= file.Size(); ++n) {
    uint8_t head[16];
    if (!file.ReadExact(at, head, 8)) break;
    if (!IsTopBoxType(head + 4)) return n == 0 ? BoxIndex::kNotBoxes : BoxIndex::kNoIndex;
    uint64_t size = Be32(head);
    if (size == 1) {
      if (!file.ReadExact(at, head, 16)) break;
      size = (uint64_t{Be32(head + 8)} << 32) | Be32(head + 12);
    } else if (size == 0) {
      size = file.Size() - at;  // to the end of the file
    }
    if (std::memcmp(head + 4, "moov", 4) == 0) {
      *moovAt = at;
      *moovSize = size;
      return BoxIndex::kHasIndex;
    }
    if (size < 8 || size >= file.Size() - at) break;
    at += size;
  }
  return BoxIndex::kNoIndex;
}

// "2024-05-17T08:00:00.000000Z" as the camera's clock (cameras write their
// local time; the zone letter they add means nothing).
int64_t ParseCreationTime(const char* text) {
  int y, mo, d, h, mi, s;
  if (!text || std::sscanf(text, "%4d-%2d-%2d%*1[T ]%2d:%2d:%2d", &y, &mo, &d, &h, &mi, &s) != 6)
    return kZovNoTime;
  return ZovCameraTime(y, mo, d, h, mi, s);
}

// Reads up to the first packet of the picture stream; "" when it holds
// data, else why not. A camera that preallocates its files and loses power
// leaves an index over media data that was never written (all zero bytes).
std::string FirstPacketError(AVFormatContext* fmt, int stream) {
  AVPacketUPtr packet(av_packet_alloc());
  if (!packet) return "out of memory";
  for (int n = 0; n < kMaxPacketsToFirstPicture; ++n) {
    const int r = av_read_frame(fmt, packet.get());
    if (r < 0) return r == AVERROR_EOF ? "no picture data" : ZovAvErrorText(r);
    if (packet->stream_index != stream) {
      av_packet_unref(packet.get());
      continue;
    }
    const uint8_t* d = packet->data;
    const bool blank = packet->size <= 0 || std::all_of(d, d + packet->size, [](uint8_t b) { return b == 0; });
    return blank ? "no picture data" : "";
  }
  return "no picture data";
}

// Decodes the first picture of the stream; "" when it decodes, else why not.
std::string FirstPictureError(AVFormatContext* fmt, int stream) {
  const AVCodecParameters* par = fmt->streams[stream]->codecpar;
  const AVCodec* codec = avcodec_find_decoder(par->codec_id);
  if (!codec) return std::string("no decoder for ") + avcodec_get_name(par->codec_id);
  AVCodecContextUPtr ctx(avcodec_alloc_context3(codec));
  if (!ctx || avcodec_parameters_to_context(ctx.get(), par) < 0) return "out of memory";
  ctx->thread_count = 1;
  if (int e = avcodec_open2(ctx.get(), codec, nullptr); e < 0) return ZovAvErrorText(e);
  AVPacketUPtr packet(av_packet_alloc());
  AVFrameUPtr frame(av_frame_alloc());
  if (!packet || !frame) return "out of memory";
  std::string last = "no picture";
  bool flushed = false;
  for (int n = 0; n < kMaxPacketsToFirstPicture && !flushed;) {
    const int r = av_read_frame(fmt, packet.get());
    if (r < 0) {
      flushed = true;
      avcodec_send_packet(ctx.get(), nullptr);
    } else if (packet->stream_index != stream) {
      av_packet_unref(packet.get());
      continue;
    } else {
      ++n;
      const int s = avcodec_send_packet(ctx.get(), packet.get());
      av_packet_unref(packet.get());
      if (s < 0 && s != AVERROR(EAGAIN)) last = ZovAvErrorText(s);
    }
    const int got = avcodec_receive_frame(ctx.get(), frame.get());
    if (got == 0) return {};
    if (got != AVERROR(EAGAIN) && got != AVERROR_EOF) last = ZovAvErrorText(got);
  }
  return last;
}

}  // namespace

namespace {

// The cheap open. `direct`: an MP4/MOV index is read by the reader of its
// boxes where it answers for the layout; otherwise (and for every other
// container) the demuxer opens the file.
ZovFileFacts Probe(const std::string& path, bool direct) {
  ZovFileFacts facts;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    facts.reason = "cannot be read: " + std::string(std::strerror(errno));
    return facts;
  }
  if (st.st_size == 0) {
    facts.reason = "empty file";
    return facts;
  }
  if (const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC); fd < 0) {
    facts.reason = "cannot be read: " + std::string(std::strerror(errno));
    return facts;
  } else {
    ::close(fd);
  }
  BoxIndex index = BoxIndex::kNotBoxes;
  {
    CZovGpsFile file;
    uint64_t moovAt = 0, moovSize = 0;
    if (file.Open(path)) index = FindIndexBox(file, &moovAt, &moovSize);
    if (index == BoxIndex::kNoIndex) {
      facts.reason = "cut short: no index";
      return facts;
    }
    if (direct && index == BoxIndex::kHasIndex && ZovReadMp4Facts(file, moovAt, moovSize, &facts))
      return facts;
  }
  AVFormatContext* raw = nullptr;
  const int opened = avformat_open_input(&raw, path.c_str(), nullptr, nullptr);
  if (opened < 0) {
    facts.reason = opened == AVERROR_INVALIDDATA ? "not a recording"
                                                 : "cannot be read: " + ZovAvErrorText(opened);
    return facts;
  }
  AVFormatInputUPtr fmt(raw);
  // Containers without stream headers (transport streams) are read a little
  // to learn their streams; an MP4's index already says everything.
  bool known = fmt->nb_streams > 0;
  for (unsigned i = 0; i < fmt->nb_streams; ++i) {
    const AVCodecParameters* par = fmt->streams[i]->codecpar;
    if (par->codec_id == AV_CODEC_ID_NONE ||
        (par->codec_type == AVMEDIA_TYPE_VIDEO && par->width <= 0))
      known = false;
  }
  if (!known && avformat_find_stream_info(fmt.get(), nullptr) < 0 && fmt->nb_streams == 0) {
    facts.reason = "not a recording";
    return facts;
  }
  int video = -1;
  for (unsigned i = 0; i < fmt->nb_streams; ++i) {
    const AVCodecParameters* par = fmt->streams[i]->codecpar;
    if (par->codec_type == AVMEDIA_TYPE_VIDEO &&
        !(fmt->streams[i]->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
      if (video < 0) video = static_cast<int>(i);
      ++facts.videoStreams;
    } else if (par->codec_type == AVMEDIA_TYPE_AUDIO) {
      ++facts.audioStreams;
    }
  }
  if (fmt->duration > 0) {
    facts.seconds = static_cast<double>(fmt->duration) / AV_TIME_BASE;
  } else if (video >= 0 && fmt->streams[video]->duration > 0) {
    facts.seconds = static_cast<double>(fmt->streams[video]->duration) *
                    av_q2d(fmt->streams[video]->time_base);
  }
  if (const AVDictionaryEntry* e = av_dict_get(fmt->metadata, "creation_time", nullptr, 0))
    facts.created = ParseCreationTime(e->value);
  if (video < 0) {
    facts.reason = "cannot be decoded: no picture stream";
    return facts;
  }
  const AVCodecParameters* par = fmt->streams[video]->codecpar;
  facts.width = par->width;
  facts.height = par->height;
  facts.codec = avcodec_get_name(par->codec_id);
  // An MP4/MOV index already told the codec and the picture size, so its
  // first packet is only checked for data; other containers (streams,
  // chunks) have their first picture decoded.
  std::string error;
  if (!avcodec_find_decoder(par->codec_id))
    error = std::string("no decoder for ") + facts.codec;
  else if (index == BoxIndex::kHasIndex)
    error = FirstPacketError(fmt.get(), video);
  else
    error = FirstPictureError(fmt.get(), video);
  if (!error.empty()) {
    facts.reason = "cannot be decoded: " + error;
    return facts;
  }
  facts.playable = true;
  return facts;
}

}  // namespace

ZovFileFacts ZovProbeRecording(const std::string& path) { return Probe(path, true); }

ZovFileFacts ZovProbeRecordingWithDemuxer(const std::string& path) { return Probe(path, false); }

std::mutex& ZovExtractorLock() {
  static std::mutex lock;
  return lock;
}

namespace {

// The positions of cleaned-up fixes as track points; the count of them.
int AppendFixes(const GpsFixList& cleaned, std::vector<ZovTrackPoint>* track) {
  int fixes = 0;
  for (const GpsFix& f : cleaned) {
    if (f.latitude == 0 && f.longitude == 0) continue;
    ++fixes;
    if (track)
      track->push_back({f.latitude, f.longitude, static_cast<float>(f.speed), f.timeStamp});
  }
  return fixes;
}

int ExtractInto(const std::string& path, ZovGpsSourceKind kind, std::vector<ZovTrackPoint>* track) {
  std::lock_guard<std::mutex> hold(ZovExtractorLock());
  CZovGpsExtractor& extractor = CZovGpsExtractor::Instance();
  uint32_t handle = 0;
  extractor.InitExtractor(&handle);
  std::string points, sensors;
  if (extractor.ExtractGpsAs(&handle, path, kind, &points, &sensors) <= 0) return 0;
  return AppendFixes(extractor.LastTrack(), track);
}

// The clean-up of an extraction (ZovCleanUpAndPrint's steps, in its order)
// without printing its texts, which nobody here reads: the fixes its point
// text would hold.
GpsFixList CleanedUp(GpsFixList& fixes) {
  ZovCleanUpFixes(fixes);
  std::erase_if(fixes, [](const GpsFix& f) {
    return (f.latLetter != 'N' && f.latLetter != 'S') || (f.lonLetter != 'E' && f.lonLetter != 'W');
  });
  return std::move(fixes);
}

ZovGpsSourceKind KindOf(const std::string& path) {
  ZovGpsSourceKind kind = ZovGpsSourceKindOf(path);
  if (kind != ZovGpsSourceKind::kNone) return kind;
  CZovGpsFile file;
  return file.Open(path) ? ZovGpsSourceKindOfContent(file) : ZovGpsSourceKind::kNone;
}

// The GPS of a recording's own container: the extractor's scan and decoding
// with a decoder state of this object's, so workers read side by side, and
// without the extractor's look for side files beside the recording.
class CZovContainerGps final : public IZovGpsScanSink {
 public:
  int Read(const std::string& path, ZovGpsSourceKind kind, std::vector<ZovTrackPoint>* track) {
    state_.Reset();
    CZovGpsFile file;
    if (!file.Open(path)) return 0;
    CZovGpsScan(file, *this).Run(kind);
    file.Close();
    if (state_.fixes.empty()) return 0;
    const int n = AppendFixes(CleanedUp(state_.fixes), track);
    state_.Reset();
    return n;
  }

 private:
  int OnBlock(const uint8_t* data, size_t size) override { return ZovParseGpsBlock(state_, data, size); }
  int OnTimedBlock(const uint8_t* data, size_t size, int64_t second) override {
    return ZovParseTimedGpsBlock(state_, data, size, second);
  }
  void OnBinaryRecord(const uint8_t* record, uint32_t index) override {
    ZovDecodeBinaryRecord(state_, record, kBinaryRecordSize, index);
  }
  void OnAmbaRecord(const uint8_t* data, size_t size) override { ZovDecodeAmbaRecord(state_, data, size); }
  size_t FixCount() const override { return state_.fixes.size(); }

  CZovGpsBlockState state_;
};

bool IsContainer(ZovGpsSourceKind kind) {
  return kind == ZovGpsSourceKind::kMp4 || kind == ZovGpsSourceKind::kTransportStream ||
         kind == ZovGpsSourceKind::kAvi;
}

}  // namespace

int ZovReadRecordingTrack(const std::string& path, const std::vector<std::string>& sideFiles,
                          std::vector<ZovTrackPoint>* track, bool lookBeside) {
  if (track) track->clear();
  const ZovGpsSourceKind kind = KindOf(path);
  if (!lookBeside && IsContainer(kind)) {
    if (const int n = CZovContainerGps().Read(path, kind, track); n > 0) return n;
    if (track) track->clear();
  } else if (kind != ZovGpsSourceKind::kNone) {
    if (const int n = ExtractInto(path, kind, track); n > 0) return n;
  }
  for (const std::string& side : sideFiles) {
    if (track) track->clear();
    if (const int n = ExtractInto(side, ZovGpsSourceKind::kText, track); n > 0) return n;
  }
  if (track) track->clear();
  return 0;
}

int ZovTrackOfPlacedFixes(GpsFixList fixes, std::vector<ZovTrackPoint>* track) {
  if (track) track->clear();
  if (fixes.empty()) return 0;
  std::string points, sensors;
  GpsFixList cleaned;
  ZovCleanUpAndPrint(fixes, points, sensors, &cleaned);
  return AppendFixes(cleaned, track);
}

double ZovLegKilometres(double latA, double lonA, double latB, double lonB) {
  constexpr double kEarthKm = 6371.0;
  constexpr double kRad = M_PI / 180.0;
  const double dlat = (latB - latA) * kRad;
  const double dlon = (lonB - lonA) * kRad;
  const double h = std::sin(dlat / 2) * std::sin(dlat / 2) +
                   std::cos(latA * kRad) * std::cos(latB * kRad) * std::sin(dlon / 2) * std::sin(dlon / 2);
  return 2 * kEarthKm * std::asin(std::min(1.0, std::sqrt(h)));
}

double ZovTrackKilometres(const std::vector<ZovTrackPoint>& track) {
  double km = 0;
  for (size_t i = 1; i < track.size(); ++i) {
    const ZovTrackPoint& a = track[i - 1];
    const ZovTrackPoint& b = track[i];
    const double leg = ZovLegKilometres(a.latitude, a.longitude, b.latitude, b.longitude);
    if (leg <= kZovMaxLegKm) km += leg;
  }
  return km;
}
