#include "tools/zovgpsfixture/zov_gps_fixture_cli.h"

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "tools/zovgpsfixture/zov_gps_fixture.h"
#include "tools/zovgpsfixture/zov_gps_side_fixture.h"
#include <fstream>

namespace {

constexpr const char* kUsage =
    "usage: zovgpsfixture LAYOUT CLIP OUT [--seconds N] [--start LAT,LON] [--version V]\n"
    "       zovgpsfixture side SIDE-LAYOUT OUT [--seconds N] [--start LAT,LON]\n"
    "       zovgpsfixture list\n";
constexpr int kMaxSeconds = 100000;

struct Options {
  int seconds = 20;
  double lat = 22.54321, lon = 114.05432;
  ZovFixtureOptions fixture;
};

// A whole decimal integer, nothing after it.
bool ParseInt(const std::string& s, int& v) {
  if (s.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const long n = std::strtol(s.c_str(), &end, 10);
  if (errno != 0 || *end != 0 || n < -1000000000L || n > 1000000000L) return false;
  v = static_cast<int>(n);
  return true;
}

// "LAT,LON" in decimal degrees, both finite, nothing else.
bool ParseStart(const std::string& s, double& lat, double& lon) {
  const size_t comma = s.find(',');
  if (comma == std::string::npos || comma == 0) return false;
  const std::string a = s.substr(0, comma), b = s.substr(comma + 1);
  char* end = nullptr;
  lat = std::strtod(a.c_str(), &end);
  if (*end != 0) return false;
  if (b.empty()) return false;
  lon = std::strtod(b.c_str(), &end);
  return *end == 0 && std::isfinite(lat) && std::isfinite(lon);
}

// The same file: the same name, or the same file system object.
bool SameFile(const std::string& a, const std::string& b) {
  if (a == b) return true;
  struct stat sa {}, sb {};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

int Usage(std::string& err, const std::string& message) {
  err += "zovgpsfixture: " + message + "\n" + kUsage;
  return 2;
}

// Options after LAYOUT CLIP OUT; -1 to go on, otherwise the exit status.
int ParseOptions(const std::vector<std::string>& args, Options& o, std::string& err) {
  for (size_t i = 3; i < args.size(); i += 2) {
    const std::string& name = args[i];
    if (name != "--seconds" && name != "--start" && name != "--version")
      return Usage(err, "unknown option " + name);
    if (i + 1 >= args.size()) return Usage(err, "option " + name + " needs a value");
    const std::string& value = args[i + 1];
    if (name == "--seconds") {
      if (!ParseInt(value, o.seconds) || o.seconds < 1 || o.seconds > kMaxSeconds)
        return Usage(err, "--seconds takes a whole number from 1 to 100000, not '" + value + "'");
    } else if (name == "--start") {
      if (!ParseStart(value, o.lat, o.lon))
        return Usage(err, "--start takes LAT,LON in degrees, not '" + value + "'");
      if (std::fabs(o.lat) > 90) return Usage(err, "--start latitude must lie within -90 and 90");
      if (std::fabs(o.lon) > 180) return Usage(err, "--start longitude must lie within -180 and 180");
    } else if (!ParseInt(value, o.fixture.blockVersion)) {
      return Usage(err, "--version takes a whole number, not '" + value + "'");
    }
  }
  return -1;
}

// zovgpsfixture side LAYOUT OUT [options]: a side file of the drive ("3gf":
// the accelerometer sidecar).
int SideMain(const std::vector<std::string>& args, std::string& err) {
  if (args.size() < 3) return Usage(err, "side needs a layout and an output file");
  ZovSideFixture layout = ZovSideFixture::kNmea;
  const bool accel = args[1] == "3gf";
  if (!accel && !ZovSideFixtureFromName(args[1], layout)) return Usage(err, "unknown side layout " + args[1]);
  Options o;
  // The options start after "side LAYOUT OUT", where they start after
  // "LAYOUT CLIP OUT".
  if (const int status = ParseOptions(args, o, err); status >= 0) return status;
  const ZovFixtureTrack track = ZovFixtureDrive(o.seconds, o.lat, o.lon);
  std::ofstream f(args[2], std::ios::binary | std::ios::trunc);
  if (accel) {
    const std::vector<uint8_t> bytes = ZovSideFixtureAccel(track);
    f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  } else {
    const std::string text = ZovSideFixtureText(layout, track);
    f.write(text.data(), std::streamsize(text.size()));
  }
  if (!f) {
    err += "zovgpsfixture: cannot write " + args[2] + "\n";
    return 1;
  }
  return 0;
}

}  // namespace

int ZovFixtureToolMain(const std::vector<std::string>& args, std::string& out, std::string& err) {
  if (args.size() == 1 && (args[0] == "-h" || args[0] == "--help")) {
    out += kUsage;
    return 0;
  }
  if (args.size() == 1 && args[0] == "list") {
    for (ZovFixtureLayout l : ZovFixtureAllLayouts()) out += std::string(ZovFixtureLayoutName(l)) + "\n";
    for (ZovSideFixture l : ZovSideFixtureAll()) out += "side " + std::string(ZovSideFixtureName(l)) + "\n";
    out += "side 3gf\n";
    return 0;
  }
  if (!args.empty() && args[0] == "side") return SideMain(args, err);
  if (args.size() < 3) {
    err += kUsage;
    return 2;
  }
  ZovFixtureLayout layout;
  if (!ZovFixtureLayoutFromName(args[0], layout)) return Usage(err, "unknown layout " + args[0]);
  Options o;
  if (const int status = ParseOptions(args, o, err); status >= 0) return status;
  if (SameFile(args[1], args[2])) return Usage(err, "the output would overwrite the input " + args[1]);
  std::string error;
  if (!ZovWriteFixture(layout, args[1], args[2], ZovFixtureDrive(o.seconds, o.lat, o.lon), o.fixture,
                       &error)) {
    err += "zovgpsfixture: " + error + "\n";
    return 1;
  }
  return 0;
}
