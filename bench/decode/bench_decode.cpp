// zov_bench_decode CLIP [RUNS]
// Decodes CLIP's video to the end through the software decoder object
// (ReadPacket + Decode, every item released), then runs
// "ffmpeg -threads T -i CLIP -map 0:v -f null -" with the same decoder thread
// count T, RUNS times each, alternating. Prints the median processor time
// (user + system) of both and their ratio.
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/zov_base_file.h"
#include "engine/zov_time.h"

extern "C" {
#include <libavutil/log.h>
}

extern char** environ;

namespace {

double Seconds(const timeval& tv) { return tv.tv_sec + tv.tv_usec / 1e6; }

double SelfCpu() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return Seconds(ru.ru_utime) + Seconds(ru.ru_stime);
}

struct EngineRun {
  double cpu = 0;
  double wall = 0;
  long frames = 0;
  int threads = 0;
};

EngineRun RunEngine(const char* clip) {
  EngineRun r;
  const double cpu0 = SelfCpu();
  const int32_t wall0 = NowMs();
  CZovBaseFile file;
  if (file.Open(clip) != 1) return r;
  r.threads = file.GetDemuxer()->GetVideoCodecContext()->thread_count;
  for (;;) {
    auto item = std::make_unique<ZovMediaItem>();
    int rc = file.ReadPacket(item.get());
    if (rc == -2) break;
    // Audio would be decoded too when present; the bench clip has none.
    if (rc == 0 && item->type == kZovItemVideo && file.Decode(item.get()) == 0) ++r.frames;
  }
  file.Close();
  r.cpu = SelfCpu() - cpu0;
  r.wall = (NowMs() - wall0) / 1000.0;
  return r;
}

// Runs ffmpeg and returns its processor time, or -1.
double RunFfmpeg(const char* clip, int threads) {
  std::string t = std::to_string(threads);
  std::vector<std::string> args = {"ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin", "-threads", t,
                                   "-i",     clip,           "-map",      "0:v",   "-f",       "null",   "-"};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawnp(&pid, "ffmpeg", nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  rusage ru{};
  if (wait4(pid, &status, 0, &ru) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  return Seconds(ru.ru_utime) + Seconds(ru.ru_stime);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: zov_bench_decode CLIP [RUNS]\n");
    return 2;
  }
  const char* clip = argv[1];
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  av_log_set_level(AV_LOG_ERROR);
  std::vector<double> engine, ffmpeg, wall;
  EngineRun last;
  for (int i = 0; i < runs; ++i) {
    last = RunEngine(clip);
    if (last.threads == 0) {
      std::fprintf(stderr, "cannot open %s\n", clip);
      return 1;
    }
    engine.push_back(last.cpu);
    wall.push_back(last.wall);
    double f = RunFfmpeg(clip, last.threads);
    if (f < 0) {
      std::fprintf(stderr, "ffmpeg failed on %s\n", clip);
      return 1;
    }
    ffmpeg.push_back(f);
  }
  const double e = Median(engine), f = Median(ffmpeg);
  std::printf("clip: %s\n", clip);
  std::printf("decoder threads: %d, runs: %d (medians)\n", last.threads, runs);
  std::printf("engine: %ld frames, %.3f s CPU, %.3f s wall\n", last.frames, e, Median(wall));
  std::printf("ffmpeg: %.3f s CPU\n", f);
  std::printf("ratio engine/ffmpeg: %.3f (target <= 1.10)\n", f > 0 ? e / f : 0.0);
  return 0;
}
