// The whole player (application object, main window, map page, play window)
// started on one recording, as `tamarinsoft FILE` starts it, with a poller
// that reports:
//   first picture   ms from process creation to the first picture presented
//   track on map    ms from process creation to the track line on the map page
//                   (--startup runs only: the question is work for the page)
//   playback        frames presented of the file's, and the CPU seconds of
//                   the process and every process it started (the browser's
//                   helpers) from the first picture to the end of playback
// usage: zov_bench_player [--startup] FILE|FOLDER
//   --startup  end once the first picture and the track are there
#include <dirent.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QTimer>
#include <QWebEngineView>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/zov_play_app.h"
#include "app/zov_play_dialog_transport.h"
#include "app/zov_play_dlg.h"
#include "engine/zov_engine.h"
#include "library/zov_file_list_store.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace {

// Poll period of the measurements (it must see the engine stopped at the end
// before the play window closes the channels).
constexpr int kPollMs = 10;
// The whole run is given up after this long.
constexpr int64_t kGiveUpMs = 120000;
// Start-up runs ask the map page whether the track is drawn this often (each
// question is work for the page, so never in the runs that measure CPU).
constexpr int64_t kAskEveryMs = 50;

// Milliseconds between the process's creation and the engine clock's zero
// (the dynamic loading of the libraries happens before the clock starts).
int64_t LoadTimeMs() {
  std::ifstream stat("/proc/self/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const auto close = text.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream rest(text.substr(close + 2));
  std::string field;
  for (int i = 0; i < 19; ++i) rest >> field;  // state .. itrealvalue
  long long startTicks = 0;
  rest >> startTicks;
  timespec boot{};
  clock_gettime(CLOCK_BOOTTIME, &boot);
  const int64_t nowMs = int64_t(boot.tv_sec) * 1000 + boot.tv_nsec / 1000000;
  const int64_t startMs = startTicks * 1000 / sysconf(_SC_CLK_TCK);
  return nowMs - startMs - NowMs();
}

// utime + stime (seconds) of `root` and of each of its descendants, by pid.
std::map<pid_t, double> TreeCpu(pid_t root) {
  std::map<pid_t, pid_t> parent;
  std::map<pid_t, double> cpu;
  const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
  DIR* proc = opendir("/proc");
  if (!proc) return {};
  while (dirent* entry = readdir(proc)) {
    const pid_t pid = static_cast<pid_t>(std::atoi(entry->d_name));
    if (pid <= 0) continue;
    std::ifstream stat("/proc/" + std::string(entry->d_name) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const auto close = text.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream rest(text.substr(close + 2));
    std::string state;
    long long ppid = 0, skip = 0, utime = 0, stime = 0;
    rest >> state >> ppid;
    for (int i = 0; i < 9; ++i) rest >> skip;  // pgrp .. cmajflt
    rest >> utime >> stime;
    parent[pid] = static_cast<pid_t>(ppid);
    cpu[pid] = (utime + stime) / tick;
  }
  closedir(proc);
  std::map<pid_t, double> tree;
  for (const auto& [pid, seconds] : cpu) {
    for (pid_t p = pid; p > 1; p = parent.count(p) ? parent[p] : 0) {
      if (p == root) {
        tree[pid] = seconds;
        break;
      }
    }
  }
  return tree;
}

// CPU seconds the tree used since `start`, process by process: a helper that
// ended meanwhile takes its whole count with it, so a plain difference of
// sums would subtract it; it is left out instead (what it used after `start`
// is lost, so the figure errs low, never high).
double TreeCpuSince(const std::map<pid_t, double>& start, pid_t root) {
  double total = 0;
  for (const auto& [pid, seconds] : TreeCpu(root)) {
    const auto before = start.find(pid);
    total += seconds - (before == start.end() ? 0.0 : before->second);
  }
  return total;
}

long CountVideoFrames(const std::string& path) {
  AVFormatContext* ctx = nullptr;
  if (avformat_open_input(&ctx, path.c_str(), nullptr, nullptr) < 0) return 0;
  long count = 0;
  if (avformat_find_stream_info(ctx, nullptr) >= 0) {
    const int video = av_find_best_stream(ctx, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    AVPacket* packet = av_packet_alloc();
    while (video >= 0 && av_read_frame(ctx, packet) >= 0) {
      if (packet->stream_index == video) ++count;
      av_packet_unref(packet);
    }
    av_packet_free(&packet);
  }
  avformat_close_input(&ctx);
  return count;
}

// CPU seconds of this process alone (its browser helpers left out).
double OwnCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

class Poller : public QObject {
 public:
  Poller(std::string path, int64_t loadMs, bool startOnly)
      : path_(std::move(path)), loadMs_(loadMs), startOnly_(startOnly) {
    timer_.callOnTimeout([this] { Poll(); });
    timer_.start(kPollMs);
  }

 private:
  void Poll() {
    const int64_t now = NowMs();
    if (now > kGiveUpMs) Finish("gave up");
    CZovEngine& engine = CZovEngine::Get();
    if (engine.ChannelCount() > 0) {
      const ZovChannelFigures figures = engine.Counters(0);
      if (figures.presented > 0 && firstPictureMs_ < 0) {
        firstPictureMs_ = now;
        cpuStart_ = TreeCpu(getpid());
        ownStart_ = OwnCpuSeconds();
      }
      lastPresented_ = std::max(lastPresented_, figures.presented);
      lastDropped_ = std::max(lastDropped_, figures.dropped);
      lastLate_ = std::max(lastLate_, figures.late);
      if (firstPictureMs_ >= 0 && engine.IsStarted() && engine.State() == ZovPlayState::kStopped) Finish("end");
    } else if (firstPictureMs_ >= 0) {
      Finish("stopped");
    }
    if (startOnly_ && trackMs_ < 0 && now - askedMs_ >= kAskEveryMs) AskForTrack(now);
    if (startOnly_ && firstPictureMs_ >= 0 && trackMs_ >= 0) Finish("start-up measured");
  }

  // The page sets the start mark right after it draws the track line. A
  // question put to the page before it has loaded is never answered (the
  // load replaces the document it was meant for), so questions go on at
  // intervals, answered or not; a late answer does no harm.
  // The map's view is the web view showing a page.
  void AskForTrack(int64_t now) {
    for (QWidget* widget : QApplication::allWidgets()) {
      auto* view = qobject_cast<QWebEngineView*>(widget);
      if (!view || view->url().isEmpty()) continue;
      askedMs_ = now;
      view->page()->runJavaScript(
          "document.querySelectorAll('.zov-start').length",
          [this](const QVariant& result) {
            if (result.toInt() > 0 && trackMs_ < 0) trackMs_ = NowMs();
          });
      return;
    }
  }

  void Finish(const char* how) {
    const double cpu = firstPictureMs_ >= 0 ? TreeCpuSince(cpuStart_, getpid()) : 0.0;
    const double wall = (NowMs() - firstPictureMs_) / 1000.0;
    std::printf("first picture %lld ms\n", static_cast<long long>(firstPictureMs_ + loadMs_));
    if (startOnly_) std::printf("track on map %lld ms\n", static_cast<long long>(trackMs_ < 0 ? -1 : trackMs_ + loadMs_));
    CZovEngine& engine = CZovEngine::Get();
    if (engine.IsDrive()) {
      // A folder played as a drive: each channel across its moments.
      const ZovDriveFigures drive = engine.DriveFigures();
      for (size_t i = 0; i < drive.channels.size(); ++i)
        if (drive.channels[i].presented > 0)
          std::printf("channel %zu: presented %lld, dropped %lld\n", i,
                      static_cast<long long>(drive.channels[i].presented),
                      static_cast<long long>(drive.channels[i].dropped));
      std::printf("drive: moments %lld, cpu %.2f s (player process %.2f s), wall %.2f s (%s)\n",
                  static_cast<long long>(drive.momentsPlayed), cpu, OwnCpuSeconds() - ownStart_, wall, how);
    } else {
      std::printf("presented %lld of %ld video frames, dropped %lld, late %lld, cpu %.2f s, wall %.2f s (%s)\n",
                  static_cast<long long>(lastPresented_), CountVideoFrames(path_),
                  static_cast<long long>(lastDropped_), static_cast<long long>(lastLate_), cpu, wall, how);
    }
    std::fflush(stdout);
    std::_Exit(0);
  }

  std::string path_;
  int64_t loadMs_;
  bool startOnly_;
  QTimer timer_;
  int64_t firstPictureMs_ = -1;
  int64_t trackMs_ = -1;
  int64_t lastPresented_ = 0;
  int64_t lastDropped_ = 0;
  int64_t lastLate_ = 0;
  std::map<pid_t, double> cpuStart_;
  double ownStart_ = 0;
  int64_t askedMs_ = -kAskEveryMs;  // when the last question went to the page
};

}  // namespace

int main(int argc, char** argv) {
  const bool startOnly = argc == 3 && std::string(argv[1]) == "--startup";
  if (argc != 2 && !startOnly) {
    std::fprintf(stderr, "usage: zov_bench_player [--startup] FILE\n");
    return 2;
  }
  const int64_t loadMs = LoadTimeMs();
  // The file as tamarinsoft's command line gives it: an absolute path; a
  // folder (a card) as it is, for the library to scan and play its first drive.
  std::error_code error;
  const std::filesystem::path given(argv[argc - 1]);
  const std::vector<std::string> files =
      std::filesystem::is_directory(given, error)
          ? std::vector<std::string>{std::filesystem::absolute(given, error).lexically_normal().string()}
          : zov_play::ExpandCommandLine({argv[argc - 1]}, CZovFileListStore::IsMediaExtension);
  if (files.empty()) return 2;
  int appArgc = 1;
  CZovPlayApp player(appArgc, argv);  // makes the QApplication
  player.SetStartFiles(files);
  std::unique_ptr<Poller> poller;
  // Where the start-up's time goes, on stderr: each step's ms since process creation.
  player.onStep = [loadMs](const char* step) {
    std::fprintf(stderr, "step %-24s %lld ms\n", step, static_cast<long long>(NowMs() + loadMs));
  };
  player.onMainWindow = [&](CZovPlayDlg*) {
    poller = std::make_unique<Poller>(files.front(), loadMs, startOnly);
  };
  return player.InitInstance();
}
