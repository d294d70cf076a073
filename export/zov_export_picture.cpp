// The steps that decode pictures: the PNG of every channel at the range's
// start, and the overlay export (decode, draw, encode with libx264).
#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include "export/zov_export_steps.h"

namespace {

struct SwsDeleter {
  void operator()(SwsContext* c) const { sws_freeContext(c); }
};
using SwsUPtr = std::unique_ptr<SwsContext, SwsDeleter>;

struct PictureOutputDeleter {
  void operator()(AVFormatContext* c) const {
    if (c && c->pb) avio_closep(&c->pb);
    avformat_free_context(c);
  }
};
using PictureOutputUPtr = std::unique_ptr<AVFormatContext, PictureOutputDeleter>;

// Converts (and scales) `src` rows into the destination planes; the context
// is made again only when a size or format changes.
void Convert(SwsUPtr& ctx, int sw, int sh, AVPixelFormat sf, const uint8_t* const* src,
             const int* srcStride, int dw, int dh, AVPixelFormat df, uint8_t* const* dst,
             const int* dstStride) {
  const int flags = sw == dw && sh == dh ? SWS_POINT : SWS_BILINEAR;
  ctx.reset(sws_getCachedContext(ctx.release(), sw, sh, sf, dw, dh, df, flags, nullptr, nullptr, nullptr));
  if (ctx) sws_scale(ctx.get(), src, srcStride, 0, sh, dst, dstStride);
}

// An even number of pixels, at least 2.
int Even(double v) { return std::max(2, static_cast<int>(std::lround(v / 2)) * 2); }

QImage FrameToImage(const AVFrame* f, int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  SwsUPtr ctx;
  uint8_t* dst[4] = {image.bits(), nullptr, nullptr, nullptr};
  const int stride[4] = {static_cast<int>(image.bytesPerLine()), 0, 0, 0};
  Convert(ctx, f->width, f->height, static_cast<AVPixelFormat>(f->format), f->data, f->linesize, width,
          height, AV_PIX_FMT_RGB32, dst, stride);
  return image;
}

// A channel's place in the overlay picture.
struct Slot {
  std::string key;
  std::unique_ptr<CZovChannelDecoder> decoder;
  int x = 0, width = 0;
  AVFrameUPtr current;  // shown now (channels other than the lead)
  AVFrameUPtr pending;  // decoded ahead, shown from pendingTime
  double pendingTime = 0;
  bool ended = false;
  SwsUPtr place, toRgb, fromRgb;
};

}  // namespace

bool ZovWriteStill(CZovExportJob& job) {
  const ZovExportPlan& plan = job.Plan();
  std::vector<QImage> pictures;
  int height = 0;
  for (const ZovExportChannel& c : plan.channels) {
    if (job.Cancelled()) return false;
    // The first picture of the channel's first piece.
    ZovExportChannel first{c.key, {c.pieces.front()}};
    CZovChannelDecoder decoder(job, first);
    CZovChannelDecoder::Result r;
    while ((r = decoder.Next()) == CZovChannelDecoder::kSound) {
    }
    if (r == CZovChannelDecoder::kError) return job.Fail(decoder.Error());
    if (r != CZovChannelDecoder::kFrame)
      return job.Fail("the " + c.key + " channel has no picture at " +
                      ZovFormatCameraTime(static_cast<int64_t>(plan.from)));
    const AVFrame* f = decoder.Frame();
    if (height == 0) height = f->height;  // the lead's height for every channel
    const int width = Even(static_cast<double>(f->width) * height / std::max(1, f->height));
    pictures.push_back(FrameToImage(f, width, height));
  }
  int width = 0;
  for (const QImage& p : pictures) width += p.width();
  QImage row(width, height, QImage::Format_RGB32);
  row.fill(Qt::black);
  {
    QPainter painter(&row);
    int x = 0;
    for (const QImage& p : pictures) {
      painter.drawImage(x, 0, p);
      x += p.width();
    }
  }
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  if (!row.save(&buffer, "PNG")) return job.Fail("the picture at the range's start could not be made");
  if (!job.WriteWhole("start.png", std::string(png.constData(), static_cast<size_t>(png.size()))))
    return false;
  job.EndStep(1);
  return true;
}

bool ZovEncodeOverlay(CZovExportJob& job) {
  const ZovExportRequest& request = job.Request();
  const ZovExportPlan& plan = job.Plan();
  const std::vector<ZovOverlayFix> fixes = ZovRangeTrack(job.Library(), plan);

  std::vector<Slot> views;
  const size_t channels = request.layout == ZovOverlayLayout::kFrontOnly ? 1 : plan.channels.size();
  for (size_t i = 0; i < channels; ++i) {
    Slot s;
    s.key = plan.channels[i].key;
    s.decoder = std::make_unique<CZovChannelDecoder>(job, plan.channels[i]);
    if (!s.decoder->Start()) return job.Fail(s.decoder->Error());
    views.push_back(std::move(s));
  }
  // Every channel at the lead's height, side by side, the row scaled down
  // to the widest picture allowed.
  double height = views[0].decoder->Height();
  double total = 0;
  for (const Slot& s : views)
    total += static_cast<double>(s.decoder->Width()) * height / std::max(1, s.decoder->Height());
  if (request.maxWidth > 0 && total > request.maxWidth) {
    height *= request.maxWidth / total;
    total = request.maxWidth;
  }
  const int H = Even(height);
  int W = 0;
  for (Slot& s : views) {
    s.x = W;
    s.width = Even(static_cast<double>(s.decoder->Width()) * H / std::max(1, s.decoder->Height()));
    W += s.width;
  }
  const int strip = ZovOverlayStripHeight(H);

  // The encoder and the file.
  const std::string path = job.NewFile("overlay.mp4");
  AVFormatContext* raw = nullptr;
  avformat_alloc_output_context2(&raw, nullptr, "mp4", path.c_str());
  if (!raw) return job.Fail("no container to write " + path);
  PictureOutputUPtr out(raw);
  const AVCodec* x264 = avcodec_find_encoder_by_name("libx264");
  if (!x264) return job.Fail("this FFmpeg has no H.264 encoder (libx264)");
  AVCodecContextUPtr enc(avcodec_alloc_context3(x264));
  const AVRational rate = views[0].decoder->FrameRate();
  enc->width = W;
  enc->height = H;
  enc->pix_fmt = AV_PIX_FMT_YUV420P;
  enc->time_base = {1, 90000};
  enc->framerate = rate;
  enc->gop_size = std::max(1, static_cast<int>(std::lround(2 * av_q2d(rate))));
  enc->thread_count = 0;
  if (raw->oformat->flags & AVFMT_GLOBALHEADER) enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  av_opt_set(enc->priv_data, "preset", "veryfast", 0);
  av_opt_set(enc->priv_data, "crf", "21", 0);
  if (const int r = avcodec_open2(enc.get(), x264, nullptr); r < 0)
    return job.Fail("the H.264 encoder cannot start: " + ZovAvErrorText(r));
  AVStream* vs = avformat_new_stream(raw, nullptr);
  avcodec_parameters_from_context(vs->codecpar, enc.get());
  vs->time_base = enc->time_base;
  vs->avg_frame_rate = rate;
  // The lead's sound, copied.
  AVStream* as = nullptr;
  const AVCodecParameters* sound = views[0].decoder->SoundParameters();
  if (sound && avformat_query_codec(raw->oformat, sound->codec_id, FF_COMPLIANCE_NORMAL) == 1) {
    as = avformat_new_stream(raw, nullptr);
    avcodec_parameters_copy(as->codecpar, sound);
    as->codecpar->codec_tag = 0;
    as->time_base = views[0].decoder->SoundTimeBase();
  }
  if (const int r = avio_open(&raw->pb, path.c_str(), AVIO_FLAG_WRITE); r < 0)
    return job.Fail(ZovWriteErrorText(path, r));
  if (const int r = avformat_write_header(raw, nullptr); r < 0) return job.Fail(ZovWriteErrorText(path, r));

  AVFrameUPtr picture(av_frame_alloc());
  picture->format = AV_PIX_FMT_YUV420P;
  picture->width = W;
  picture->height = H;
  if (av_frame_get_buffer(picture.get(), 0) < 0) return job.Fail("out of memory");
  // Black where a channel has no picture yet.
  std::memset(picture->data[0], 16, static_cast<size_t>(picture->linesize[0]) * H);
  std::memset(picture->data[1], 128, static_cast<size_t>(picture->linesize[1]) * H / 2);
  std::memset(picture->data[2], 128, static_cast<size_t>(picture->linesize[2]) * H / 2);
  AVPacketUPtr packet(av_packet_alloc());
  int64_t lastPts = INT64_MIN, lastSoundDts = INT64_MIN;

  auto drain = [&]() -> bool {
    for (;;) {
      const int r = avcodec_receive_packet(enc.get(), packet.get());
      if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
      if (r < 0) return job.Fail("the H.264 encoder failed: " + ZovAvErrorText(r));
      av_packet_rescale_ts(packet.get(), enc->time_base, vs->time_base);
      packet->stream_index = vs->index;
      if (const int w = av_interleaved_write_frame(raw, packet.get()); w < 0)
        return job.Fail(ZovWriteErrorText(path, w));
    }
  };
  // Puts a decoded picture into its slot of the overlay picture.
  auto place = [&](Slot& s, const AVFrame* f) {
    uint8_t* dst[4] = {picture->data[0] + s.x, picture->data[1] + s.x / 2, picture->data[2] + s.x / 2,
                       nullptr};
    Convert(s.place, f->width, f->height, static_cast<AVPixelFormat>(f->format), f->data, f->linesize,
            s.width, H, AV_PIX_FMT_YUV420P, dst, picture->linesize);
  };
  // Draws the strip over the bottom rows of a slot: those rows to RGB, the
  // drawing, and back.
  auto draw = [&](Slot& s, const ZovOverlayText& text) {
    const int y = H - strip;
    uint8_t* rows[4] = {picture->data[0] + y * picture->linesize[0] + s.x,
                        picture->data[1] + (y / 2) * picture->linesize[1] + s.x / 2,
                        picture->data[2] + (y / 2) * picture->linesize[2] + s.x / 2, nullptr};
    QImage band(s.width, strip, QImage::Format_RGB32);
    uint8_t* rgb[4] = {band.bits(), nullptr, nullptr, nullptr};
    const int rgbStride[4] = {static_cast<int>(band.bytesPerLine()), 0, 0, 0};
    Convert(s.toRgb, s.width, strip, AV_PIX_FMT_YUV420P, rows, picture->linesize, s.width, strip,
            AV_PIX_FMT_RGB32, rgb, rgbStride);
    ZovDrawOverlayStrip(band, text);
    const uint8_t* back[4] = {band.constBits(), nullptr, nullptr, nullptr};
    Convert(s.fromRgb, s.width, strip, AV_PIX_FMT_RGB32, back, rgbStride, s.width, strip,
            AV_PIX_FMT_YUV420P, rows, picture->linesize);
  };

  const double span = plan.to - plan.from;
  for (;;) {
    if (job.Cancelled()) return false;
    Slot& lead = views[0];
    const CZovChannelDecoder::Result r = lead.decoder->Next();
    if (r == CZovChannelDecoder::kError) return job.Fail(lead.decoder->Error());
    if (r == CZovChannelDecoder::kEnd) break;
    if (r == CZovChannelDecoder::kSound) {
      if (!as) continue;
      AVPacket* p = lead.decoder->Sound();
      av_packet_rescale_ts(p, lead.decoder->SoundTimeBase(), as->time_base);
      if (p->dts <= lastSoundDts) continue;  // a repeat at a join
      lastSoundDts = p->dts;
      p->stream_index = as->index;
      p->pos = -1;
      if (const int w = av_interleaved_write_frame(raw, p); w < 0) return job.Fail(ZovWriteErrorText(path, w));
      continue;
    }
    const double t = lead.decoder->Time();
    const double camera = lead.decoder->CameraTime();
    if (av_frame_make_writable(picture.get()) < 0) return job.Fail("out of memory");
    place(lead, lead.decoder->Frame());
    // The other channels show their latest picture at or before this time.
    for (size_t i = 1; i < views.size(); ++i) {
      Slot& s = views[i];
      while (!s.ended) {
        if (s.pending) {
          if (s.pendingTime > t + 1e-3) break;
          s.current = std::move(s.pending);
        }
        const CZovChannelDecoder::Result n = s.decoder->Next();
        if (n == CZovChannelDecoder::kError) return job.Fail(s.decoder->Error());
        if (n == CZovChannelDecoder::kEnd) s.ended = true;
        if (n == CZovChannelDecoder::kFrame) {
          s.pending.reset(av_frame_clone(s.decoder->Frame()));
          s.pendingTime = s.decoder->Time();
        }
      }
      if (s.current) place(s, s.current.get());
    }
    const ZovOverlayFix* fix = ZovFixAt(fixes, camera);
    for (Slot& s : views)
      draw(s, ZovOverlayTextOf(camera + request.clock.offsetSeconds, fix, s.key, request.unit,
                               request.withPosition, request.clock));
    int64_t pts = std::llround(t * 90000);
    if (pts <= lastPts) pts = lastPts + 1;
    lastPts = pts;
    picture->pts = pts;
    if (const int e = avcodec_send_frame(enc.get(), picture.get()); e < 0)
      return job.Fail("the H.264 encoder failed: " + ZovAvErrorText(e));
    if (!drain()) return false;
    job.Progress(std::min(t, span));
  }
  if (lastPts == INT64_MIN) return job.Fail("the range holds no picture of the " + views[0].key + " channel");
  avcodec_send_frame(enc.get(), nullptr);
  if (!drain()) return false;
  if (const int r = av_write_trailer(raw); r < 0) return job.Fail(ZovWriteErrorText(path, r));
  if (const int r = raw->pb->error; r < 0) return job.Fail(ZovWriteErrorText(path, r));
  if (const int r = avio_closep(&raw->pb); r < 0) return job.Fail(ZovWriteErrorText(path, r));
  job.EndStep(span);
  return true;
}
