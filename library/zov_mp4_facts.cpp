#include "library/zov_mp4_facts.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <string_view>
#include <vector>

#include "engine/zov_ffmpeg.h"
#include "gps/zov_gps_file.h"

namespace {

// Seconds from 1904-01-01 (the MP4 epoch) to 1970-01-01.
constexpr int64_t kMp4EpochOffset = 2082844800;
// A first picture larger than this is left to the demuxer.
constexpr uint32_t kMaxFirstSample = 64u << 20;

using Bytes = std::string_view;

uint32_t U32(const Bytes& b, size_t at) { return ZovBe32(reinterpret_cast<const uint8_t*>(b.data()) + at); }
uint64_t U64(const Bytes& b, size_t at) { return ZovBe64(reinterpret_cast<const uint8_t*>(b.data()) + at); }
uint16_t U16(const Bytes& b, size_t at) { return ZovBe16(reinterpret_cast<const uint8_t*>(b.data()) + at); }
uint32_t Tag(const char* t) { return ZovBe32(reinterpret_cast<const uint8_t*>(t)); }

// Calls visit(type, payload) for each box of `data`; false when a box size
// runs past its parent (a damaged index: the demuxer decides then) or
// visit returns false.
template <typename Visit>
bool ForEachBox(const Bytes& data, Visit&& visit) {
  size_t at = 0;
  while (data.size() - at >= 8) {
    uint64_t size = U32(data, at);
    size_t header = 8;
    if (size == 1) {
      if (data.size() - at < 16) return false;
      size = U64(data, at + 8);
      header = 16;
    } else if (size == 0) {
      size = data.size() - at;
    }
    if (size < header || size > data.size() - at) return false;
    if (!visit(U32(data, at + 4), data.substr(at + header, size - header))) return false;
    at += size;
  }
  return true;
}

// The payload of the only child of `data` of type `type`; empty when there
// is none. `count` receives how many there are.
Bytes Child(const Bytes& data, const char* type, int* count = nullptr) {
  Bytes found;
  int n = 0;
  const uint32_t want = Tag(type);
  ForEachBox(data, [&](uint32_t t, Bytes payload) {
    if (t == want) {
      found = payload;
      ++n;
    }
    return true;
  });
  if (count) *count = n;
  return found;
}

// What one track tells.
struct Track {
  uint32_t handler = 0;
  uint32_t format = 0;  // the sample description's four letters
  int width = 0, height = 0;
  uint64_t firstSampleAt = 0;
  uint32_t firstSampleSize = 0;
  // An edit list starts the track elsewhere than at its first sample.
  bool editedStart = false;
};

// Reads a track; false when its layout is not one this reader answers for.
bool ReadTrack(const Bytes& trak, Track* out) {
  int count = 0;
  const Bytes mdia = Child(trak, "mdia", &count);
  if (count != 1) return false;
  // An edit list that starts the track anywhere but its first sample makes
  // the demuxer rebuild the sample order (which matters for pictures).
  if (const Bytes edts = Child(trak, "edts"); !edts.empty()) {
    const Bytes elst = Child(edts, "elst");
    if (elst.size() < 8) return false;
    const uint32_t entries = U32(elst, 4);
    out->editedStart = entries > 1;
    if (entries == 1) {
      const bool v1 = elst[0] == 1;
      const size_t need = 8 + (v1 ? 20 : 12);
      if (elst.size() < need) return false;
      const int64_t mediaTime = v1 ? static_cast<int64_t>(U64(elst, 16)) : static_cast<int32_t>(U32(elst, 12));
      const uint32_t rate = U32(elst, v1 ? 24 : 16);
      out->editedStart = mediaTime != 0 || rate != 0x00010000;
    }
  }
  const Bytes hdlr = Child(mdia, "hdlr");
  if (hdlr.size() < 12) return false;
  out->handler = U32(hdlr, 8);
  const Bytes minf = Child(mdia, "minf");
  // Samples in another file (a reference the demuxer would open).
  if (const Bytes dref = Child(Child(minf, "dinf"), "dref"); !dref.empty()) {
    if (dref.size() < 8) return false;
    bool local = true;
    if (!ForEachBox(dref.substr(8), [&](uint32_t type, Bytes entry) {
          local = local && entry.size() >= 4 && (type == Tag("url ") || (U32(entry, 0) & 1) != 0);
          return true;
        }))
      return false;
    if (!local) return false;
  }
  const Bytes stbl = Child(minf, "stbl");
  const Bytes stsd = Child(stbl, "stsd");
  if (stsd.size() < 16 || U32(stsd, 4) != 1) return false;
  const Bytes entry = stsd.substr(8);
  const uint64_t entrySize = U32(entry, 0);
  if (entrySize < 16 || entrySize > entry.size()) return false;
  out->format = U32(entry, 4);
  if (entrySize >= 36) {
    out->width = U16(entry, 32);
    out->height = U16(entry, 34);
  }
  // Where the first sample is: the first chunk's offset (its first sample).
  const Bytes stsz = Child(stbl, "stsz"), stsc = Child(stbl, "stsc");
  Bytes stco = Child(stbl, "stco");
  const bool wide = stco.empty();
  if (wide) stco = Child(stbl, "co64");
  if (stsz.size() < 12 || stsc.size() < 20 || stco.size() < 8) return false;
  const uint32_t sampleSize = U32(stsz, 4), samples = U32(stsz, 8);
  if (samples == 0 || (sampleSize == 0 && stsz.size() < 16)) return false;
  out->firstSampleSize = sampleSize ? sampleSize : U32(stsz, 12);
  if (U32(stsc, 4) == 0 || U32(stsc, 8) != 1 || U32(stsc, 12) == 0) return false;
  if (U32(stco, 4) == 0 || stco.size() < (wide ? 16u : 12u)) return false;
  out->firstSampleAt = wide ? U64(stco, 8) : U32(stco, 8);
  return true;
}

bool IsSoundFormat(uint32_t format) {
  for (const char* f : {"mp4a", "sowt", "twos", "ulaw", "alaw", "ima4", "samr"})
    if (format == Tag(f)) return true;
  return false;
}

// The container's creation time as the demuxer writes it in the file's
// metadata (seconds since 1904, or since 1970 when smaller), read as a
// camera-clock date; kZovNoTime when absent or outside the clock's years.
int64_t CreationTime(int64_t raw) {
  if (raw == 0) return kZovNoTime;
  if (raw >= kMp4EpochOffset) raw -= kMp4EpochOffset;
  if (raw < 0 || raw > INT64_MAX / 1000000) return kZovNoTime;
  const time_t t = static_cast<time_t>(raw);
  struct tm fields {};
  if (!gmtime_r(&t, &fields)) return kZovNoTime;
  return ZovCameraTime(fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday, fields.tm_hour,
                       fields.tm_min, fields.tm_sec);
}

}  // namespace

bool ZovReadMp4Facts(const CZovGpsFile& file, uint64_t moovAt, uint64_t moovSize, ZovFileFacts* facts) {
  if (moovSize < 16 || moovSize > kZovMaxMp4Index || moovAt > file.Size() || moovSize > file.Size() - moovAt)
    return false;
  std::string buffer(moovSize, '\0');
  if (!file.ReadExact(moovAt, buffer.data(), buffer.size())) return false;
  Bytes moov(buffer);
  const uint64_t head = U32(moov, 0) == 1 ? 16 : 8;
  moov = moov.substr(head);

  // Fragments, a compressed index, or a damaged one: the demuxer's.
  if (!Child(moov, "mvex").empty() || !Child(moov, "cmov").empty()) return false;
  if (!ForEachBox(moov, [](uint32_t, Bytes) { return true; })) return false;
  int mvhdCount = 0;
  const Bytes mvhd = Child(moov, "mvhd", &mvhdCount);
  if (mvhdCount != 1 || mvhd.size() < 20) return false;
  const bool v1 = mvhd[0] == 1;
  if (v1 && mvhd.size() < 32) return false;
  const int64_t created = v1 ? static_cast<int64_t>(U64(mvhd, 4)) : U32(mvhd, 4);
  const int64_t timescale = U32(mvhd, v1 ? 20 : 12);
  const int64_t duration = v1 ? static_cast<int64_t>(U64(mvhd, 24)) : U32(mvhd, 16);
  if (timescale <= 0 || duration <= 0) return false;

  std::vector<Track> tracks;
  bool known = true;
  ForEachBox(moov, [&](uint32_t type, Bytes payload) {
    if (type != Tag("trak")) return true;
    Track t;
    known = ReadTrack(payload, &t);
    if (known) tracks.push_back(t);
    return known;
  });
  if (!known || tracks.empty()) return false;

  ZovFileFacts out;
  const Track* video = nullptr;
  for (const Track& t : tracks) {
    if (t.handler == Tag("vide")) {
      // H.264 and H.265 only: the demuxer leaves other codecs' picture
      // size to the decoder, and the scan to its stream probe.
      // The demuxer's tables hold the four letters as MKTAG makes them.
      const AVCodecTag* tags[] = {avformat_get_mov_video_tags(), nullptr};
      const uint8_t letters[4] = {uint8_t(t.format >> 24), uint8_t(t.format >> 16), uint8_t(t.format >> 8),
                                  uint8_t(t.format)};
      const AVCodecID id = av_codec_get_id(tags, ZovLe32(letters));
      if ((id != AV_CODEC_ID_H264 && id != AV_CODEC_ID_HEVC) || t.width <= 0 || t.height <= 0 ||
          t.editedStart || !avcodec_find_decoder(id))
        return false;
      if (!video) {
        video = &t;
        out.codec = avcodec_get_name(id);
      }
      ++out.videoStreams;
    } else if (t.handler == Tag("soun") && IsSoundFormat(t.format)) {
      ++out.audioStreams;
    } else {
      return false;  // data, text and time-code tracks: the demuxer's
    }
  }
  if (!video) return false;
  if (video->firstSampleSize == 0 || video->firstSampleSize > kMaxFirstSample ||
      video->firstSampleAt > file.Size() || video->firstSampleSize > file.Size() - video->firstSampleAt)
    return false;
  std::vector<uint8_t> sample(video->firstSampleSize);
  if (!file.ReadExact(video->firstSampleAt, sample.data(), sample.size())) return false;

  out.seconds = static_cast<double>(av_rescale(duration, AV_TIME_BASE, timescale)) / AV_TIME_BASE;
  out.created = CreationTime(created);
  out.width = video->width;
  out.height = video->height;
  // A camera that preallocates its files and loses power leaves an index
  // over media data that was never written (all zero bytes).
  if (std::all_of(sample.begin(), sample.end(), [](uint8_t b) { return b == 0; })) {
    out.reason = "cannot be decoded: no picture data";
  } else {
    out.playable = true;
  }
  *facts = std::move(out);
  return true;
}
