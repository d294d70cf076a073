// zov_bench_gps FILE [RUNS]: times ExtractGps on FILE (warm cache: one untimed
// run first), then prints the fastest and median wall time, the fix count,
// the throughput over the file size and the process's peak resident memory.
// zov_bench_gps --attach DAYLOG [RUNS]: times reading a day log (or GPX
// track) once and cutting it to one recording a minute over its whole span
// (1,440 for a day), as the recording library does.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "gps/zov_gps_extractor.h"
#include "gps/zov_gps_side_file.h"
#include "gps/zov_gps_timeline.h"

static long PeakRssKiB() {
  std::ifstream status("/proc/self/status");
  std::string key;
  long value = 0;
  while (status >> key) {
    if (key == "VmHWM:") {
      status >> value;
      return value;
    }
    status.ignore(4096, '\n');
  }
  return -1;
}

static int Attach(const std::string& path, int runs) {
  std::vector<double> ms;
  size_t lines = 0, recordings = 0, placed = 0;
  for (int i = 0; i <= runs; ++i) {  // the first run warms the cache
    const auto t0 = std::chrono::steady_clock::now();
    ZovSideTrack log;
    if (!ZovReadSideFile(path, log)) {
      std::fprintf(stderr, "zov_bench_gps: no fixes in %s\n", path.c_str());
      return 1;
    }
    ZovSortByTime(log);
    lines = log.fixes.size();
    recordings = placed = 0;
    const int64_t first = log.fixes.front().timeMs, last = log.fixes.back().timeMs;
    for (int64_t start = first; start <= last; start += 60000, ++recordings)
      placed += ZovSideFixesForRecording(log, start, 60000).size();
    if (i > 0)
      ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
  }
  std::sort(ms.begin(), ms.end());
  std::printf("fixes=%zu recordings=%zu placed=%zu best_ms=%.3f median_ms=%.3f\n", lines, recordings, placed,
              ms.front(), ms[ms.size() / 2]);
  return 0;
}

int main(int argc, char** argv) {
  if (argc >= 3 && std::string(argv[1]) == "--attach")
    return Attach(argv[2], argc > 3 ? std::max(1, std::atoi(argv[3])) : 5);
  if (argc < 2) {
    std::fprintf(stderr, "usage: zov_bench_gps FILE [RUNS] | --attach DAYLOG [RUNS]\n");
    return 2;
  }
  const std::string path = argv[1];
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) {
    std::fprintf(stderr, "zov_bench_gps: cannot read %s\n", path.c_str());
    return 2;
  }
  uint32_t handle = 0;
  InitExtractor(&handle);
  std::string points, sensors;
  int result = ExtractGps(&handle, path, &points, &sensors);  // warm-up
  std::vector<double> ms;
  for (int i = 0; i < runs; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    result = ExtractGps(&handle, path, &points, &sensors);
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
  }
  std::sort(ms.begin(), ms.end());
  const double mib = double(st.st_size) / (1024.0 * 1024.0);
  std::printf("file_mib=%.1f result=%d raw_fixes=%zu best_ms=%.3f median_ms=%.3f best_mib_s=%.1f peak_rss_kib=%ld\n",
              mib, result, CZovGpsExtractor::Instance().LastRawFixCount(), ms.front(),
              ms[ms.size() / 2], mib / (ms.front() / 1000.0), PeakRssKiB());
  return result > 0 ? 0 : 1;
}
