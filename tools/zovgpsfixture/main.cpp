// zovgpsfixture LAYOUT CLIP OUT [--seconds N] [--start LAT,LON] [--version V]
// Writes a moving drive into a copy of CLIP in one of the layouts the GPS
// extractor reads (see zov_gps_fixture.h); "list" prints the layout names.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tools/zovgpsfixture/zov_gps_fixture.h"

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "list") == 0) {
    for (ZovFixtureLayout l : ZovFixtureAllLayouts()) std::printf("%s\n", ZovFixtureLayoutName(l));
    return 0;
  }
  if (argc < 4) {
    std::fprintf(stderr,
                 "usage: zovgpsfixture LAYOUT CLIP OUT [--seconds N] [--start LAT,LON] [--version V]\n");
    return 2;
  }
  ZovFixtureLayout layout;
  if (!ZovFixtureLayoutFromName(argv[1], layout)) {
    std::fprintf(stderr, "zovgpsfixture: unknown layout %s\n", argv[1]);
    return 2;
  }
  int seconds = 20;
  double lat = 22.54321, lon = 114.05432;
  ZovFixtureOptions options;
  for (int i = 4; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--seconds") == 0) seconds = std::atoi(argv[i + 1]);
    else if (std::strcmp(argv[i], "--start") == 0) std::sscanf(argv[i + 1], "%lf,%lf", &lat, &lon);
    else if (std::strcmp(argv[i], "--version") == 0) options.blockVersion = std::atoi(argv[i + 1]);
    else {
      std::fprintf(stderr, "zovgpsfixture: unknown option %s\n", argv[i]);
      return 2;
    }
  }
  if (seconds < 1 || seconds > 100000) {
    std::fprintf(stderr, "zovgpsfixture: bad --seconds\n");
    return 2;
  }
  std::string error;
  if (!ZovWriteFixture(layout, argv[2], argv[3], ZovFixtureDrive(seconds, lat, lon), options,
                       &error)) {
    std::fprintf(stderr, "zovgpsfixture: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
