#pragma once
// Decoder objects: tie one recording's demuxer to one render view. The read
// thread calls ReadPacket and Decode (under its state lock); the scheduler
// calls Present (under its state lock); Seek runs on the user-interface thread
// while both workers are paused.
//
//   CZovBaseFile     decode mode 1: software; video decoded in the read thread.
//   CZovD3d11vaFile  decode mode 0: hardware device, video decoded at
//                    presentation time in the scheduler thread.
//   CZovDxvaFile     decode mode 2: hardware demuxer, decoded at presentation
//                    time with frame skipping under load.
// Audio is always decoded in software in the read thread.
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/zov_demuxer.h"
#include "engine/zov_media_queue.h"
#include "engine/zov_render_view.h"

// Keeps one stream's item times continuous. A step from the last time that
// is larger than the limit either way (a clock reset, a damaged time table)
// or that does not advance (every packet stamped 0) is replaced by the
// stream's own step, and later times follow from there.
struct ZovStreamTimeline {
  static constexpr int64_t kNone = INT64_MIN;
  // rawMs: the packet's time; nominalStepMs: the step to use before the
  // stream has shown one of its own; limitMs: the discontinuity limit.
  int64_t Map(int64_t rawMs, int64_t nominalStepMs, int64_t limitMs);
  void Reset() { *this = ZovStreamTimeline(); }
  int64_t lastMs = kNone;
  int64_t offsetMs = 0;
  int64_t stepMs = 0;     // last regular step seen
  int64_t repaired = 0;   // times replaced
};

class CZovBaseFile {
 public:
  // Starting value of both minimum packet intervals: larger than any real
  // frame interval, so the first real gap replaces it.
  static constexpr int kInitialIntervalMs = 200;
  // Formats whose time stamps may jump (transport streams): a step above
  // this is a discontinuity even in a long recording; their steps are a
  // frame or a few hundred ms of buffering.
  static constexpr int64_t kTsDiscontinuityMs = 10000;
  // Step of a picture or sound stream whose own rhythm is unknown (25 fps,
  // one compressed sound frame).
  static constexpr int64_t kFallbackVideoStepMs = 40;
  static constexpr int64_t kFallbackAudioStepMs = 20;

  CZovBaseFile();
  virtual ~CZovBaseFile();
  CZovBaseFile(const CZovBaseFile&) = delete;
  CZovBaseFile& operator=(const CZovBaseFile&) = delete;

  // path: UTF-8. 1 = ready to play, 0 = failed.
  virtual int Open(const char* path, int reserved = 0);
  // Closes the demuxer (the decoder contexts go with it); returns 0.
  virtual int Close();
  // The demuxer's Seek result (0 without a demuxer). Reads the first packets
  // first when no time has been read yet (see LearnFirstTime).
  // keyBefore: to the key frame at or before `ms` (a frame step).
  virtual uint8_t Seek(int64_t ms, bool keyBefore = false);
  // 0 = item filled (type -1 for a packet of another stream, whose packet is
  // discarded); -1 = no packet now; -2 = end of recording.
  virtual int ReadPacket(ZovMediaItem* item);
  // One packet in, at most one frame out: 0 = the item holds a frame, -1 = no
  // frame (the caller releases the item).
  virtual int Decode(ZovMediaItem* item);
  // Shows a video item's picture through the render view.
  virtual int Present(ZovMediaItem* item);

  // True when audio should be the scheduler's master clock: audio packets
  // come closer than 30 ms while video ones are more than 25 ms apart, or the
  // video gap exceeds the audio gap by more than 20 ms; never when the audio
  // interval is -1.
  bool IsAudioMaster() const;
  static bool AudioMasterRule(uint32_t minVideoIntervalMs, int32_t minAudioIntervalMs);
  // The recording has a picture stream.
  bool HasVideo() const;
  // The recording is open and has sound but no picture.
  bool IsSoundOnly() const;
  // The sound is the clock: the audio-master rule holds or there is no picture.
  bool TimedBySound() const { return IsAudioMaster() || IsSoundOnly(); }
  // A step between consecutive items of one stream above this is a
  // discontinuity: the recording's length, and at most kTsDiscontinuityMs for
  // formats with time stamp discontinuities.
  int64_t DiscontinuityLimitMs() const;
  // At the end of input: sends the end of stream to the video decoder (once
  // per open or seek) and appends an item for each picture it still held,
  // timed one frame apart after the last one read. Software path only.
  virtual void DrainVideo(std::vector<ZovMediaItemPtr>* out);

  CZovDemuxer* GetDemuxer() { return demuxer.get(); }

  // Packets read, at most, to learn the first time before a seek.
  static constexpr int kFirstTimeProbePackets = 64;

  std::unique_ptr<CZovDemuxer> demuxer;
  CZovRenderView* renderView = nullptr;  // not owned; set before Open
  // Smallest steps between packet times so far: written by the read thread,
  // read by the scheduler and the user-interface thread (which stream is the
  // master, the end check).
  std::atomic<uint32_t> minVideoIntervalMs{kInitialIntervalMs};
  std::atomic<int32_t> minAudioIntervalMs{kInitialIntervalMs};
  // Time of the last packet of each stream, none before the first (times
  // may be negative: sound priming, reordered pictures before the first).
  std::optional<int32_t> lastAudioTimeMs;
  std::optional<int32_t> lastVideoTimeMs;
  int64_t firstTimeMs = -1;  // meaningful once haveFirstTime (it may be negative)
  bool haveFirstTime = false;
  AVBufferRefUPtr hwDeviceRef;  // hardware device of the mode-0 path
  int32_t channelIndex = 0;     // 0 = main channel (the only one with sound)
  int32_t presentedCount = 0;   // mode-2 path: pictures decoded so far
  int32_t skipLevel = 0;        // mode-2 path: estimated load
  // Why the last Open failed ("" after a successful one): the demuxer's
  // reason, or what is missing for a hardware path.
  std::string openError;
  ZovStreamTimeline videoTimeline;  // read thread only
  ZovStreamTimeline audioTimeline;
  bool videoDrained = false;        // read thread only; reset by Open and Seek
  // Counters for reports (written by the read thread): picture packets whose
  // time was mended (paced by the stream's step from the last plausible
  // time), and of those the ones an edit list had marked not to be shown.
  std::atomic<int64_t> retimedPictures{0};
  std::atomic<int64_t> restoredPictures{0};

 protected:
  // Opens the prepared video and audio decoder contexts of the demuxer (those
  // that exist and are not open yet). False when one cannot be opened.
  bool OpenDecoders(bool video, bool audio);
  // Sends the item's packet to `codec` and receives at most one frame;
  // hardware frames are copied to system memory when `download` is set.
  // Returns the frame or null. The packet is left to the caller.
  AVFrameUPtr DecodeOne(AVCodecContext* codec, AVPacket* packet, bool download);
  // Decodes a video packet at presentation time (hardware paths, scheduler
  // thread) under the demuxer's lock, which a seek on the user-interface
  // thread holds while it flushes the same decoder.
  AVFrameUPtr DecodeVideoAtPresentation(AVPacket* packet);
  // Gives the render view the picture size and sample aspect, when there is a view.
  void GiveViewPictureSize();
  // Forgets the stream times and the drain (open, seek).
  void ResetTimelines();
  // Forgets the first packet's time (open).
  void ForgetFirstTime() {
    firstTimeMs = -1;
    haveFirstTime = false;
  }
  // Reads packets until the first packet's time is known (before a seek).
  void LearnFirstTime();
  // A decoded picture's own time (its time stamp, on the item time scale),
  // or packetTimeMs when it has none or the stream's times were mended.
  int64_t PictureTimeMs(const AVFrame& frame, int64_t packetTimeMs) const;
  // The stream's step before it has shown one: frame rate or packet length.
  int64_t NominalStepMs(bool video, const AVPacket* packet) const;
};
