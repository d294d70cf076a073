// zovprobe FILE
// Opens FILE as the player does in software decoding mode, prints the media
// information the demuxer keeps, then reads and decodes every packet. The last
// line is "decoded V video frames, A audio frames in S s" (V is 0 for a
// recording with sound only). Exit status: 0 when the recording opened, 1 when
// it did not (reason on standard error), 2 on a usage error; -h/--help and
// --version print on standard output.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/zov_base_file.h"
#include "engine/zov_time.h"
#include "tools/common/zov_tool_cli.h"

extern "C" {
#include <libavutil/log.h>
#include <libavutil/pixdesc.h>
#include <libavutil/samplefmt.h>
}

namespace {

// Consecutive "no packet now" answers after which a local file is taken to be
// unreadable rather than slow.
constexpr int kMaxIdleReads = 1000;

const char* OrDash(const char* s) { return s && *s ? s : "-"; }

void PrintInfo(const char* path, CZovDemuxer& d) {
  std::printf("file: %s\n", path);
  std::printf("video codec: %s\n", OrDash(d.videoCodecName));
  std::printf("size: %dx%d\n", d.width, d.height);
  std::printf("frame rate: %d fps\n", d.frameRate);
  std::printf("bit rate: %d bit/s\n", d.bitRate);
  std::printf("pixel format: %s\n", OrDash(av_get_pix_fmt_name(static_cast<AVPixelFormat>(d.pixelFormat))));
  if (d.audioStreamIndex >= 0) {
    std::printf("audio codec: %s\n", OrDash(d.audioCodecName));
    std::printf("sample format: %s\n",
                OrDash(av_get_sample_fmt_name(static_cast<AVSampleFormat>(d.sampleFormat))));
    std::printf("sample rate: %d Hz\n", d.sampleRate);
    std::printf("channels: %d\n", d.channels);
  } else {
    std::printf("audio codec: -\n");
  }
  std::printf("duration: %d s\n", d.durationSeconds.load());
}

const char kUsage[] =
    "usage: zovprobe FILE\n"
    "Prints a recording's media information and decodes it to the end.\n"
    "  -h, --help   print this help\n"
    "  --version    print the program version\n";

// Reads the command line; -1 to go on with *path, else the exit status.
int ParseOptions(int argc, char** argv, const char** path) {
  constexpr const char* kTool = "zovprobe";
  *path = nullptr;
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    if (!std::strcmp(a, "-h") || !std::strcmp(a, "--help")) {
      std::fputs(kUsage, stdout);
      return zovtool::kExitOk;
    }
    if (!std::strcmp(a, "--version")) {
      zovtool::PrintVersion(kTool);
      return zovtool::kExitOk;
    }
    if (a[0] == '-' && a[1] != '\0') return zovtool::UsageError(kTool, std::string("unknown option ") + a);
    if (*path) return zovtool::UsageError(kTool, "one FILE only");
    *path = a;
  }
  if (!*path) return zovtool::UsageError(kTool, "no FILE given");
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  const char* path = nullptr;
  const int status = ParseOptions(argc, argv, &path);
  if (status >= 0) return status;
  av_log_set_level(AV_LOG_ERROR);
  CZovBaseFile file;
  std::fflush(stdout);
  if (file.Open(path) != 1) {
    const std::string& why = file.openError;
    std::fprintf(stderr, "zovprobe: cannot open %s: %s\n", path, why.empty() ? "not a recording" : why.c_str());
    return zovtool::kExitFailed;
  }
  CZovDemuxer& d = *file.GetDemuxer();
  PrintInfo(path, d);
  std::fflush(stdout);

  long videoFrames = 0, audioFrames = 0;
  int idle = 0;
  const int32_t start = NowMs();
  for (;;) {
    ZovMediaItem item;
    int rc = file.ReadPacket(&item);
    if (rc == -2) break;
    if (rc != 0) {
      if (++idle >= kMaxIdleReads) {
        std::fprintf(stderr, "zovprobe: %s stopped delivering packets before its end\n", path);
        break;
      }
      continue;
    }
    idle = 0;
    if (item.type != kZovItemVideo && item.type != kZovItemAudio) continue;
    if (file.Decode(&item) != 0) continue;
    if (item.type == kZovItemVideo)
      ++videoFrames;
    else
      ++audioFrames;
  }
  // The pictures the decoder still holds at the end of input.
  std::vector<ZovMediaItemPtr> held;
  file.DrainVideo(&held);
  videoFrames += static_cast<long>(held.size());
  const double seconds = (NowMs() - start) / 1000.0;
  std::printf("decoded %ld video frames, %ld audio frames in %.3f s\n", videoFrames, audioFrames, seconds);
  return 0;
}
