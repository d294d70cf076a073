#pragma once
// Opens one recording, chooses the video and audio streams, reads packets with
// millisecond time stamps, seeks, and keeps the media information that the
// file information view shows.
//
// Threads: Open/Close/RefreshMediaInfo run on the opening thread; ReadPacket
// on the read thread (inside its state lock); Seek on the user-interface thread
// while the workers are paused. `lock` (recursive) covers the format and codec
// contexts during open, close, read and seek; it is the innermost lock.
// The media information fields are written during Open/RefreshMediaInfo and
// read afterwards without the lock; only positionMs and durationSeconds change
// later, so those two are atomics.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "engine/zov_ffmpeg.h"

class CZovDemuxer {
 public:
  // Duration shown when the container reports none or an implausible one.
  static constexpr int kFallbackDurationSeconds = 600;
  static constexpr int kMaxDurationSeconds = 7199;
  // Provisional durations until RefreshMediaInfo knows the real one.
  static constexpr int kProvisionalDiscontSeconds = 10;  // e.g. transport streams
  static constexpr int kProvisionalSeconds = 3600;
  // Seek flags: backward + frame when going back, backward + any otherwise.
  static constexpr int kSeekFlagsBackward = AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_FRAME;
  static constexpr int kSeekFlagsForward = AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_ANY;

  CZovDemuxer();
  virtual ~CZovDemuxer();
  CZovDemuxer(const CZovDemuxer&) = delete;
  CZovDemuxer& operator=(const CZovDemuxer&) = delete;

  // path: UTF-8, handed unchanged to libavformat. Prepares (does not open)
  // the decoder contexts of the chosen streams. A recording needs a picture
  // or a sound stream; a path that is not a readable regular file is refused
  // before anything reads from it (openError says why).
  virtual bool Open(const char* path);
  // Why `path` cannot be a recording ("missing", "not a regular file",
  // "permission denied", "empty"), or "" when it may be opened. Never blocks:
  // a named pipe or a device is refused without opening it.
  static std::string PathProblem(const char* path);
  // Releases everything Open created; the object can be opened again.
  virtual void Close();
  virtual uint8_t IsOpened();
  // Jumps to `ms` into the recording, counted from the first packet (the one
  // place a seek target is turned into the stream's time base). keyBefore:
  // to the key frame at or before `ms` whichever way it goes (a frame step).
  virtual bool Seek(int64_t ms, bool keyBefore = false);
  // 0 = packet read (pts/dts now in ms); -1 = no packet (end met now, or
  // nothing to deliver); -2 = the input reported an I/O error.
  virtual int ReadPacket(AVPacket* packet);
  virtual bool IsEof();

  // Re-reads the media information from the (opened) codec contexts.
  void RefreshMediaInfo();
  AVCodecContext* GetVideoCodecContext() { return videoCodecContext.get(); }
  AVCodecContext* GetAudioCodecContext() {
    return formatContext ? audioCodecContext.get() : nullptr;
  }

  // The container time in ms that Seek(ms) aims at: the requested offset
  // (never before the start) from the first packet.
  static int64_t SeekTargetMs(int64_t ms, int32_t firstTimestampMs);
  // The duration rule: the container's duration (microseconds) rounded to
  // seconds when it differs from start_time, else `current`; then anything
  // below 1 or above kMaxDurationSeconds becomes kFallbackDurationSeconds.
  static int32_t DurationRule(int64_t durationUs, int64_t startTimeUs, int32_t current);
  // The playable end (ms from the stream's start) of a recording cut short:
  // its index promises samples whose data lies beyond the end of the file
  // (the first part of a file whose index is written first). `entries` are
  // the stream's index entries in order (byte position, size, time in ms
  // from its start); -1 when the file holds them all.
  struct IndexEntryMs {
    int64_t pos;
    int64_t size;
    int64_t timeMs;
  };
  static int64_t CutShortEndMs(const IndexEntryMs* entries, size_t count, int64_t fileSize);
  // Decoder threads for a machine with `processors` logical processors.
  static int DecoderThreadCount(unsigned processors);
  // Converts a stream time stamp to ms (truncated), clamped to the int64 range.
  static int64_t ToMs(int64_t value, AVRational timeBase);
  // Decode time (ms) of a picture packet that came without one. Containers
  // that store presentation times only (Matroska, WebM) leave the first
  // `reorderDepth` packets after an open or a seek without one; their
  // presentation times run in display order, not in decode order. The first
  // packet (a key frame) decodes `reorderDepth` steps before it is shown; a
  // later one a step after the last decode time, never later than its own
  // presentation time and always after the last decode time.
  static int64_t EstimateDecodeTimeMs(int64_t ptsMs, int64_t lastDtsMs, int64_t stepMs, int reorderDepth);
  static constexpr int64_t kNoTime = INT64_MIN;

  std::recursive_mutex lock;
  std::atomic<uint8_t> opened{0};
  std::atomic<int32_t> eof{0};
  int32_t width = 0;
  int32_t height = 0;
  int32_t videoCodecId = 0;
  int32_t audioCodecId = 0;
  int32_t hardwareFlag = 0;  // 1: a hardware path sets up the video context
  int32_t bitRate = 0;
  int32_t frameRate = 0;
  int32_t pixelFormat = -1;
  char videoCodecName[128] = {};
  char audioCodecName[128] = {};
  int32_t audioCodecId2 = 0;
  int32_t sampleFormat = -1;
  int32_t sampleRate = 0;
  int32_t channelLayout = 0;
  int32_t channels = 0;
  std::atomic<int32_t> positionMs{0};  // pts (ms) of the last video packet read
  std::atomic<int32_t> durationSeconds{1};
  int32_t decodeTimeSum = 30;  // frame-skipping accumulators of the
  int32_t renderTimeSum = 1;   // hardware presenting path
  int32_t firstTimestampMs = 0;  // written by the decoder object
  AVFormatInputUPtr formatContext;
  AVCodecContextUPtr videoCodecContext;
  AVCodecContextUPtr audioCodecContext;
  AVBufferRefUPtr hwDeviceRef;
  int32_t videoStreamIndex = -1;
  int32_t audioStreamIndex = -1;

  // What the last Seek asked libavformat for (for the information view and
  // tests): target container second and flags; -1 before any seek.
  int64_t lastSeekMs = -1;
  int lastSeekFlags = -1;
  // Why the last Open failed, for the tools and the play window ("" after a
  // successful open).
  std::string openError;
  // Picture packets whose decode time was estimated (for reports and tests).
  std::atomic<int64_t> estimatedDecodeTimes{0};

 protected:
  // Sets the packet's pts/dts to ms and tracks positionMs. A packet without
  // pts gets 0/0 and leaves positionMs as it is.
  void ApplyPacketTimes(AVPacket* packet);
  // CutShortEndMs for the chosen picture stream (sound without one) of the
  // opened file, -1 when it is whole or has no index.
  int64_t PlayableEndMs() const;
  // Frame rate of stream `index` from avg_frame_rate, else r_frame_rate;
  // `current` when neither has a positive denominator.
  int32_t StreamFrameRate(int index, int32_t current) const;
  // Length of one picture of the video stream in ms: the packet's own
  // duration, else the stream's frame rate, else 40 (25 fps).
  int64_t VideoStepMs(const AVPacket* packet) const;

  // Decode time of the last picture packet read (ms), kNoTime after an open
  // or a seek. Guarded by lock.
  int64_t lastVideoDtsMs_ = kNoTime;
  // The playable end of a recording cut short (ms), -1 for a whole one;
  // found at open.
  int64_t playableEndMs_ = -1;
};
