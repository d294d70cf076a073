// zov_bench_library fill DB ROWS   -- a simulated year of drives, no media
// zov_bench_library list DB FOLDER -- the library of FOLDER from the index alone
// zov_bench_library scan DB PATH   -- a scan of PATH with the index DB
// Each prints its wall time and the process's peak resident memory.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "library/zov_camera_names.h"
#include "library/zov_library_index.h"
#include "library/zov_library_scan.h"
#include "tools/zovlib/zov_library_cli.h"

namespace {

double Ms(std::chrono::steady_clock::time_point from) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - from).count();
}

long PeakKiB() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

// A year of one-minute front and rear clips: a drive of 40 minutes each
// morning and evening, every day, until `rows` recordings are stored.
int Fill(const std::string& db, long rows) {
  CZovLibraryIndex index;
  std::string message;
  if (!index.Open(db, &message)) {
    std::fprintf(stderr, "%s\n", message.c_str());
    return 1;
  }
  const auto t0 = std::chrono::steady_clock::now();
  index.Begin();
  long n = 0;
  for (int day = 0; n < rows; ++day) {
    for (int drive = 0; drive < 2 && n < rows; ++drive) {
      for (int minute = 0; minute < 40 && n < rows; ++minute) {
        const int64_t t = ZovCameraTime(2024, 1, 1, drive ? 17 : 8, 0, 0) + day * 86400 + minute * 60;
        int y, mo, d, h, mi, s;
        ZovSplitCameraTime(t, &y, &mo, &d, &h, &mi, &s);
        for (char ch : {'F', 'R'}) {
          char name[96];
          std::snprintf(name, sizeof name, "/year/DCIM/Movie/%04d_%02d%02d_%02d%02d%02d_%03d%c.MP4", y, mo,
                        d, h, mi, s, minute, ch);
          ZovRecording r;
          r.path = name;
          r.size = 100000000;
          r.mtimeNs = t * 1000000000;
          r.facts.playable = true;
          r.facts.seconds = 60;
          r.facts.videoStreams = 1;
          r.facts.width = ch == 'F' ? 1920 : 1280;
          r.facts.height = ch == 'F' ? 1080 : 720;
          r.facts.codec = "h264";
          r.gpsFixes = ch == 'F' ? 60 : 0;
          r.kilometres = ch == 'F' ? 0.9 : 0;
          index.Store(r);
          ++n;
        }
      }
    }
  }
  index.Commit();
  std::printf("fill: %ld rows in %.0f ms\n", n, Ms(t0));
  return 0;
}

int List(const std::string& db, const std::string& folder) {
  const auto t0 = std::chrono::steady_clock::now();
  CZovLibraryIndex index;
  std::string message;
  if (!index.Open(db, &message)) {
    std::fprintf(stderr, "%s\n", message.c_str());
    return 1;
  }
  const double openMs = Ms(t0);
  ZovLibrary lib;
  lib.recordings.reserve(static_cast<size_t>(index.Count()));
  index.VisitUnder(folder, [&](ZovRecording&& r) {
    r.name = ZovReadName(r.path);
    lib.recordings.push_back(std::move(r));
  });
  const double readMs = Ms(t0);
  ZovGroupLibrary(lib);
  const double groupMs = Ms(t0);
  const std::string json = ZovLibraryJson(lib);
  size_t moments = 0;
  for (const ZovDrive& d : lib.drives) moments += d.moments.size();
  std::printf("list: %zu rows, %zu drives, %zu moments, %zu bytes of JSON in %.0f ms (open %.0f,"
              " read %.0f, group %.0f, JSON %.0f ms), peak %ld MiB\n",
              lib.recordings.size(), lib.drives.size(), moments, json.size(), Ms(t0), openMs,
              readMs - openMs, groupMs - readMs, Ms(t0) - groupMs, PeakKiB() / 1024);
  return 0;
}

int Scan(const std::string& db, const std::string& path) {
  const auto t0 = std::chrono::steady_clock::now();
  ZovScanOptions o;
  o.indexPath = db;
  o.keepTracks = false;
  ZovScanStats stats;
  const ZovLibrary lib = ZovScanLibrary({path}, o, &stats);
  size_t fixes = 0;
  for (const ZovRecording& r : lib.recordings) fixes += static_cast<size_t>(r.gpsFixes);
  std::printf("scan: %zu recordings (%zu opened, %zu from the index), %zu drives, %zu fixes in %.0f ms,"
              " peak %ld MiB\n",
              lib.recordings.size(), stats.probed, stats.fromIndex, lib.drives.size(), fixes, Ms(t0),
              PeakKiB() / 1024);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string cmd = argc > 1 ? argv[1] : "";
  if (argc == 4 && cmd == "fill") return Fill(argv[2], std::atol(argv[3]));
  if (argc == 4 && cmd == "list") return List(argv[2], argv[3]);
  if (argc == 4 && cmd == "scan") return Scan(argv[2], argv[3]);
  std::fprintf(stderr, "usage: zov_bench_library fill DB ROWS | list DB FOLDER | scan DB PATH\n");
  return 2;
}
