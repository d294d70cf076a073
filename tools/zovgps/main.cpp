// zovgps [--format csv|gpx|geojson|points|sensor] FILE...  (zovgps --help)
#include <cstdio>
#include <string>
#include <vector>

#include "tools/zovgps/zov_gps_export.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string out, err;
  const int status = ZovGpsToolMain(args, out, err);
  std::fwrite(out.data(), 1, out.size(), stdout);
  std::fwrite(err.data(), 1, err.size(), stderr);
  return status;
}
