// zov_bench_gps FILE [RUNS]: times ExtractGps on FILE (warm cache: one untimed
// run first), then prints the fastest and median wall time, the fix count,
// the throughput over the file size and the process's peak resident memory.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "gps/zov_gps_extractor.h"

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

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: zov_bench_gps FILE [RUNS]\n");
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
