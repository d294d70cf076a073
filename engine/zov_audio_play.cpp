#include "engine/zov_audio_play.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/zov_base_file.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libavutil/mathematics.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

void ZovSwrDeleter::operator()(SwrContext* s) const { swr_free(&s); }

CZovAudioPlay::CZovAudioPlay() = default;
CZovAudioPlay::~CZovAudioPlay() = default;

AVCodecContext* CZovAudioPlay::AudioContext() const {
  if (!file || !file->demuxer) return nullptr;
  return file->demuxer->GetAudioCodecContext();
}

int CZovAudioPlay::Open(CZovBaseFile* decoderFile) {
  file = decoderFile;
  if (AVCodecContext* audio = AudioContext()) {
    outChannels = audio->ch_layout.nb_channels;
    outSampleRate = audio->sample_rate;
  }
  return 0;
}

int CZovAudioPlay::ConvertFrame(AVFrame* frame, std::vector<uint8_t>& out) {
  out.clear();
  AVCodecContext* audio = AudioContext();
  if (!frame || !audio) return -1;
  const int frameChannels = frame->ch_layout.nb_channels;
  if (frameChannels <= 0 || frame->nb_samples <= 0 || frame->sample_rate <= 0) return -1;

  // Input layout: the frame's own when it matches its channel count, else
  // FFmpeg's default layout for that count.
  AVChannelLayout inLayout{};
  if (frame->ch_layout.order != AV_CHANNEL_ORDER_UNSPEC &&
      frame->ch_layout.nb_channels == frameChannels) {
    if (av_channel_layout_copy(&inLayout, &frame->ch_layout) < 0) return -1;
  } else {
    av_channel_layout_default(&inLayout, frameChannels);
  }

  if (!resampler) {
    AVChannelLayout outLayout{};
    int outRate;
    if (outChannels == 1) {
      av_channel_layout_copy(&outLayout, &inLayout);
      outRate = frame->sample_rate;
    } else {
      outLayout = AV_CHANNEL_LAYOUT_STEREO;
      outRate = outSampleRate > 0 ? outSampleRate : frame->sample_rate;
    }
    if (deviceSampleRate > 0) outRate = deviceSampleRate;
    SwrContext* swr = nullptr;
    const int rc = swr_alloc_set_opts2(&swr, &outLayout, AV_SAMPLE_FMT_S16, outRate, &inLayout,
                                       static_cast<AVSampleFormat>(audio->sample_fmt),
                                       frame->sample_rate, 0, nullptr);
    const int channelsOut = outLayout.nb_channels;
    av_channel_layout_uninit(&outLayout);
    if (rc < 0 || !swr || swr_init(swr) < 0) {
      swr_free(&swr);
      av_channel_layout_uninit(&inLayout);
      return -1;
    }
    resampler.reset(swr);
    resamplerOutChannels = channelsOut;
    resamplerOutRate = outRate;
    resamplerInRate = frame->sample_rate;
    resamplerInChannels = frameChannels;
    resamplerInFormat = audio->sample_fmt;
  }
  av_channel_layout_uninit(&inLayout);
  // The kept settings say how many planes and what sample size the resampler
  // reads; a frame with fewer channels or another sample format would be read
  // past its data, so it fails the conversion (and is played as silence).
  if (frameChannels != resamplerInChannels || frame->format != resamplerInFormat) return -1;

  // Later frames reuse the first frame's settings, whatever their own rate.
  const int64_t capacity =
      av_rescale_rnd(swr_get_delay(resampler.get(), resamplerInRate) + frame->nb_samples,
                     resamplerOutRate, resamplerInRate, AV_ROUND_UP);
  if (capacity <= 0 || capacity > (1 << 24)) return -1;
  out.resize(static_cast<size_t>(capacity) * resamplerOutChannels * 2);
  uint8_t* outPlanes[1] = {out.data()};
  const int converted =
      swr_convert(resampler.get(), outPlanes, static_cast<int>(capacity),
                  const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
  if (converted < 0) {
    out.clear();
    return -1;
  }
  out.resize(static_cast<size_t>(converted) * resamplerOutChannels * 2);
  return static_cast<int>(out.size());
}

void CZovAudioPlay::ApplyGain(uint8_t* data, size_t bytes, double gain) {
  for (size_t i = 0; i + 1 < bytes; i += 2) {
    int16_t s;
    std::memcpy(&s, data + i, 2);
    const double scaled = std::trunc(s * gain);
    const int16_t v = static_cast<int16_t>(std::clamp(scaled, -32768.0, 32767.0));
    std::memcpy(data + i, &v, 2);
  }
}
