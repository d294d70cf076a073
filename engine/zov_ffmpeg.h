#pragma once
// Owners for FFmpeg objects and the one error-to-text helper of the engine.
#include <memory>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/buffer.h>
#include <libavutil/dict.h>
#include <libavutil/frame.h>
}

struct ZovFrameDeleter {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct ZovPacketDeleter {
  void operator()(AVPacket* p) const { av_packet_free(&p); }  // unrefs too
};
struct ZovCodecContextDeleter {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
// For a context opened with avformat_open_input.
struct ZovInputDeleter {
  void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct ZovBufferDeleter {
  void operator()(AVBufferRef* b) const { av_buffer_unref(&b); }
};
struct ZovDictDeleter {
  void operator()(AVDictionary* d) const { av_dict_free(&d); }
};

using AVFrameUPtr = std::unique_ptr<AVFrame, ZovFrameDeleter>;
using AVPacketUPtr = std::unique_ptr<AVPacket, ZovPacketDeleter>;
using AVCodecContextUPtr = std::unique_ptr<AVCodecContext, ZovCodecContextDeleter>;
using AVFormatInputUPtr = std::unique_ptr<AVFormatContext, ZovInputDeleter>;
using AVBufferRefUPtr = std::unique_ptr<AVBufferRef, ZovBufferDeleter>;
using AVDictionaryUPtr = std::unique_ptr<AVDictionary, ZovDictDeleter>;

// FFmpeg's text for an error code, e.g. "End of file".
std::string ZovAvErrorText(int error);
