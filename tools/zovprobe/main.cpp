// zovprobe FILE
// Opens FILE as the player does in software decoding mode, prints the media
// information the demuxer keeps, then reads and decodes every packet. The last
// line is "decoded V video frames, A audio frames in S s". Exit status: 0 when
// the recording opened, 1 when it did not (reason on standard error), 2 on a
// usage error.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "engine/zov_base_file.h"
#include "engine/zov_time.h"

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

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: zovprobe FILE\n");
    return 2;
  }
  const char* path = argv[1];
  av_log_set_level(AV_LOG_ERROR);
  CZovBaseFile file;
  std::fflush(stdout);
  if (file.Open(path) != 1) {
    struct stat st {};
    if (stat(path, &st) != 0)
      std::fprintf(stderr, "zovprobe: cannot open %s: %s\n", path, std::strerror(errno));
    else if (S_ISDIR(st.st_mode))
      std::fprintf(stderr, "zovprobe: cannot open %s: is a folder\n", path);
    else
      std::fprintf(stderr, "zovprobe: cannot open %s: no playable video stream in it\n", path);
    return 1;
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
  const double seconds = (NowMs() - start) / 1000.0;
  std::printf("decoded %ld video frames, %ld audio frames in %.3f s\n", videoFrames, audioFrames, seconds);
  return 0;
}
