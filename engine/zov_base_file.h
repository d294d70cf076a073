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
#include <cstdint>
#include <memory>

#include "engine/zov_demuxer.h"
#include "engine/zov_media_queue.h"
#include "engine/zov_render_view.h"

class CZovBaseFile {
 public:
  // Starting value of both minimum packet intervals.
  static constexpr int kInitialIntervalMs = 200;

  CZovBaseFile();
  virtual ~CZovBaseFile();
  CZovBaseFile(const CZovBaseFile&) = delete;
  CZovBaseFile& operator=(const CZovBaseFile&) = delete;

  // path: UTF-8. 1 = ready to play, 0 = failed.
  virtual int Open(const char* path, int reserved = 0);
  // Closes the demuxer (the decoder contexts go with it); returns 0.
  virtual int Close();
  // The demuxer's Seek result (0 without a demuxer).
  virtual uint8_t Seek(int seconds);
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

  CZovDemuxer* GetDemuxer() { return demuxer.get(); }

  std::unique_ptr<CZovDemuxer> demuxer;
  CZovRenderView* renderView = nullptr;  // not owned; set before Open
  uint32_t minVideoIntervalMs = kInitialIntervalMs;
  int32_t minAudioIntervalMs = kInitialIntervalMs;
  int32_t lastAudioTimeMs = -1;
  int32_t lastVideoTimeMs = -1;
  int64_t firstTimeMs = -1;
  AVBufferRefUPtr hwDeviceRef;  // hardware device of the mode-0 path
  int32_t channelIndex = 0;     // 0 = main channel (the only one with sound)
  int32_t presentedCount = 0;   // mode-2 path: pictures decoded so far
  int32_t skipLevel = 0;        // mode-2 path: estimated load

 protected:
  // Opens the prepared video and audio decoder contexts of the demuxer (those
  // that exist and are not open yet). False when one cannot be opened.
  bool OpenDecoders(bool video, bool audio);
  // Sends the item's packet to `codec` and receives at most one frame;
  // hardware frames are copied to system memory when `download` is set.
  // Returns the frame or null. The packet is left to the caller.
  AVFrame* DecodeOne(AVCodecContext* codec, AVPacket* packet, bool download);
  // Decodes a video packet at presentation time (hardware paths, scheduler
  // thread) under the demuxer's lock, which a seek on the user-interface
  // thread holds while it flushes the same decoder.
  AVFrame* DecodeVideoAtPresentation(AVPacket* packet);
  // Gives the render view the picture size, when there is a view.
  void GiveViewPictureSize();
};
