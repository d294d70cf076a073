#pragma once
// The parts of one export run shared by its steps: the files written so far
// (removed when the run fails or is cancelled), the cancel flag, progress,
// and the reading of a channel's pieces as one continuous stream.
// Everything here runs on the export's thread.
#include <cmath>
#include <string>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

#include "engine/zov_ffmpeg.h"
#include "export/zov_export.h"

class CZovExportJob {
 public:
  CZovExportJob(const ZovExportRequest& request, const ZovExportPlan& plan, double totalUnits)
      : request_(request), plan_(plan), total_(totalUnits > 0 ? totalUnits : 1) {}

  const ZovExportRequest& Request() const { return request_; }
  const ZovExportPlan& Plan() const { return plan_; }
  const ZovLibrary& Library() const { return *request_.library; }
  const ZovRecording& RecordingOf(const ZovExportPiece& p) const {
    return request_.library->recordings[p.recording];
  }

  bool Cancelled() const {
    return request_.cancel && request_.cancel->load(std::memory_order_relaxed);
  }
  // Progress: `units` done of the current step, which adds `stepUnits` to
  // the total done once finished (EndStep).
  void Progress(double units);
  void EndStep(double stepUnits);

  // A file about to be written: "FOLDER/STEM_SUFFIX"; remembered for removal.
  std::string NewFile(const std::string& suffix);
  const std::vector<std::string>& Files() const { return files_; }
  void RemoveFiles();

  // Writes a whole small file (GPX, CSV, PNG); false with the reason set.
  bool WriteWhole(const std::string& suffix, const std::string& bytes);

  // Sets the reason (the first one wins) and returns false.
  bool Fail(const std::string& reason);
  const std::string& Error() const { return error_; }

 private:
  const ZovExportRequest& request_;
  const ZovExportPlan& plan_;
  double total_;
  double done_ = 0;
  double reported_ = -1;
  std::vector<std::string> files_;
  std::string error_;
};

// Why writing `path` failed, from an FFmpeg error code or an errno value:
// the disk is full, the folder is read-only, or FFmpeg's own text.
std::string ZovWriteErrorText(const std::string& path, int averror);

// An opened recording: its container, the picture stream and the first
// sound stream (-1 when none).
struct ZovOpenedInput {
  AVFormatInputUPtr format;
  int video = -1;
  int audio = -1;
};
// Opens a piece's recording; false with a reason naming the file.
bool ZovOpenInput(const std::string& path, ZovOpenedInput* input, std::string* error);

inline double ZovSeconds(int64_t ts, AVRational tb) { return static_cast<double>(ts) * av_q2d(tb); }

// Decodes the pictures of one channel's pieces in order, from each piece's
// begin to its end, on one continuous time line that starts at 0 at the
// first piece's begin; the sound packets of the first sound stream come
// along on the same time line (the overlay copies them).
class CZovChannelDecoder {
 public:
  explicit CZovChannelDecoder(const CZovExportJob& job, const ZovExportChannel& channel)
      : job_(job), channel_(channel) {}

  enum Result { kFrame, kSound, kEnd, kError };
  // The next picture (in Frame(), at Time() on the output line and
  // CameraTime() on the camera clock) or sound packet (Sound(), its times
  // already on the output line in SoundTimeBase()).
  Result Next();
  AVFrame* Frame() const { return frame_.get(); }
  AVPacket* Sound() const { return sound_.get(); }
  double Time() const { return time_; }
  double CameraTime() const { return cameraTime_; }
  // Of the first piece, once Next has been called.
  const AVCodecParameters* SoundParameters() const;
  AVRational SoundTimeBase() const { return soundTb_; }
  AVRational FrameRate() const { return frameRate_; }
  // Picture size of the first piece, once started.
  int Width() const { return width_; }
  int Height() const { return height_; }
  const std::string& Error() const { return error_; }
  // Opens the first piece (Next does it otherwise); false with Error().
  bool Start();

 private:
  bool OpenPiece(size_t index);
  Result Fail(const std::string& text) {
    error_ = text;
    return kError;
  }

  const CZovExportJob& job_;
  const ZovExportChannel& channel_;
  size_t piece_ = 0;
  bool open_ = false;
  bool draining_ = false;
  bool pieceDone_ = false;
  ZovOpenedInput input_;
  AVCodecContextUPtr decoder_;
  AVFrameUPtr frame_{av_frame_alloc()};
  AVPacketUPtr packet_{av_packet_alloc()};
  AVPacketUPtr sound_{av_packet_alloc()};
  struct ParDeleter {
    void operator()(AVCodecParameters* p) const { avcodec_parameters_free(&p); }
  };
  std::unique_ptr<AVCodecParameters, ParDeleter> soundPar_;  // of the first piece
  AVRational soundTb_{1, 1};
  AVRational frameRate_{30, 1};
  int width_ = 0, height_ = 0;
  double offset_ = 0;    // output time of the current piece's begin
  double lastEnd_ = 0;   // output time just after the last picture given
  double time_ = 0, cameraTime_ = 0;
  std::string error_;
};
