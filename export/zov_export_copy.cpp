// Lossless export of one channel: the packets of its pieces copied into one
// file, cut at the key frame at or before the range's start, the pieces
// joined on one continuous time line.
#include <algorithm>
#include <cmath>

#include "export/zov_export_steps.h"

namespace {

struct OutputDeleter {
  void operator()(AVFormatContext* c) const {
    if (c && c->pb && !(c->oformat->flags & AVFMT_NOFILE)) avio_closep(&c->pb);
    avformat_free_context(c);
  }
};
using OutputUPtr = std::unique_ptr<AVFormatContext, OutputDeleter>;

constexpr AVRational kMicro{1, AV_TIME_BASE};

// The container of the copy: MP4 when every stream fits in it, else the
// recording's own family (MOV), else Matroska (transport streams keep theirs).
const char* OutputFormatName(const ZovOpenedInput& in) {
  const std::string name = in.format->iformat->name;
  if (name.find("mpegts") != std::string::npos) return "mpegts";
  const AVOutputFormat* mp4 = av_guess_format("mp4", nullptr, nullptr);
  bool fits = true;
  for (int s : {in.video, in.audio})
    if (s >= 0 && avformat_query_codec(mp4, in.format->streams[s]->codecpar->codec_id,
                                       FF_COMPLIANCE_NORMAL) != 1)
      fits = false;
  if (fits) return "mp4";
  return name.find("mov") != std::string::npos ? "mov" : "matroska";
}

const char* Extension(const std::string& format) {
  return format == "mpegts" ? ".ts" : format == "mov" ? ".mov" : format == "matroska" ? ".mkv" : ".mp4";
}

bool SameCodec(const AVCodecParameters* a, const AVCodecParameters* b) {
  return a->codec_id == b->codec_id && a->width == b->width && a->height == b->height &&
         a->sample_rate == b->sample_rate;
}

}  // namespace

bool ZovCopyChannel(CZovExportJob& job, const ZovExportChannel& channel) {
  std::string error;
  OutputUPtr out;
  int outVideo = -1, outAudio = -1;
  std::vector<int64_t> lastDts;
  std::string path;
  // Output time (µs) of the current piece's first kept packet; the next
  // piece starts where the pictures of this one ended.
  int64_t offset = 0;
  double doneSeconds = 0;
  AVPacketUPtr packet(av_packet_alloc());
  const AVCodecParameters* firstVideo = nullptr;
  const AVCodecParameters* firstAudio = nullptr;
  ZovOpenedInput first;

  for (size_t p = 0; p < channel.pieces.size(); ++p) {
    const ZovExportPiece& piece = channel.pieces[p];
    ZovOpenedInput in;
    if (!ZovOpenInput(job.RecordingOf(piece).path, &in, &error)) return job.Fail(error);
    AVStream* iv = in.format->streams[in.video];
    AVStream* ia = in.audio >= 0 ? in.format->streams[in.audio] : nullptr;
    if (p == 0) {
      const std::string format = OutputFormatName(in);
      path = job.NewFile(channel.key + Extension(format));
      AVFormatContext* raw = nullptr;
      avformat_alloc_output_context2(&raw, nullptr, format.c_str(), path.c_str());
      if (!raw) return job.Fail("no container to write " + path);
      out.reset(raw);
      for (AVStream* s : {iv, ia}) {
        if (!s) continue;
        AVStream* o = avformat_new_stream(raw, nullptr);
        avcodec_parameters_copy(o->codecpar, s->codecpar);
        o->codecpar->codec_tag = 0;
        o->time_base = s->time_base;
        (s == iv ? outVideo : outAudio) = o->index;
      }
      if (const int r = avio_open(&raw->pb, path.c_str(), AVIO_FLAG_WRITE); r < 0)
        return job.Fail(ZovWriteErrorText(path, r));
      if (const int r = avformat_write_header(raw, nullptr); r < 0)
        return job.Fail(ZovWriteErrorText(path, r));
      lastDts.assign(raw->nb_streams, INT64_MIN);
      first = std::move(in);
      firstVideo = first.format->streams[first.video]->codecpar;
      firstAudio = first.audio >= 0 ? first.format->streams[first.audio]->codecpar : nullptr;
    } else if (!SameCodec(iv->codecpar, firstVideo) ||
               (ia && firstAudio && !SameCodec(ia->codecpar, firstAudio))) {
      return job.Fail("the " + channel.key + " channel changes its picture or sound format at " +
                      job.RecordingOf(piece).path + ": it cannot be joined without re-encoding");
    }
    ZovOpenedInput& src = p == 0 ? first : in;
    if (piece.begin > 0)
      av_seek_frame(src.format.get(), src.video,
                    static_cast<int64_t>(piece.begin / av_q2d(iv->time_base)), AVSEEK_FLAG_BACKWARD);

    // The piece's base: the key frame it starts with. Sound read before that
    // frame is held until the base is known; sound before it is dropped.
    int64_t base = AV_NOPTS_VALUE;  // µs
    int64_t videoEnd = 0;           // µs on the output line
    std::vector<AVPacketUPtr> held;
    bool videoDone = false, audioDone = ia == nullptr;
    const double frameSeconds =
        iv->avg_frame_rate.num > 0 ? 1.0 / av_q2d(iv->avg_frame_rate) : 1.0 / 30;

    auto write = [&](AVPacket* pkt, AVStream* is, int os) -> bool {
      const int64_t shift = offset - base;
      AVStream* o = out->streams[os];
      const int64_t duration = pkt->duration;
      av_packet_rescale_ts(pkt, is->time_base, o->time_base);
      const int64_t add = av_rescale_q(shift, kMicro, o->time_base);
      if (pkt->pts != AV_NOPTS_VALUE) pkt->pts += add;
      if (pkt->dts != AV_NOPTS_VALUE) pkt->dts += add;
      if (pkt->dts != AV_NOPTS_VALUE && pkt->dts <= lastDts[os]) {
        pkt->dts = lastDts[os] + 1;
        if (pkt->pts != AV_NOPTS_VALUE && pkt->pts < pkt->dts) pkt->pts = pkt->dts;
      }
      if (pkt->dts != AV_NOPTS_VALUE) lastDts[os] = pkt->dts;
      if (os == outVideo && pkt->pts != AV_NOPTS_VALUE) {
        const int64_t d = duration > 0 ? av_rescale_q(duration, is->time_base, kMicro)
                                       : static_cast<int64_t>(frameSeconds * AV_TIME_BASE);
        videoEnd = std::max(videoEnd, av_rescale_q(pkt->pts, o->time_base, kMicro) + d);
      }
      pkt->stream_index = os;
      pkt->pos = -1;
      if (const int r = av_interleaved_write_frame(out.get(), pkt); r < 0)
        return job.Fail(ZovWriteErrorText(path, r));
      return true;
    };

    while (!(videoDone && audioDone)) {
      if (job.Cancelled()) return false;
      const int r = av_read_frame(src.format.get(), packet.get());
      if (r == AVERROR_EOF) break;
      if (r < 0) return job.Fail(job.RecordingOf(piece).path + " cannot be read: " + ZovAvErrorText(r));
      const int s = packet->stream_index;
      if ((s != src.video && s != src.audio) || packet->pts == AV_NOPTS_VALUE) {
        av_packet_unref(packet.get());
        continue;
      }
      AVStream* is = src.format->streams[s];
      const double at = ZovSeconds(packet->pts, is->time_base);
      if (s == src.video) {
        const double decodeAt =
            packet->dts != AV_NOPTS_VALUE ? ZovSeconds(packet->dts, is->time_base) : at;
        if (base == AV_NOPTS_VALUE) {
          if (!(packet->flags & AV_PKT_FLAG_KEY)) {
            av_packet_unref(packet.get());
            continue;
          }
          base = static_cast<int64_t>(std::llround(at * AV_TIME_BASE));
          for (AVPacketUPtr& h : held) {
            const double heldAt = ZovSeconds(h->pts, ia->time_base);
            if (heldAt * AV_TIME_BASE >= static_cast<double>(base) && !write(h.get(), ia, outAudio))
              return false;
          }
          held.clear();
        }
        if (decodeAt >= piece.end - frameSeconds / 2) {
          videoDone = true;
          av_packet_unref(packet.get());
          continue;
        }
        job.Progress(doneSeconds + std::max(0.0, at - piece.begin));
        if (!write(packet.get(), is, outVideo)) return false;
      } else {
        if (at >= piece.end) {
          audioDone = true;
        } else if (base == AV_NOPTS_VALUE) {
          held.emplace_back(av_packet_clone(packet.get()));
        } else if (at * AV_TIME_BASE >= static_cast<double>(base) && !write(packet.get(), is, outAudio)) {
          return false;
        }
      }
      av_packet_unref(packet.get());
    }
    doneSeconds += piece.end - piece.begin;
    if (base != AV_NOPTS_VALUE) offset = std::max(offset, videoEnd);
  }
  if (!out) return job.Fail("the " + channel.key + " channel has nothing in the range");
  if (const int r = av_write_trailer(out.get()); r < 0) return job.Fail(ZovWriteErrorText(path, r));
  if (const int r = out->pb->error; r < 0) return job.Fail(ZovWriteErrorText(path, r));
  if (const int r = avio_closep(&out->pb); r < 0) return job.Fail(ZovWriteErrorText(path, r));
  job.EndStep(doneSeconds);
  return true;
}
