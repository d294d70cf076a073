#pragma once
// The engine as the windows see it: the one header of engine/ that the
// windows (app/, ui/) include. Everything behind it (players, queues,
// workers, demuxers, views) is private to engine/.
//
// One CZovEngine drives one media-play manager: the process-wide one (Get),
// or one a test owns. Every call is made on the user-interface thread; none
// sleeps, and none waits on a worker except Stop and a new Open (which stop
// the workers of the recording before).
//
// Times cross this interface in milliseconds from the recording's first
// packet, and a seek target is converted to the container's time base in one
// place only (the demuxer), so a target means the same from the seek bar,
// the arrow keys and the tools.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include <QImage>
#include <QRect>

#include "engine/zov_drive_types.h"
#include "engine/zov_report.h"
#include "engine/zov_time.h"  // NowMs, the clock the windows time their own steps with

class CZovMediaPlay;
class CZovDemuxer;
class QWindow;

enum class ZovPlayState { kStopped = 0, kPlaying = 1, kPaused = 2 };

// Where one channel of the open recording is: not open, playing (or paused),
// played out to its end, or unplayable (its file did not open, or it ended
// without showing a picture).
enum class ZovChannelState { kNone = 0, kPlaying = 1, kEnded = 2, kFailed = 3 };

// A channel's next picture, converted to 24-bit BGR rows (width * 3 bytes,
// no padding), with its sample aspect ratio.
struct ZovStill {
  std::vector<uint8_t> bgr;
  int width = 0;
  int height = 0;
  int sarNum = 1;
  int sarDen = 1;
};

// The picture a channel's view shows, and where it lies in a pane of the
// size asked for (the view draws it at its display aspect, centred).
struct ZovShownPicture {
  QImage picture;
  QRect rect;
};

// What the main channel's file is (for the file information view).
struct ZovMediaInfo {
  bool open = false;
  int durationSeconds = 0;
  int width = 0;
  int height = 0;
  int64_t bitRate = 0;  // 0 when the container does not say
  int frameRate = 0;
  std::string audioCodec;
  std::string videoCodec;
  std::string pixelFormat;  // the media library's name; empty when unknown
  bool hardware = false;
};

class CZovEngine {
 public:
  static constexpr int kMaxChannels = 3;
  // Decode modes: 0 hardware (mode-0 device), 1 software, other: mode-2 device.
  static constexpr int kDecodeHardware = 0;
  static constexpr int kDecodeSoftware = 1;

  // The process-wide engine.
  static CZovEngine& Get();
  // An engine over `play` (tests own their manager); `play` outlives it.
  explicit CZovEngine(CZovMediaPlay* play);

  // Settings that the next Open takes.
  void SetDecodeMode(int mode);
  int DecodeMode() const;
  // The windows channels 0..2 draw into (null: none).
  void SetChannelWindows(const std::array<QWindow*, 4>& windows);
  QWindow* ChannelWindow(int channel) const;
  // Forgets every channel window among `windows` (they are going away).
  void ForgetWindows(const std::array<QWindow*, 4>& windows);
  // Sound of the main channel, now and for later recordings.
  void SetVolume(int value);
  void SetMute(bool flag);

  // Opens one moment's channels: up to three paths, the main channel first
  // (the others are optional and may fail: they then show nothing). Stops
  // whatever played before. False when the main channel cannot be opened.
  bool Open(const std::vector<std::string>& paths);
  // Opens a drive: its moments one after the other on one clock (each up to
  // three paths, main channel first, and its length), and starts playing
  // `moment` at `withinMs` into it; a moment whose main channel cannot be
  // opened is stepped over. Only the playing moment and the next are open
  // at any time: near the end of a moment the next one is opened and its
  // first pictures decoded, and it takes the panes within a frame of the
  // last picture of the one before. While a drive is open, PositionMs,
  // LengthMs and Seek read the drive clock, and State is stopped only at the
  // end of the drive. False when no moment from `moment` on can be opened.
  bool OpenDrive(const std::vector<ZovDriveMoment>& moments, size_t moment, int64_t withinMs);
  bool IsDrive() const;
  // The moment playing (its index in the moments given to OpenDrive).
  size_t DriveMoment() const;
  // What the drive played so far (the report figures across its moments).
  ZovDriveFigures DriveFigures() const;
  // Starts an opened recording, or resumes a paused one.
  void Play();
  void Pause();
  // Asks every channel to seek to `ms` from the start; returns at once.
  // Requests that come before the last was carried out coalesce to the last.
  void Seek(int64_t ms);
  // Stops and closes every channel; returns once their workers have ended.
  void Stop();
  // One picture forward (direction > 0) or back, every channel together,
  // exactly (from the key frame at or before it), also across the moments
  // of a drive; a playing recording pauses first. Returns at once; State
  // follows the step. A step asked while one is carried out replaces the
  // one waiting (the last wins), so held keys never queue a backlog.
  void StepFrame(int direction);
  // True while a frame step is carried out.
  bool Stepping() const;
  // Playback speed in percent: the speeds offered are kSpeeds. Every
  // channel's clock runs that fast; sound keeps its pitch up to 200 and is
  // silent beyond. Kept across seeks, moments and new recordings.
  static constexpr std::array<int, 6> kSpeeds{25, 50, 100, 150, 200, 400};
  void SetSpeed(int percent);
  int Speed() const;
  // The speed of kSpeeds `steps` places from `percent` (clamped to the ends).
  static int NextSpeed(int percent, int steps);

  // True from Play until Stop (or a failed Open): a recording is started.
  bool IsStarted() const;
  // Stopped (also at the end of the recording), playing or paused. Each
  // call also makes the end-of-recording check.
  ZovPlayState State();
  // Channels open (0 once stopped).
  int ChannelCount() const;
  // The main channel's position (while a seek waits: its target) and length,
  // in ms; of a drive, on the drive clock. The position is -1 when no
  // channel plays.
  int64_t PositionMs() const;
  int64_t LengthMs() const;
  // A recording that plays past its length has it grown (whole seconds).
  void GrowLength(int64_t ms);

  // A copy of channel `channel`'s next picture, converted; false when it has
  // none queued.
  bool StillOf(int channel, ZovStill* still) const;
  // Pictures channel `channel` has presented so far (a still shows until it moves).
  int64_t PresentedCount(int channel) const;
  // What channel `channel`'s view shows, laid out in a pane of width x height.
  ZovShownPicture ShownPicture(int channel, int width, int height) const;
  // Channel `channel`'s state; each call also makes its end check (as State
  // does for the main channel), so a channel that ran out shows as ended.
  ZovChannelState ChannelState(int channel);
  // The channel's report counters.
  ZovChannelFigures Counters(int channel) const;
  // The main channel's file, as a handle for the file information view
  // (null when nothing is open), and what it is.
  CZovDemuxer* MainMedia() const;
  static ZovMediaInfo MediaInfoOf(CZovDemuxer* media);
  // Where a picture of width x height at sample aspect sarNum:sarDen lies in
  // a client area, as the channel views draw it (display aspect, centred).
  static QRect PictureRect(int clientWidth, int clientHeight, int width, int height, int sarNum, int sarDen);

 private:
  CZovMediaPlay* play_;
};
