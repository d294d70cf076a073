// zovgpsfixture LAYOUT CLIP OUT [--seconds N] [--start LAT,LON] [--version V]
// Writes a moving drive into a copy of CLIP in one of the layouts the GPS
// extractor reads (see zov_gps_fixture.h); "list" prints the layout names.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/zovgpsfixture/zov_gps_fixture_cli.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string out, err;
  const int status = ZovFixtureToolMain(args, out, err);
  std::fwrite(out.data(), 1, out.size(), stdout);
  std::fwrite(err.data(), 1, err.size(), stderr);
  return status;
}
