#include "engine/zov_demuxer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <thread>
#include <vector>

extern "C" {
#include <libavutil/channel_layout.h>
}

namespace {

// libavformat asks this while it blocks; the engine never interrupts a read.
int NeverInterrupt(void*) { return 0; }

void CopyName(char (&dst)[128], const char* src) {
  std::memset(dst, 0, sizeof dst);
  if (src) std::strncpy(dst, src, sizeof dst - 1);
}

}  // namespace

CZovDemuxer::CZovDemuxer() = default;

CZovDemuxer::~CZovDemuxer() { CZovDemuxer::Close(); }

int CZovDemuxer::DecoderThreadCount(unsigned processors) {
  // Half the logical processors on larger machines, 4 on small ones.
  return processors > 2 ? static_cast<int>(processors / 2) : 4;
}

int64_t CZovDemuxer::ToMs(int64_t value, AVRational timeBase) {
  if (timeBase.den == 0) return 0;
  double ms = static_cast<double>(timeBase.num) / timeBase.den * 1000.0 * static_cast<double>(value);
  if (!std::isfinite(ms)) return 0;
  // Hostile time stamps must not overflow the conversion.
  constexpr double kMax = 9.0e18;
  if (ms > kMax) return static_cast<int64_t>(kMax);
  if (ms < -kMax) return static_cast<int64_t>(-kMax);
  return static_cast<int64_t>(ms);
}

int64_t CZovDemuxer::EstimateDecodeTimeMs(int64_t ptsMs, int64_t lastDtsMs, int64_t stepMs, int reorderDepth) {
  stepMs = std::max<int64_t>(stepMs, 1);
  if (lastDtsMs == kNoTime) return ptsMs - std::max(reorderDepth, 0) * stepMs;
  return std::max(lastDtsMs + 1, std::min(ptsMs, lastDtsMs + stepMs));
}

int64_t CZovDemuxer::CutShortEndMs(const IndexEntryMs* entries, size_t count, int64_t fileSize) {
  if (!entries || count == 0 || fileSize <= 0) return -1;
  const IndexEntryMs& last = entries[count - 1];
  if (last.pos + last.size <= fileSize) return -1;  // whole
  int64_t end = 0;
  for (size_t i = 0; i < count; ++i)
    if (entries[i].pos >= 0 && entries[i].pos + entries[i].size <= fileSize) end = std::max(end, entries[i].timeMs);
  return end;
}

int64_t CZovDemuxer::PlayableEndMs() const {
  const AVFormatContext* ctx = formatContext.get();
  const int index = videoStreamIndex >= 0 ? videoStreamIndex : audioStreamIndex;
  if (!ctx || !ctx->pb || index < 0 || index >= static_cast<int>(ctx->nb_streams)) return -1;
  AVStream* st = ctx->streams[index];
  const int count = avformat_index_get_entries_count(st);
  const int64_t fileSize = avio_size(ctx->pb);
  if (count <= 0 || fileSize <= 0) return -1;
  const AVIndexEntry* first = avformat_index_get_entry(st, 0);
  const int64_t start = st->start_time != AV_NOPTS_VALUE ? st->start_time : (first ? first->timestamp : 0);
  std::vector<IndexEntryMs> entries;
  entries.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    const AVIndexEntry* e = avformat_index_get_entry(st, i);
    if (e) entries.push_back({e->pos, e->size, ToMs(e->timestamp - start, st->time_base)});
  }
  return CutShortEndMs(entries.data(), entries.size(), fileSize);
}

int64_t CZovDemuxer::SeekTargetMs(int64_t ms, int32_t firstTimestampMs) {
  return std::max<int64_t>(ms, 0) + firstTimestampMs;
}

int32_t CZovDemuxer::DurationRule(int64_t durationUs, int64_t startTimeUs, int32_t current) {
  int64_t result = current;
  if (durationUs != startTimeUs && durationUs != AV_NOPTS_VALUE) result = (durationUs + 5000) / 1000000;
  if (result < 1 || result > kMaxDurationSeconds) result = kFallbackDurationSeconds;
  return static_cast<int32_t>(result);
}

int64_t CZovDemuxer::VideoStepMs(const AVPacket* packet) const {
  // A step of 25 fps when neither the packet nor the stream says otherwise.
  constexpr int64_t kDefaultStepMs = 40;
  if (packet && packet->duration > 0 && packet->duration < 1000) return packet->duration;
  if (!formatContext || videoStreamIndex < 0 || videoStreamIndex >= static_cast<int>(formatContext->nb_streams))
    return kDefaultStepMs;
  const AVStream* st = formatContext->streams[videoStreamIndex];
  for (AVRational rate : {st->avg_frame_rate, st->r_frame_rate}) {
    if (rate.num > 0 && rate.den > 0) {
      const int64_t ms = int64_t(1000) * rate.den / rate.num;
      if (ms >= 1 && ms < 1000) return ms;
    }
  }
  return kDefaultStepMs;
}

int32_t CZovDemuxer::StreamFrameRate(int index, int32_t current) const {
  if (!formatContext || index < 0 || index >= static_cast<int>(formatContext->nb_streams)) return current;
  const AVStream* st = formatContext->streams[index];
  if (st->avg_frame_rate.den > 0) return st->avg_frame_rate.num / st->avg_frame_rate.den;
  if (st->r_frame_rate.den > 0) return st->r_frame_rate.num / st->r_frame_rate.den;
  return current;
}

std::string CZovDemuxer::PathProblem(const char* path) {
  if (!path || !*path) return "missing";
  struct stat st {};
  if (stat(path, &st) != 0) return errno == EACCES ? "permission denied" : "missing";
  if (!S_ISREG(st.st_mode)) return "not a regular file";
  if (access(path, R_OK) != 0) return "permission denied";
  if (st.st_size == 0) return "empty";
  return "";
}

bool CZovDemuxer::Open(const char* path) {
  std::lock_guard<std::recursive_mutex> guard(lock);
  opened = 0;
  openError.clear();
  durationSeconds = 1;
  width = height = 0;
  videoCodecId = audioCodecId = 0;
  firstTimestampMs = 0;
  lastVideoDtsMs_ = kNoTime;
  playableEndMs_ = -1;
  videoStreamIndex = audioStreamIndex = -1;
  audioCodecContext.reset();
  if (formatContext) {
    std::printf("AVDemuxer was opened.\n");
    return false;
  }
  if (!path) path = "";
  // A named pipe or a device would block the opening thread in a read:
  // only a readable, non-empty regular file is handed on.
  openError = PathProblem(path);
  if (!openError.empty()) {
    std::printf("open %s failed.\n", path);
    return false;
  }

  AVDictionary* rawOptions = nullptr;
  av_dict_set(&rawOptions, "scan_all_pmts", "1", AV_DICT_DONT_OVERWRITE);
  AVDictionaryUPtr options(rawOptions);

  AVFormatContext* ctx = avformat_alloc_context();
  if (!ctx) {
    std::printf("Could not allocate context.\n");
    return false;
  }
  ctx->interrupt_callback.callback = NeverInterrupt;
  ctx->interrupt_callback.opaque = this;
  rawOptions = options.release();
  int rc = avformat_open_input(&ctx, path, nullptr, &rawOptions);
  options.reset(rawOptions);
  if (rc < 0) {
    // avformat_open_input frees the context on failure.
    std::printf("open %s failed.\n", path);
    openError = "not a recording";
    opened = 0;
    return false;
  }
  formatContext.reset(ctx);
  av_format_inject_global_side_data(ctx);
  if (ctx->pb) ctx->pb->eof_reached = 0;
  durationSeconds = (ctx->iformat->flags & AVFMT_TS_DISCONT) ? kProvisionalDiscontSeconds : kProvisionalSeconds;

  if (avformat_find_stream_info(ctx, nullptr) < 0) {
    std::printf("find stream info failed.\n");
    openError = "not a recording";
    formatContext.reset();
    return false;
  }
  if (ctx->pb) ctx->pb->eof_reached = 0;

  const unsigned processors = std::thread::hardware_concurrency();
  int64_t chosenArea = -1;
  for (unsigned i = 0; i < ctx->nb_streams; ++i) {
    AVStream* st = ctx->streams[i];
    AVCodecParameters* par = st->codecpar;
    if (par->codec_type != AVMEDIA_TYPE_VIDEO && par->codec_type != AVMEDIA_TYPE_AUDIO) continue;
    const AVCodec* decoder = avcodec_find_decoder(par->codec_id);
    if (!decoder) break;  // later streams are not considered
    if (par->codec_type == AVMEDIA_TYPE_VIDEO) {
      int64_t area = static_cast<int64_t>(par->width) * par->height;
      if (area < chosenArea) continue;  // equal or larger replaces: the last one wins
      if (hardwareFlag == 0) {
        AVCodecContextUPtr codec(avcodec_alloc_context3(decoder));
        if (!codec) {
          Close();
          return false;
        }
        codec->thread_count = DecoderThreadCount(processors);
        if (avcodec_parameters_to_context(codec.get(), par) < 0) {
          Close();
          return false;
        }
        videoCodecContext = std::move(codec);
      }
      chosenArea = area;
      videoStreamIndex = static_cast<int32_t>(i);
      videoCodecId = par->codec_id;
      bitRate = static_cast<int32_t>(static_cast<uint32_t>(par->bit_rate));
      pixelFormat = par->format;
      CopyName(videoCodecName, decoder->name);
      frameRate = StreamFrameRate(static_cast<int>(i), frameRate);
      width = par->width;
      height = par->height;
    } else {
      audioStreamIndex = static_cast<int32_t>(i);
      audioCodecId = par->codec_id;
      AVCodecContextUPtr codec(avcodec_alloc_context3(decoder));
      if (!codec || avcodec_parameters_to_context(codec.get(), par) < 0) {
        Close();
        return false;
      }
      audioCodecContext = std::move(codec);
      CopyName(audioCodecName, decoder->name);
    }
  }
  if (videoStreamIndex < 0 && audioStreamIndex < 0) {
    openError = "no playable stream";
    Close();
    return false;
  }
  playableEndMs_ = PlayableEndMs();
  if (playableEndMs_ >= 0)
    std::printf("%s is cut short: its data ends at %lld ms.\n", path, static_cast<long long>(playableEndMs_));
  opened = 1;
  eof = 0;
  return true;
}

void CZovDemuxer::Close() {
  std::lock_guard<std::recursive_mutex> guard(lock);
  opened = 0;
  videoCodecContext.reset();
  audioCodecContext.reset();
  formatContext.reset();
  hwDeviceRef.reset();
  lastVideoDtsMs_ = kNoTime;
  eof = 0;
}

uint8_t CZovDemuxer::IsOpened() { return opened; }

bool CZovDemuxer::IsEof() { return eof != 0; }

void CZovDemuxer::RefreshMediaInfo() {
  if (AVCodecContext* v = videoCodecContext.get()) {
    bitRate = static_cast<int32_t>(static_cast<uint32_t>(v->bit_rate));
    pixelFormat = v->pix_fmt;
    frameRate = StreamFrameRate(videoStreamIndex, frameRate);
    width = v->width;
    height = v->height;
  }
  if (AVCodecContext* a = audioCodecContext.get()) {
    audioCodecId2 = a->codec_id;
    sampleFormat = a->sample_fmt;
    sampleRate = a->sample_rate;
    channelLayout = static_cast<int32_t>(static_cast<uint32_t>(
        a->ch_layout.order == AV_CHANNEL_ORDER_NATIVE ? a->ch_layout.u.mask : 0));
    channels = a->ch_layout.nb_channels;
  }
  if (formatContext) {
    int32_t seconds = DurationRule(formatContext->duration, formatContext->start_time, durationSeconds);
    // A recording cut short shows the length it can play, not what its
    // index promised (rounded up: the clock reaches the last picture).
    if (playableEndMs_ >= 0) seconds = std::clamp<int32_t>(int32_t((playableEndMs_ + 999) / 1000), 1, seconds);
    durationSeconds = seconds;
  }
}

void CZovDemuxer::ApplyPacketTimes(AVPacket* packet) {
  if (packet->pts == AV_NOPTS_VALUE) {
    packet->pts = packet->dts = 0;
    return;
  }
  AVRational tb{1, 1000};
  if (formatContext && packet->stream_index >= 0 &&
      packet->stream_index < static_cast<int>(formatContext->nb_streams))
    tb = formatContext->streams[packet->stream_index]->time_base;
  const bool video = packet->stream_index == videoStreamIndex;
  packet->pts = ToMs(packet->pts, tb);
  packet->duration = packet->duration > 0 ? ToMs(packet->duration, tb) : 0;
  if (packet->dts != AV_NOPTS_VALUE) {
    packet->dts = ToMs(packet->dts, tb);
  } else if (video) {
    // Pictures reordered for decoding (B-frames): the presentation time of
    // such a packet is not its decode time, and taken for one it would make
    // the stream's times step backwards.
    const int depth = formatContext ? formatContext->streams[packet->stream_index]->codecpar->video_delay : 0;
    packet->dts = EstimateDecodeTimeMs(packet->pts, lastVideoDtsMs_, VideoStepMs(packet), depth);
    ++estimatedDecodeTimes;
  } else {
    packet->dts = packet->pts;  // sound is decoded in presentation order
  }
  if (video) lastVideoDtsMs_ = packet->dts;
  if (!videoCodecContext || video)
    positionMs = static_cast<int32_t>(static_cast<uint32_t>(packet->pts));
}

int CZovDemuxer::ReadPacket(AVPacket* packet) {
  std::lock_guard<std::recursive_mutex> guard(lock);
  if (!formatContext || !packet) return -1;
  AVFormatContext* ctx = formatContext.get();
  int rc = av_read_frame(ctx, packet);
  if (rc >= 0) {
    eof = 0;
    ApplyPacketTimes(packet);
    return 0;
  }
  if ((rc == AVERROR_EOF || (ctx->pb && avio_feof(ctx->pb))) && eof == 0) {
    eof = 1;
    return -1;
  }
  if (ctx->pb && ctx->pb->error != 0) return -2;
  return -1;
}

bool CZovDemuxer::Seek(int64_t ms, bool keyBefore) {
  std::lock_guard<std::recursive_mutex> guard(lock);
  // A sound-only recording seeks on its sound stream.
  const int32_t index = videoStreamIndex >= 0 ? videoStreamIndex : audioStreamIndex;
  if (!formatContext || index < 0 || index >= static_cast<int>(formatContext->nb_streams)) return false;
  const int64_t t = SeekTargetMs(ms, firstTimestampMs);
  const AVRational tb = formatContext->streams[index]->time_base;
  const int64_t target = av_rescale(t, tb.den, int64_t(tb.num) * 1000);
  const int flags = keyBefore ? AVSEEK_FLAG_BACKWARD : (t < positionMs) ? kSeekFlagsBackward : kSeekFlagsForward;
  lastSeekMs = t;
  lastSeekFlags = flags;
  lastVideoDtsMs_ = kNoTime;
  int rc = av_seek_frame(formatContext.get(), index, target, flags);
  if (videoCodecContext && avcodec_is_open(videoCodecContext.get()))
    avcodec_flush_buffers(videoCodecContext.get());
  if (audioCodecContext && avcodec_is_open(audioCodecContext.get()))
    avcodec_flush_buffers(audioCodecContext.get());
  return rc >= 0;
}
