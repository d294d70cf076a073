// zovplay: a plain window with one pane per channel, side by side.
//
//   zovplay [options] FILE [FILE2 [FILE3]]
//   zovplay [options] FOLDER
//     Space pauses and resumes, Left/Right seek 10 s, Esc quits. A folder is
//     scanned as the library scans a card, and its first drive plays as the
//     player plays one: moment after moment, its channels together.
//   --report            play to the end without waiting for a key, then print
//                       one line of figures per channel and, with sound, the
//                       offset of the pictures from the sound heard; of a
//                       drive, also each channel's pictures across the drive,
//                       the largest gap between moments and the largest
//                       offset between channels
//   --seek-latency N    after 1 s of play, seek N times and print the time from
//                       SeekAll to the first picture of the new position
//   --seek-stall N      after 1 s of play, press the arrow keys N times 100 ms
//                       apart and print how long the window stopped answering
//   --screenshot FILE   save a PNG of the window about 1.5 s into playback
//   --decode-mode M     0 hardware (mode-0 device), 1 software (default), 2
//   --size WxH          window size (default 1280x480)
//   -h, --help / --version: usage or version on standard output, exit 0;
//   a usage error names itself on standard error, exit 2.
#include <sys/resource.h>

#include <QApplication>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <cstring>
#include <string>
#include <vector>

#include "engine/zov_engine.h"
#include "engine/zov_ffmpeg.h"
#include "engine/zov_media_play.h"
#include "engine/zov_report.h"
#include "engine/zov_time.h"
#include "library/zov_drive_plan.h"
#include "library/zov_library_scan.h"
#include "tools/common/zov_tool_cli.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace {

// Number of video packets (pictures) in a recording's chosen video stream.
long CountVideoFrames(const std::string& path) {
  AVFormatContext* raw = nullptr;
  if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) return 0;
  AVFormatInputUPtr ctx(raw);
  long count = 0;
  if (avformat_find_stream_info(ctx.get(), nullptr) >= 0) {
    const int video = av_find_best_stream(ctx.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    AVPacketUPtr packet(av_packet_alloc());
    while (packet && video >= 0 && av_read_frame(ctx.get(), packet.get()) >= 0) {
      if (packet->stream_index == video) ++count;
      av_packet_unref(packet.get());  // the packet is reused for the next read
    }
  }
  return count;
}

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
         usage.ru_stime.tv_usec / 1e6;
}

double PeakRssMiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024.0;  // KiB on Linux
}

struct Options {
  bool report = false;
  int seekLatency = 0;
  int seekStall = 0;
  std::string screenshot;
  int decodeMode = CZovMediaPlay::kDecodeSoftware;
  int speed = 100;  // playback speed in percent
  int width = 1280;
  int height = 480;
  std::vector<std::string> files;
  bool folder = false;  // files[0] is a folder: play its first drive
};

// The first drive of a folder as the player plays it: each moment's played
// channels (main first) and length, and the channels' names by number.
struct FolderDrive {
  std::vector<ZovDriveMoment> moments;
  std::vector<std::string> channelNames;
  std::string problem;
};

FolderDrive FirstDriveOf(const std::string& folder) {
  FolderDrive result;
  ZovScanOptions options;
  options.useIndex = false;  // a tool run leaves the user's index alone
  options.keepTracks = false;
  const ZovLibrary library = ZovScanLibrary({folder}, options);
  if (library.drives.empty()) {
    result.problem = "no drive found";
    return result;
  }
  const ZovDrivePlan plan = ZovPlanDrive(library, library.drives.front());
  for (const ZovPlanMoment& m : plan.moments) {
    ZovDriveMoment moment;
    moment.lengthMs = m.lengthMs;
    const std::vector<ZovPlanChannel> played = ZovPlayedChannels(m);
    for (size_t ch = 0; ch < played.size(); ++ch) {
      moment.paths.push_back(played[ch].path);
      if (result.channelNames.size() <= ch) result.channelNames.push_back(played[ch].key);
    }
    if (!moment.paths.empty()) result.moments.push_back(std::move(moment));
  }
  if (result.moments.empty()) result.problem = "the first drive has no moment";
  return result;
}

const char kUsage[] =
    "usage: zovplay [options] FILE [FILE2 [FILE3]]\n"
    "       zovplay [options] FOLDER\n"
    "Plays up to three channels side by side, with sound from the first; of a folder,\n"
    "its first drive, moment after moment.\n"
    "Space pauses and resumes, Left/Right seek 10 s, . and , step one picture,\n"
    "[ and ] change the speed, Esc quits.\n"
    "  --report            play to the end, then print one line of figures per channel\n"
    "                      and the offset of the pictures from the sound heard; of a\n"
    "                      drive, each channel across it, the largest gap between\n"
    "                      moments and the largest offset between channels\n"
    "  --seek-latency N    after 1 s of play, seek N times (1-1000) and time each seek\n"
    "  --seek-stall N      after 1 s of play, press an arrow key N times (1-1000) 100 ms\n"
    "                      apart and print the longest time the window did not answer\n"
    "  --screenshot FILE   save a PNG of the window about 1.5 s into playback\n"
    "  --decode-mode M     0 hardware (vaapi), 1 software (default), 2 hardware (vdpau)\n"
    "  --size WxH          window size (default 1280x480)\n"
    "  --speed P           playback speed in percent: 25, 50, 100 (default), 150,\n"
    "                      200 or 400\n"
    "  -h, --help          print this help\n"
    "  --version           print the program version\n";

// Parses the command line; returns -1 to go on, or the exit status.
int ParseOptions(int argc, char** argv, Options& o) {
  constexpr const char* kTool = "zovplay";
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    if (a == "-h" || a == "--help") {
      std::fputs(kUsage, stdout);
      return zovtool::kExitOk;
    } else if (a == "--version") {
      zovtool::PrintVersion(kTool);
      return zovtool::kExitOk;
    } else if (a == "--report") {
      o.report = true;
    } else if (a == "--seek-latency") {
      if (!zovtool::ParseInt(value(), 1, 1000, &o.seekLatency))
        return zovtool::UsageError(kTool, "--seek-latency needs a count from 1 to 1000");
    } else if (a == "--seek-stall") {
      if (!zovtool::ParseInt(value(), 1, 1000, &o.seekStall))
        return zovtool::UsageError(kTool, "--seek-stall needs a count from 1 to 1000");
    } else if (a == "--screenshot") {
      const char* v = value();
      if (!v || !*v) return zovtool::UsageError(kTool, "--screenshot needs a file name");
      o.screenshot = v;
    } else if (a == "--decode-mode") {
      if (!zovtool::ParseInt(value(), 0, 2, &o.decodeMode))
        return zovtool::UsageError(kTool, "--decode-mode must be 0, 1 or 2");
    } else if (a == "--speed") {
      const char* v = value();
      const int p = v ? std::atoi(v) : 0;
      if (std::find(CZovEngine::kSpeeds.begin(), CZovEngine::kSpeeds.end(), p) == CZovEngine::kSpeeds.end())
        return zovtool::UsageError(kTool, "--speed must be 25, 50, 100, 150, 200 or 400");
      o.speed = p;
    } else if (a == "--size") {
      if (!zovtool::ParseSize(value(), &o.width, &o.height))
        return zovtool::UsageError(kTool, "--size must be WxH, each from 1 to 16384");
    } else if (a.size() > 1 && a[0] == '-') {
      return zovtool::UsageError(kTool, "unknown option " + a);
    } else {
      o.files.push_back(a);
    }
  }
  if (o.files.empty()) return zovtool::UsageError(kTool, "no FILE given");
  if (o.files.size() > 3) return zovtool::UsageError(kTool, "at most three FILEs");
  std::error_code ec;
  o.folder = std::filesystem::is_directory(o.files[0], ec);
  if (o.folder && o.files.size() > 1) return zovtool::UsageError(kTool, "a FOLDER comes alone");
  return -1;
}

class PlayWindow : public QWidget {
 public:
  PlayWindow(const Options& options, FolderDrive drive) : options_(options), drive_(std::move(drive)) {
    setWindowTitle("zovplay");
    setStyleSheet("background: black;");
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    const size_t paneCount = options.folder ? std::max<size_t>(1, drive_.channelNames.size()) : options.files.size();
    for (size_t i = 0; i < paneCount; ++i) {
      auto* pane = new QWindow();
      pane->setSurfaceType(QSurface::OpenGLSurface);
      panes_.push_back(pane);
      layout->addWidget(QWidget::createWindowContainer(pane, this));
    }
    resize(options.width, options.height);
    auto key = [this](QKeySequence seq, auto fn) {
      auto* s = new QShortcut(seq, this);
      s->setContext(Qt::ApplicationShortcut);
      connect(s, &QShortcut::activated, this, fn);
    };
    key(QKeySequence(Qt::Key_Space), [this] { TogglePause(); });
    key(QKeySequence(Qt::Key_Left), [this] { SeekBy(-10); });
    key(QKeySequence(Qt::Key_Right), [this] { SeekBy(10); });
    key(QKeySequence(Qt::Key_Escape), [] { QApplication::quit(); });
    key(QKeySequence(Qt::Key_Period), [] { CZovMediaPlay::Instance()->StepFrame(+1); });
    key(QKeySequence(Qt::Key_Comma), [] { CZovMediaPlay::Instance()->StepFrame(-1); });
    key(QKeySequence(Qt::Key_BracketLeft), [] { ChangeSpeed(-1); });
    key(QKeySequence(Qt::Key_BracketRight), [] { ChangeSpeed(+1); });
  }

  // Opens and starts the channels once the panes have native windows.
  bool Start() {
    CZovMediaPlay* play = CZovMediaPlay::Instance();
    for (size_t i = 0; i < panes_.size(); ++i) play->renderWindows[i] = panes_[i];
    play->SetDecodeMode(options_.decodeMode);
    play->SetSpeed(options_.speed);
    if (options_.folder) return StartDrive(play);
    const char* f1 = options_.files.size() > 1 ? options_.files[1].c_str() : nullptr;
    const char* f2 = options_.files.size() > 2 ? options_.files[2].c_str() : nullptr;
    if (play->Open(options_.files[0].c_str(), f1, f2) != 0) {
      const CZovBasePlayer* main = play->players[0].get();
      const std::string why = main && main->file ? main->file->openError : std::string();
      std::fprintf(stderr, "zovplay: cannot open %s: %s\n", options_.files[0].c_str(),
                   why.empty() ? "not a playable recording" : why.c_str());
      return false;
    }
    for (const std::string& f : options_.files) videoFrames_.push_back(CountVideoFrames(f));
    cpuStart_ = CpuSeconds();
    wallStart_ = NowMs();
    play->StartAll();
    poll_.setInterval(100);
    connect(&poll_, &QTimer::timeout, this, [this] { Poll(); });
    poll_.start();
    if (!options_.screenshot.empty()) QTimer::singleShot(1500, this, [this] { Screenshot(); });
    if (options_.seekLatency > 0) QTimer::singleShot(1000, this, [this] { RunSeekLatency(); });
    if (options_.seekStall > 0) QTimer::singleShot(1000, this, [this] { RunSeekStall(); });
    return true;
  }

 private:
  bool StartDrive(CZovMediaPlay* play) {
    // Opens and starts the first playable moment.
    if (play->OpenDrive(drive_.moments, 0, 0) != 0) {
      std::fprintf(stderr, "zovplay: no moment of the drive in %s plays\n", options_.files[0].c_str());
      return false;
    }
    // The pictures of each channel number across the drive's moments; the
    // usual lines describe the last moment.
    driveFrames_.assign(drive_.channelNames.size(), 0);
    for (const ZovDriveMoment& m : drive_.moments)
      for (size_t ch = 0; ch < m.paths.size() && ch < driveFrames_.size(); ++ch)
        driveFrames_[ch] += CountVideoFrames(m.paths[ch]);
    for (const std::string& path : drive_.moments.back().paths) videoFrames_.push_back(CountVideoFrames(path));
    cpuStart_ = CpuSeconds();
    wallStart_ = NowMs();
    poll_.setInterval(100);
    connect(&poll_, &QTimer::timeout, this, [this] { Poll(); });
    poll_.start();
    if (!options_.screenshot.empty()) QTimer::singleShot(1500, this, [this] { Screenshot(); });
    return true;
  }

  void DriveReport() {
    CZovMediaPlay* play = CZovMediaPlay::Instance();
    const ZovDriveFigures f = play->DriveFigures();
    for (size_t ch = 0; ch < driveFrames_.size() && ch < f.channels.size(); ++ch)
      std::printf("channel %zu (%s): presented %lld of %ld pictures, dropped %lld\n", ch,
                  drive_.channelNames[ch].c_str(), static_cast<long long>(f.channels[ch].presented),
                  driveFrames_[ch], static_cast<long long>(f.channels[ch].dropped));
    std::printf("moments played %lld of %zu, stepped over %lld\n", static_cast<long long>(f.momentsPlayed),
                drive_.moments.size(), static_cast<long long>(f.momentsSkipped));
    std::printf("largest gap between moments: %lld ms (%lld changes)\n", static_cast<long long>(f.largestGapMs),
                static_cast<long long>(f.changes));
    std::printf("largest offset between channels: %lld ms (mean %.1f ms over %lld pictures)\n",
                static_cast<long long>(f.largestOffsetMs),
                f.offsetsMeasured > 0 ? double(f.offsetSumMs) / double(f.offsetsMeasured) : 0.0,
                static_cast<long long>(f.offsetsMeasured));
  }

  static void ChangeSpeed(int steps) {
    CZovMediaPlay* play = CZovMediaPlay::Instance();
    play->SetSpeed(CZovEngine::NextSpeed(play->speedPercent, steps));
  }

  void TogglePause() {
    CZovMediaPlay* play = CZovMediaPlay::Instance();
    if (play->GetState() == 2)
      play->ResumeAll();
    else if (play->GetState() == 1)
      play->PauseAll();
  }

  // The arrow keys. The position reads a seek's target until it is carried
  // out, so quick presses add up; a paused recording stays paused.
  void SeekBy(int delta) {
    CZovMediaPlay* play = CZovMediaPlay::Instance();
    if (play->GetState() == 0) return;
    int64_t target = std::max<int64_t>(0, play->GetPositionMs() + int64_t(delta) * 1000);
    const int64_t length = int64_t(play->GetDurationSeconds()) * 1000;
    if (length > 0) target = std::min(target, std::max<int64_t>(0, length - 1000));
    play->SeekAll(target);
  }

  void Poll() {
    CZovMediaPlay* play = CZovMediaPlay::Instance();
    play->StepTick();
    for (int ch = 0; ch < play->channelCount; ++ch) {
      CZovBasePlayer* p = play->players[ch].get();
      if (p && p->queue) {
        peakVideoQueue_ = std::max(peakVideoQueue_, int(p->queue->VideoCount()));
        peakAudioQueue_ = std::max(peakAudioQueue_, int(p->queue->AudioCount()));
      }
    }
    const int state = play->GetState();
    if (state != 0) return;
    if (options_.report && !seeking_) {
      poll_.stop();
      Report(true);
      QApplication::quit();
    }
  }

  // playedOut: the recording played to its end; otherwise (a seek run) the
  // pictures it never reached are not counted as vanished.
  void Report(bool playedOut) {
    CZovMediaPlay* play = CZovMediaPlay::Instance();
    const double cpu = CpuSeconds() - cpuStart_;
    const double wall = (NowMs() - wallStart_) / 1000.0;
    for (int ch = 0; ch < play->channelCount; ++ch) {
      CZovBasePlayer* p = play->players[ch].get();
      if (!p || !p->scheduler) continue;
      const ZovChannelFigures f = ZovFiguresOf(*p);
      // vanished: pictures of the file (of those reached, when it did not
      // play to the end) neither shown nor dropped nor skipped (still queued
      // at the end, or lost on the way). yielded: of the dropped, left
      // undrawn while the main channel was late. clock starts: anchors of
      // the channel's clock (the first, then one after each stall).
      const long frames = size_t(ch) < videoFrames_.size() ? videoFrames_[ch] : 0;
      const int64_t vanished = playedOut ? ZovVanished(frames, f) : ZovVanishedSoFar(f);
      std::printf(
          "presented %lld of %ld video frames, dropped %lld, late %lld, vanished %lld, retimed %lld, "
          "skipped %lld, seeks %lld, cpu %.2f s, wall %.2f s, peak rss %.1f MiB, yielded %lld, "
          "clock starts %lld\n",
          static_cast<long long>(f.presented), frames, static_cast<long long>(f.dropped),
          static_cast<long long>(f.late), static_cast<long long>(vanished),
          static_cast<long long>(f.retimed), static_cast<long long>(f.skipped),
          static_cast<long long>(f.seeks), cpu, wall, PeakRssMiB(), static_cast<long long>(f.yielded),
          static_cast<long long>(p->scheduler->reanchors));
    }
    // Picture time minus the sound clock at each picture shown with sound.
    if (CZovBasePlayer* main = play->players[0].get()) {
      const ZovChannelFigures f = ZovFiguresOf(*main);
      if (f.avOffsetCount > 0)
        std::printf("av offset mean %.1f ms, max %lld ms\n", f.avOffsetMeanMs,
                    static_cast<long long>(f.avOffsetMaxMs));
    }
    std::printf("peak queue %d video items, %d audio items\n", peakVideoQueue_, peakAudioQueue_);
    if (options_.folder) DriveReport();
    std::fflush(stdout);
  }

  void Screenshot() {
    QScreen* screen = windowHandle() ? windowHandle()->screen() : QGuiApplication::primaryScreen();
    const QRect area(mapToGlobal(QPoint(0, 0)), size());
    const QPixmap shot = screen->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    if (!shot.save(QString::fromStdString(options_.screenshot)))
      std::fprintf(stderr, "zovplay: cannot write %s\n", options_.screenshot.c_str());
  }

  // Seeks to spread-out seconds and times each one: from the SeekAll call to
  // the first picture presented from the new position.
  void RunSeekLatency() {
    CZovMediaPlay* play = CZovMediaPlay::Instance();
    CZovBasePlayer* main = play->players[0].get();
    if (!main || !main->scheduler) return;
    seeking_ = true;
    const int duration = std::max(4, play->GetDurationSeconds());
    std::vector<int> latencies;
    for (int i = 0; i < options_.seekLatency; ++i) {
      const int target = 2 + (i * 7919) % (duration - 3);
      CZovBaseCheduler* s = main->scheduler.get();
      const int32_t t0 = NowMs();
      play->SeekAll(int64_t(target) * 1000);
      int latency = -1;
      while (NowMs() - t0 < 5000) {
        const int32_t media = s->lastVideoMediaMs;
        const int32_t wall = s->lastVideoWallMs;
        if (wall >= t0 && media >= target * 1000 - 1500 && media <= target * 1000 + 1500) {
          latency = wall - t0;
          break;
        }
        SleepMs(1);
      }
      latencies.push_back(latency);
      std::printf("seek %d to %d s: %d ms\n", i + 1, target, latency);
      SleepMs(300);  // let it play a moment before the next seek
    }
    std::vector<int> sorted = latencies;
    std::sort(sorted.begin(), sorted.end());
    if (!sorted.empty())
      std::printf("seek latency median %d ms over %zu seeks\n", sorted[sorted.size() / 2],
                  sorted.size());
    EndSeekRun();
  }

  // After a seek measurement: play on, or with --report end with the report.
  void EndSeekRun() {
    std::fflush(stdout);
    seeking_ = false;
    if (options_.report) {
      poll_.stop();
      Report(false);
      QApplication::quit();
    }
  }

  // Arrow presses 100 ms apart, three right then three left, so the position
  // stays inside the recording. A 5 ms heartbeat timer measures how long the
  // event loop went unanswered; each press is timed as well.
  void RunSeekStall() {
    seeking_ = true;
    heartbeat_.setInterval(kHeartbeatMs);
    lastBeat_ = NowMs();
    connect(&heartbeat_, &QTimer::timeout, this, [this] {
      const int32_t now = NowMs();
      longestGap_ = std::max(longestGap_, now - lastBeat_);
      lastBeat_ = now;
    });
    heartbeat_.start();
    presses_.setInterval(kPressGapMs);
    connect(&presses_, &QTimer::timeout, this, [this] { Press(); });
    presses_.start();
  }

  void Press() {
    if (pressed_ == options_.seekStall) {
      presses_.stop();
      heartbeat_.stop();
      std::sort(pressMs_.begin(), pressMs_.end());
      const long slow = std::count_if(pressMs_.begin(), pressMs_.end(), [](int ms) { return ms > 50; });
      std::printf("seek stall: %d presses %d ms apart, press median %d ms, longest %d ms, %ld over 50 ms, "
                  "longest unanswered %d ms\n",
                  options_.seekStall, kPressGapMs, pressMs_[pressMs_.size() / 2], pressMs_.back(), slow,
                  longestGap_);
      EndSeekRun();
      return;
    }
    const int32_t start = NowMs();
    SeekBy((pressed_ / 3) % 2 == 0 ? 10 : -10);
    pressMs_.push_back(NowMs() - start);
    ++pressed_;
  }

  static constexpr int kHeartbeatMs = 5;
  static constexpr int kPressGapMs = 100;

  Options options_;
  FolderDrive drive_;
  std::vector<long> driveFrames_;
  std::vector<QWindow*> panes_;
  QTimer heartbeat_;
  QTimer presses_;
  int32_t lastBeat_ = 0;
  int32_t longestGap_ = 0;
  int pressed_ = 0;
  std::vector<int> pressMs_;
  std::vector<long> videoFrames_;
  QTimer poll_;
  double cpuStart_ = 0;
  int32_t wallStart_ = 0;
  int peakVideoQueue_ = 0;
  int peakAudioQueue_ = 0;
  bool seeking_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  // The command line is read before the application object, which needs a
  // display: help, version and usage errors work without one.
  Options options;
  const int status = ParseOptions(argc, argv, options);
  if (status >= 0) return status;
  // A path that is not a readable regular file is refused before any window.
  FolderDrive drive;
  if (options.folder) {
    drive = FirstDriveOf(options.files[0]);
    if (!drive.problem.empty()) {
      std::fprintf(stderr, "zovplay: %s: %s\n", options.files[0].c_str(), drive.problem.c_str());
      return zovtool::kExitFailed;
    }
  }
  for (const std::string& f : options.folder ? std::vector<std::string>{} : options.files) {
    const std::string problem = CZovDemuxer::PathProblem(f.c_str());
    if (!problem.empty()) {
      std::fprintf(stderr, "zovplay: cannot open %s: %s\n", f.c_str(), problem.c_str());
      return zovtool::kExitFailed;
    }
  }
  QApplication app(argc, argv);
  PlayWindow window(options, std::move(drive));
  window.show();
  QApplication::processEvents();
  if (!window.Start()) return 1;
  const int rc = app.exec();
  CZovMediaPlay::Instance()->StopAll();
  return rc;
}
