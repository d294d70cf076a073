#include "tools/zovlib/zov_library_cli.h"

#include <QGuiApplication>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <memory>

extern "C" {
#include <libavutil/log.h>
}

#include "export/zov_export.h"
#include "library/zov_library_scan.h"

namespace {

constexpr const char* kUsage =
    "usage: zovlib [--format json|text] [--gap SECONDS] PATH...\n"
    "       zovlib --export START END OUTDIR [--overlay] [--no-position] [--front-only]\n"
    "              [--unit kmh|mph] [--gap SECONDS] PATH...\n";
constexpr const char* kHelp =
    "Prints the recording library of dash-camera cards, folders and files:\n"
    "drives, their moments (the channels recorded together) and the files\n"
    "that cannot be played, with the reason.\n"
    "\n"
    "  --format json     JSON (default)\n"
    "  --format text     a block per drive, a line per moment\n"
    "  --gap SECONDS     longest pause inside one drive (default: the index's\n"
    "                    setting drive_gap_seconds, else 120)\n"
    "  --export START END OUTDIR\n"
    "                    writes the range START..END of the drive that holds it\n"
    "                    into OUTDIR (times as printed here: 2024-05-17T08:03:12):\n"
    "                    one file per channel copied without re-encoding (from\n"
    "                    the key frame at or before START), a GPX and a CSV of\n"
    "                    the track and a PNG of every channel at START\n"
    "  --overlay         instead, one H.264 file with the time, speed, position,\n"
    "                    heading and channel drawn into the pictures\n"
    "  --no-position     no GPX, no CSV and no position in the overlay\n"
    "  --front-only      the overlay shows the front channel alone (default:\n"
    "                    every channel side by side)\n"
    "  --unit kmh|mph    the overlay's speed unit (default kmh)\n"
    "  -h, --help        this text\n"
    "  --version         the version\n"
    "\n"
    "Folders are read recursively. What was learned of each recording is kept\n"
    "in $XDG_CACHE_HOME/ZovGpsPlay/library.sqlite, so a second run reads only\n"
    "new or changed files. Times are the camera's clock, without a zone, as\n"
    "corrected by the library's camera clock setting (set in the player).\n"
    "Exit status: 0 something playable was found (or the export was written),\n"
    "1 nothing was (or the export failed: the reason is on standard error), 2 bad usage.\n";


std::string Format(const char* fmt, auto... args) {
  char buf[256];
  std::snprintf(buf, sizeof buf, fmt, args...);
  return buf;
}

// Length of the UTF-8 sequence starting at s[i], or 0 when it is not one.
size_t Utf8Length(const std::string& s, size_t i) {
  const unsigned char c = static_cast<unsigned char>(s[i]);
  size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
  if (n == 0 || i + n > s.size()) return 0;
  for (size_t k = 1; k < n; ++k)
    if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 0;
  if (n == 2 && c < 0xC2) return 0;  // overlong
  return n;
}

std::string Time(int64_t t, const ZovCameraClock& clock) { return ZovFormatCameraTime(ZovShownTime(t, clock)); }

// The camera clock the index keeps (none when no index is used).
ZovCameraClock ClockOf(const ZovScanOptions& options) {
  return options.useIndex ? ZovReadCameraClock(options.indexPath) : ZovCameraClock{};
}

// "FRI" style channel letters of a moment.
std::string Letters(const ZovMoment& m) {
  std::string letters;
  for (const auto& [key, index] : m.channels) {
    char c = static_cast<char>(key[0] - 'a' + 'A');
    if (key.rfind("rear", 0) == 0) c = 'R';
    if (key.rfind("right", 0) == 0) c = 'G';  // R is the rear's
    if (key.rfind("extra", 0) == 0) c = 'X';
    letters += c;
  }
  return letters;
}

std::atomic<bool> g_exportCancel{false};

void CancelExport(int) { g_exportCancel.store(true); }

struct ExportArgs {
  bool wanted = false;
  int64_t from = 0, to = 0;
  std::string folder;
  bool overlay = false, noPosition = false, frontOnly = false, mph = false;
};

// Runs an export of the scanned paths; returns the exit status.
int RunExport(const ExportArgs& a, const std::vector<std::string>& paths, ZovScanOptions options,
              std::string& out, std::string& err) {
  options.keepTracks = true;  // the GPX, the CSV and the overlay need them
  const ZovLibrary lib = ZovScanLibrary(paths, options);
  for (const std::string& m : lib.messages) err += "zovlib: " + m + "\n";
  // The times given are the corrected ones zovlib prints; the range is on the camera's own clock.
  const ZovCameraClock clock = ClockOf(options);
  const double from = static_cast<double>(a.from - clock.offsetSeconds);
  const double to = static_cast<double>(a.to - clock.offsetSeconds);
  const int drive = ZovDriveOfRange(lib, from, to);
  if (drive < 0) {
    err += "zovlib: no drive of the given paths reaches into " + ZovFormatCameraTime(a.from) + " to " +
           ZovFormatCameraTime(a.to) + "\n";
    return 1;
  }
  // The overlay's text needs fonts, which Qt gives only to an application.
  std::unique_ptr<QGuiApplication> app;
  static int argc = 3;
  static char arg0[] = "zovlib", arg1[] = "-platform", arg2[] = "offscreen";
  static char* argv[] = {arg0, arg1, arg2, nullptr};
  if (a.overlay && !QGuiApplication::instance()) app = std::make_unique<QGuiApplication>(argc, argv);

  ZovExportRequest request;
  request.library = &lib;
  request.drive = static_cast<size_t>(drive);
  request.from = from;
  request.to = to;
  request.clock = clock;
  request.folder = a.folder;
  request.kind = a.overlay ? ZovExportKind::kOverlay : ZovExportKind::kLossless;
  request.withPosition = !a.noPosition;
  request.unit = a.mph ? ZovSpeedUnit::kMph : ZovSpeedUnit::kKmh;
  request.layout = a.frontOnly ? ZovOverlayLayout::kFrontOnly : ZovOverlayLayout::kSideBySide;
  g_exportCancel.store(false);
  request.cancel = &g_exportCancel;
  // Ctrl+C ends the export and removes what it wrote.
  auto previous = std::signal(SIGINT, CancelExport);
  const ZovExportResult result = ZovRunExport(request);
  std::signal(SIGINT, previous);
  for (const std::string& n : result.notices) err += "zovlib: " + n + "\n";
  if (!result.ok) {
    err += "zovlib: export failed: " + result.error + "\n";
    return 1;
  }
  for (const std::string& f : result.files) out += f + "\n";
  return 0;
}

}  // namespace

std::string ZovJsonString(const std::string& text) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const size_t n = Utf8Length(text, i);
    if (n == 0) {
      out += "\xEF\xBF\xBD";
      ++i;
      continue;
    }
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      out += Format("\\u%04x", c);
    } else {
      out.append(text, i, n);
    }
    i += n;
  }
  return out + "\"";
}

std::string ZovLibraryJson(const ZovLibrary& lib, const ZovCameraClock& clock) {
  // About a line of 120 bytes per recording: one reservation, no regrowth.
  std::string out;
  out.reserve(256 + lib.recordings.size() * 160);
  out += "{\"drives\": [";
  for (size_t d = 0; d < lib.drives.size(); ++d) {
    const ZovDrive& drive = lib.drives[d];
    out += d ? ",\n  " : "\n  ";
    out += "{\"start\": \"" + Time(drive.start, clock) + "\", \"end\": \"" + Time(drive.end, clock) +
           "\", \"kilometres\": " + Format("%.2f", drive.kilometres) + ", \"moments\": [";
    for (size_t m = 0; m < drive.moments.size(); ++m) {
      const ZovMoment& moment = drive.moments[m];
      out += m ? ",\n    " : "\n    ";
      out += "{\"start\": \"" + Time(moment.start, clock) + "\", \"mode\": \"" +
             ZovModeName(moment.mode) + "\", \"channels\": {";
      for (size_t c = 0; c < moment.channels.size(); ++c) {
        const auto& [key, index] = moment.channels[c];
        out += (c ? ", \"" : "\"") + key + "\": " + ZovJsonString(lib.recordings[index].path);
      }
      out += "}, \"seconds\": " + Format("%.1f", moment.seconds) +
             ", \"gps_fixes\": " + std::to_string(moment.gpsFixes) + "}";
    }
    out += "]}";
  }
  out += lib.drives.empty() ? "],\n \"unplayable\": [" : "\n ],\n \"unplayable\": [";
  for (size_t u = 0; u < lib.unplayable.size(); ++u) {
    const ZovRecording& r = lib.recordings[lib.unplayable[u]];
    out += u ? ",\n  " : "\n  ";
    out += "{\"path\": " + ZovJsonString(r.path) + ", \"reason\": " + ZovJsonString(r.facts.reason) +
           "}";
  }
  out += lib.unplayable.empty() ? "]}\n" : "\n ]}\n";
  return out;
}

std::string ZovLibraryText(const ZovLibrary& lib, const ZovCameraClock& clock) {
  std::string out;
  for (const ZovDrive& drive : lib.drives) {
    const std::string start = Time(drive.start, clock), end = Time(drive.end, clock);
    out += "Drive " + start.substr(0, 10) + " " + start.substr(11) + " - " + end.substr(11) +
           Format(", %.1f km, %zu moment%s\n", drive.kilometres, drive.moments.size(),
                  drive.moments.size() == 1 ? "" : "s");
    for (const ZovMoment& m : drive.moments) {
      out += "  " + Time(m.start, clock).substr(11) + Format("  %-9s %-4s", ZovModeName(m.mode),
                                                      Letters(m).c_str());
      out += Format(" %5.0f s %4d fixes  ", m.seconds, m.gpsFixes) +
             lib.recordings[m.Lead()].path + "\n";
    }
  }
  if (!lib.unplayable.empty()) out += "Unplayable\n";
  for (size_t i : lib.unplayable)
    out += "  " + lib.recordings[i].path + ": " + lib.recordings[i].facts.reason + "\n";
  return out;
}

int ZovLibraryToolMain(const std::vector<std::string>& args, std::string& out, std::string& err) {
  bool json = true;
  ZovScanOptions options;
  options.keepTracks = false;  // the output holds fix counts and distances only
  std::vector<std::string> paths;
  ExportArgs exporting;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "-h" || arg == "--help") {
      out += std::string(kUsage) + "\n" + kHelp;
      return 0;
    } else if (arg == "--version") {
      out += "zovlib " ZOV_VERSION "\n";
      return 0;
    } else if (arg == "--format" || arg.rfind("--format=", 0) == 0) {
      std::string value;
      if (arg == "--format") {
        if (i + 1 >= args.size()) {
          err += "zovlib: --format needs a value: json or text\n" + std::string(kUsage);
          return 2;
        }
        value = args[++i];
      } else {
        value = arg.substr(9);
      }
      if (value != "json" && value != "text") {
        err += "zovlib: unknown format '" + value + "'\n" + kUsage;
        return 2;
      }
      json = value == "json";
    } else if (arg == "--gap") {
      int gap = 0;
      if (i + 1 >= args.size() || std::sscanf(args[i + 1].c_str(), "%d", &gap) != 1 ||
          std::to_string(gap) != args[i + 1] || gap < 0 || gap > kZovMaxDriveGap) {
        err += "zovlib: --gap needs a number of seconds from 0 to 86400\n" + std::string(kUsage);
        return 2;
      }
      options.driveGapSeconds = gap;
      ++i;
    } else if (arg == "--export") {
      if (i + 3 >= args.size() || !ZovParseCameraTime(args[i + 1], &exporting.from) ||
          !ZovParseCameraTime(args[i + 2], &exporting.to)) {
        err += "zovlib: --export needs START END OUTDIR, times as 2024-05-17T08:03:12\n" +
               std::string(kUsage);
        return 2;
      }
      exporting.wanted = true;
      exporting.folder = args[i + 3];
      i += 3;
    } else if (arg == "--overlay") {
      exporting.overlay = true;
    } else if (arg == "--no-position") {
      exporting.noPosition = true;
    } else if (arg == "--front-only") {
      exporting.frontOnly = true;
    } else if (arg == "--unit") {
      if (i + 1 >= args.size() || (args[i + 1] != "kmh" && args[i + 1] != "mph")) {
        err += "zovlib: --unit needs kmh or mph\n" + std::string(kUsage);
        return 2;
      }
      exporting.mph = args[++i] == "mph";
    } else if (arg == "--") {
      paths.insert(paths.end(), args.begin() + static_cast<std::ptrdiff_t>(i + 1), args.end());
      break;
    } else if (!arg.empty() && arg[0] == '-') {
      err += "zovlib: unknown option " + arg + "\n" + kUsage;
      return 2;
    } else {
      paths.push_back(arg);
    }
  }
  if (paths.empty()) {
    err += kUsage;
    return 2;
  }
  if (!exporting.wanted && (exporting.overlay || exporting.noPosition || exporting.frontOnly || exporting.mph)) {
    err += "zovlib: --overlay, --no-position, --front-only and --unit go with --export\n" +
           std::string(kUsage);
    return 2;
  }
  // The library says why a file does not play; the demuxer's own lines would
  // only repeat it.
  av_log_set_level(AV_LOG_QUIET);
  if (exporting.wanted) return RunExport(exporting, paths, options, out, err);
  const ZovLibrary lib = ZovScanLibrary(paths, options);
  for (const std::string& m : lib.messages) err += "zovlib: " + m + "\n";
  const ZovCameraClock clock = ClockOf(options);
  out += json ? ZovLibraryJson(lib, clock) : ZovLibraryText(lib, clock);
  return lib.drives.empty() ? 1 : 0;
}
