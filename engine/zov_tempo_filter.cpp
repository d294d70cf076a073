#include "engine/zov_tempo_filter.h"

#include <cstdio>

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
}

CZovTempoFilter::~CZovTempoFilter() { Reset(); }

std::string CZovTempoFilter::ChainFor(int32_t percent) {
  if (percent == 100 || percent <= 0) return {};
  std::string chain;
  double factor = percent / 100.0;
  // One atempo takes 0.5 and up; a slower speed is split into halves.
  while (factor < 0.5) {
    chain += "atempo=0.5,";
    factor /= 0.5;
  }
  char last[32];
  std::snprintf(last, sizeof last, "atempo=%.4g", factor);
  return chain + last;
}

void CZovTempoFilter::Reset() {
  avfilter_graph_free(&graph_);
  source_ = nullptr;
  sink_ = nullptr;
  format_ = -1;
}

bool CZovTempoFilter::Matches(const AVFrame* frame, int32_t percent) const {
  return graph_ && percent == percent_ && frame->format == format_ && frame->sample_rate == sampleRate_ &&
         frame->ch_layout.nb_channels == channels_;
}

bool CZovTempoFilter::Configure(const AVFrame* like, int32_t percent) {
  Reset();
  std::string chain = ChainFor(percent);
  if (chain.empty() || like->sample_rate <= 0) return false;
  // The output keeps the input's sample format (the sound output was set up
  // for the decoder's).
  const char* formatName = av_get_sample_fmt_name(static_cast<AVSampleFormat>(like->format));
  if (!formatName) return false;
  chain += std::string(",aformat=sample_fmts=") + formatName;
  graph_ = avfilter_graph_alloc();
  if (!graph_) return false;
  AVChannelLayout layout{};
  if (like->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || like->ch_layout.nb_channels <= 0)
    av_channel_layout_default(&layout, like->ch_layout.nb_channels > 0 ? like->ch_layout.nb_channels : 1);
  else
    av_channel_layout_copy(&layout, &like->ch_layout);
  char layoutText[128] = {};
  av_channel_layout_describe(&layout, layoutText, sizeof layoutText);
  const int channels = layout.nb_channels;
  av_channel_layout_uninit(&layout);
  char args[256];
  std::snprintf(args, sizeof args, "time_base=1/%d:sample_rate=%d:sample_fmt=%s:channel_layout=%s", like->sample_rate,
                like->sample_rate, formatName, layoutText);
  AVFilterInOut* outputs = avfilter_inout_alloc();
  AVFilterInOut* inputs = avfilter_inout_alloc();
  bool ok = outputs && inputs &&
            avfilter_graph_create_filter(&source_, avfilter_get_by_name("abuffer"), "in", args, nullptr, graph_) >= 0 &&
            avfilter_graph_create_filter(&sink_, avfilter_get_by_name("abuffersink"), "out", nullptr, nullptr,
                                         graph_) >= 0;
  if (ok) {
    outputs->name = av_strdup("in");
    outputs->filter_ctx = source_;
    inputs->name = av_strdup("out");
    inputs->filter_ctx = sink_;
    ok = avfilter_graph_parse_ptr(graph_, chain.c_str(), &inputs, &outputs, nullptr) >= 0 &&
         avfilter_graph_config(graph_, nullptr) >= 0;
  }
  avfilter_inout_free(&inputs);
  avfilter_inout_free(&outputs);
  if (!ok) {
    Reset();
    return false;
  }
  percent_ = percent;
  format_ = like->format;
  sampleRate_ = like->sample_rate;
  channels_ = channels;
  return true;
}

std::vector<AVFrameUPtr> CZovTempoFilter::Filter(const AVFrame* frame, int32_t percent) {
  std::vector<AVFrameUPtr> out;
  if (!frame) return out;
  if (!Matches(frame, percent) && !Configure(frame, percent)) return out;
  AVFrameUPtr in(av_frame_clone(frame));
  if (!in) return out;
  // The filter counts its own time; the scheduler keeps the media times.
  in->pts = AV_NOPTS_VALUE;
  if (av_buffersrc_add_frame(source_, in.get()) < 0) return out;
  for (;;) {
    AVFrameUPtr filtered(av_frame_alloc());
    if (!filtered || av_buffersink_get_frame(sink_, filtered.get()) < 0) break;
    out.push_back(std::move(filtered));
  }
  return out;
}
