// Play list and track costs, each against a plain baseline in the same run:
//   1. adding a folder of N camera files (1 MiB each, sparse) one by one in
//      the folder's own order, against listing the folder with `ls`;
//   2. rebuilding and painting the list view's rows with all N files;
//   3. LoadTrack + MakeCurrent of a one-hour side-file track and 3,600
//      PointForSecond calls, against a loop over an array of 3,600 points.
// usage: zov_bench_filelist WORK_DIR [FILES]     (QT_QPA_PLATFORM=offscreen is fine)
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <QApplication>
#include <QWidget>

#include "tools/zovgpsfixture/zov_gps_fixture.h"
#include "library/zov_file_list_store.h"
#include "ui/zov_file_list_view.h"

namespace {

using Clock = std::chrono::steady_clock;
double Ms(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double, std::milli>(b - a).count();
}

std::vector<std::string> MakeFolder(const std::string& dir, int files) {
  std::string cmd = "mkdir -p '" + dir + "'";
  if (std::system(cmd.c_str()) != 0) std::exit(2);
  for (int i = 0; i < files; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "/2023_0105_%02d%02d%02d_%04d.MP4", 12 + i / 3600, i / 60 % 60, i % 60, i);
    const std::string path = dir + name;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || ::ftruncate(fd, 1048576) != 0) std::exit(2);
    ::close(fd);
  }
  std::vector<std::string> paths;  // the folder's own (unsorted) order
  DIR* d = ::opendir(dir.c_str());
  while (const dirent* e = ::readdir(d))
    if (e->d_name[0] != '.') paths.push_back(dir + "/" + e->d_name);
  ::closedir(d);
  return paths;
}

double LsMs(const std::string& dir, int runs) {
  const std::string cmd = "ls '" + dir + "' > /dev/null";
  double best = 1e18;
  for (int i = 0; i < runs; ++i) {
    const auto t0 = Clock::now();
    if (std::system(cmd.c_str()) != 0) std::exit(2);
    best = std::min(best, Ms(t0, Clock::now()));
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s WORK_DIR [FILES]\n", argv[0]);
    return 2;
  }
  const std::string work = argv[1];
  const int files = argc > 2 ? std::atoi(argv[2]) : 2000;
  QApplication app(argc, argv);

  // ---- 1. adding a folder ----
  const std::vector<std::string> paths = MakeFolder(work + "/clips", files);
  CZovFileListStore* store = CZovFileListStore::GetInstance();
  const auto a0 = Clock::now();
  for (const std::string& p : paths) store->AddFile(p);
  const double addMs = Ms(a0, Clock::now());
  const std::vector<std::string> listed = store->Paths();
  const bool sorted = std::is_sorted(listed.begin(), listed.end());
  const double lsMs = LsMs(work + "/clips", 5);
  std::printf("add: %d files in %.1f ms, %.3f ms per add (list sorted: %s); ls of the folder: %.3f ms\n",
              store->Count(), addMs, addMs / files, sorted ? "yes" : "NO", lsMs);

  // ---- 2. rebuilding the rows ----
  QWidget top;
  top.resize(400, 400);
  CZovFileListView view;
  view.Create(&top, QRect(0, 0, 340, 300));
  top.show();
  const int rebuilds = 20;
  const auto r0 = Clock::now();
  for (int i = 0; i < rebuilds; ++i) view.Rebuild(i * 97 % files);
  const double rebuildMs = Ms(r0, Clock::now()) / rebuilds;
  const auto p0 = Clock::now();
  for (int i = 0; i < rebuilds; ++i) view.grab();
  const double paintMs = Ms(p0, Clock::now()) / rebuilds;
  std::printf("rebuild: %.3f ms per rebuild of %d rows; paint: %.3f ms per frame\n", rebuildMs, files, paintMs);

  // ---- 3. a one-hour track ----
  const std::string side = work + "/hour.txt";
  std::string error;
  if (!ZovWriteFixture(ZovFixtureLayout::kTextG1, "", side, ZovFixtureDrive(3600, 39.9, 116.4), {}, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 2;
  }
  store->SetMapNameSource([] { return std::string("gaode"); });
  store->AddFile(side);
  const auto t0 = Clock::now();
  store->MakeCurrent(side);  // runs LoadTrack: extraction, texts read back, datum shift
  const auto t1 = Clock::now();
  int found = 0;
  for (int s = 1; s <= 3600; ++s)
    found += store->PointForSecond(s, 1, 3600).kind == ZovTickKind::kFound;
  const auto t2 = Clock::now();
  const std::vector<GpsPoint> points = store->CurrentPoints();
  double sum = 0;
  const auto b0 = Clock::now();
  for (int s = 1; s <= 3600; ++s) sum += points[static_cast<size_t>(std::min<int>(s, points.size() - 1))].latitude;
  const auto b1 = Clock::now();
  std::printf("track: %d points; LoadTrack+MakeCurrent %.2f ms; 3600 PointForSecond %.3f ms (%.2f us each, %d found); "
              "array loop over 3600 points %.4f ms (checksum %.0f)\n",
              store->CurrentPointCount(), Ms(t0, t1), Ms(t1, t2), Ms(t1, t2) * 1000 / 3600, found, Ms(b0, b1), sum);
  CZovFileListStore::DeleteInstance();
  return 0;
}
