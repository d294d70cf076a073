// Exports of a real drive (two moments of 10 s, front and rear with sound,
// the front with GPS; clips by ffmpeg): what the files hold, read back with
// libavformat and libavcodec; the overlay's pixels; cancel, a read-only
// folder and a full disk leaving no file behind; and zovlib --export.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <QGuiApplication>
#include <QImage>
#include <atomic>
#include <filesystem>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "export/zov_export.h"
#include "library/zov_library_scan.h"
#include "tests/common/test_paths.h"
#include "tools/zovlib/zov_library_cli.h"

namespace fs = std::filesystem;

namespace {

const int64_t kFiles0800 = ZovCameraTime(2024, 5, 17, 8, 0, 0);

std::string DriveDir() {
  const std::string dir = zovtest::FixtureDir() + "/export-drive/Record";
  if (!fs::exists(dir + "/20240517_080010_NF.mp4")) ADD_FAILURE() << dir << ": run ctest -R fixtures.exportdrive";
  return dir;
}

struct Packets {
  std::vector<AVCodecParameters*> params;  // owned by the input, kept open
  std::vector<std::vector<std::pair<double, double>>> times;  // per stream: pts, dts seconds
  std::vector<bool> firstKey;
  AVFormatContext* input = nullptr;
  ~Packets() { avformat_close_input(&input); }
};

void ReadPackets(const std::string& path, Packets& p) {
  ASSERT_EQ(avformat_open_input(&p.input, path.c_str(), nullptr, nullptr), 0) << path;
  ASSERT_GE(avformat_find_stream_info(p.input, nullptr), 0);
  for (unsigned s = 0; s < p.input->nb_streams; ++s) p.params.push_back(p.input->streams[s]->codecpar);
  p.times.resize(p.input->nb_streams);
  p.firstKey.resize(p.input->nb_streams);
  AVPacket* pkt = av_packet_alloc();
  while (av_read_frame(p.input, pkt) >= 0) {
    const AVRational tb = p.input->streams[pkt->stream_index]->time_base;
    auto& t = p.times[pkt->stream_index];
    if (t.empty()) p.firstKey[pkt->stream_index] = pkt->flags & AV_PKT_FLAG_KEY;
    t.emplace_back(pkt->pts * av_q2d(tb), pkt->dts * av_q2d(tb));
    av_packet_unref(pkt);
  }
  av_packet_free(&pkt);
}

// Luma planes of every decoded picture of a file's video stream.
std::vector<std::vector<uint8_t>> DecodeLuma(const std::string& path, int* width, int* height) {
  std::vector<std::vector<uint8_t>> planes;
  AVFormatContext* in = nullptr;
  if (avformat_open_input(&in, path.c_str(), nullptr, nullptr) != 0) return planes;
  avformat_find_stream_info(in, nullptr);
  const int v = av_find_best_stream(in, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  const AVCodec* codec = avcodec_find_decoder(in->streams[v]->codecpar->codec_id);
  AVCodecContext* dec = avcodec_alloc_context3(codec);
  avcodec_parameters_to_context(dec, in->streams[v]->codecpar);
  avcodec_open2(dec, codec, nullptr);
  AVPacket* pkt = av_packet_alloc();
  AVFrame* f = av_frame_alloc();
  auto take = [&] {
    while (avcodec_receive_frame(dec, f) == 0) {
      *width = f->width;
      *height = f->height;
      std::vector<uint8_t> y(static_cast<size_t>(f->width) * f->height);
      for (int r = 0; r < f->height; ++r) std::copy_n(f->data[0] + r * f->linesize[0], f->width, &y[r * f->width]);
      planes.push_back(std::move(y));
    }
  };
  while (av_read_frame(in, pkt) >= 0) {
    if (pkt->stream_index == v) avcodec_send_packet(dec, pkt);
    av_packet_unref(pkt);
    take();
  }
  avcodec_send_packet(dec, nullptr);
  take();
  av_frame_free(&f);
  av_packet_free(&pkt);
  avcodec_free_context(&dec);
  avformat_close_input(&in);
  return planes;
}

class ExportFiles : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "export_test";
    static char* argv[] = {name, nullptr};
    if (!QGuiApplication::instance()) new QGuiApplication(argc, argv);
    ZovScanOptions o;
    o.useIndex = false;
    library_ = new ZovLibrary(ZovScanLibrary({DriveDir()}, o));
  }

  ZovExportRequest Request(double from, double to, ZovExportKind kind, const std::string& folder) {
    ZovExportRequest r;
    r.library = library_;
    r.from = kFiles0800 + from;
    r.to = kFiles0800 + to;
    r.kind = kind;
    r.folder = folder;
    return r;
  }
  static std::vector<std::string> Listing(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  static ZovLibrary* library_;
};
ZovLibrary* ExportFiles::library_ = nullptr;

TEST_F(ExportFiles, LosslessCopiesPacketsAcrossTheJoin) {
  ASSERT_EQ(library_->drives.size(), 1u);
  ASSERT_EQ(library_->drives[0].moments.size(), 2u);
  const std::string out = zovtest::TempDir();
  // From 3.4 s: the key frame at 3 s (one a second) starts the copy; to 15 s
  // in the second moment.
  std::vector<double> progress;
  ZovExportRequest request = Request(3.4, 15, ZovExportKind::kLossless, out);
  request.progress = [&progress](double f) { progress.push_back(f); };
  const ZovExportResult r = ZovRunExport(request);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(Listing(out), (std::vector<std::string>{
                              "2024-05-17_080003-080015_front.mp4", "2024-05-17_080003-080015_rear.mp4",
                              "2024-05-17_080003-080015_start.png", "2024-05-17_080003-080015_track.csv",
                              "2024-05-17_080003-080015_track.gpx"}));
  ASSERT_FALSE(progress.empty());
  EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
  EXPECT_DOUBLE_EQ(progress.back(), 1.0);

  for (const char* channel : {"front", "rear"}) {
    SCOPED_TRACE(channel);
    Packets source, copy;
    ReadPackets(DriveDir() + "/20240517_080000_N" + (channel[0] == 'f' ? "F" : "R") + ".mp4", source);
    ReadPackets(out + "/2024-05-17_080003-080015_" + channel + ".mp4", copy);
    ASSERT_EQ(copy.params.size(), 2u);
    for (size_t s = 0; s < 2; ++s) {
      const AVCodecParameters* a = copy.params[s];
      const AVCodecParameters* b = source.params[s];
      EXPECT_EQ(a->codec_id, b->codec_id);
      EXPECT_EQ(a->width, b->width);
      EXPECT_EQ(a->sample_rate, b->sample_rate);
      ASSERT_EQ(a->extradata_size, b->extradata_size);
      EXPECT_EQ(memcmp(a->extradata, b->extradata, a->extradata_size), 0);
    }
    // 12 s of 10 pictures a second, from the key frame at 3 s.
    const auto& video = copy.times[0];
    EXPECT_TRUE(copy.firstKey[0]);
    EXPECT_EQ(video.size(), 120u);
    EXPECT_NEAR(video.front().first, 0.0, 1e-6);
    for (size_t i = 1; i < video.size(); ++i) {
      EXPECT_NEAR(video[i].second - video[i - 1].second, 0.1, 0.002) << "picture " << i;  // no gap, no overlap
    }
    // The sound: the same 12 s, its timestamps rising through the join.
    const auto& sound = copy.times[1];
    EXPECT_NEAR(static_cast<double>(sound.size()), 12 * 48000 / 1024.0, 4);
    for (size_t i = 1; i < sound.size(); ++i) EXPECT_GT(sound[i].second, sound[i - 1].second);
    EXPECT_NEAR(sound.back().first, video.back().first, 0.1);
  }
  // The track of 3 s to 15 s, a fix a second, in both texts.
  const std::string csv = zovtest::Slurp(out + "/2024-05-17_080003-080015_track.csv");
  const std::string gpx = zovtest::Slurp(out + "/2024-05-17_080003-080015_track.gpx");
  const long rows = std::count(csv.begin(), csv.end(), '\n') - 1;
  size_t points = 0;
  for (size_t at = gpx.find("<trkpt"); at != std::string::npos; at = gpx.find("<trkpt", at + 1)) ++points;
  EXPECT_EQ(rows, 13);
  EXPECT_EQ(points, 13u);
  const QImage still(QString::fromStdString(out + "/2024-05-17_080003-080015_start.png"));
  EXPECT_EQ(still.width(), 640);
  EXPECT_EQ(still.height(), 240);
}

TEST_F(ExportFiles, OverlayDrawsTheStripAndCopiesTheSound) {
  struct Case {
    ZovOverlayLayout layout;
    int width;
  } cases[] = {{ZovOverlayLayout::kSideBySide, 640}, {ZovOverlayLayout::kFrontOnly, 320}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.width);
    const std::string out = zovtest::TempDir();
    ZovExportRequest request = Request(5, 13, ZovExportKind::kOverlay, out);
    request.layout = c.layout;
    const ZovExportResult r = ZovRunExport(request);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.files.size(), 1u);
    Packets p;
    ReadPackets(r.files[0], p);
    ASSERT_EQ(p.params.size(), 2u);
    EXPECT_EQ(p.params[1]->codec_type, AVMEDIA_TYPE_AUDIO);
    int w = 0, h = 0;
    const auto pictures = DecodeLuma(r.files[0], &w, &h);
    EXPECT_EQ(pictures.size(), 80u);  // 8 s across the join, every picture re-encoded
    ASSERT_EQ(w, c.width);
    ASSERT_EQ(h, 240);
    // The clips are plain grey (luma about 126). The strip (the bottom 16
    // rows) is darkened, with white text in it; above it the picture is
    // untouched.
    for (size_t i : {size_t{0}, size_t{45}, pictures.size() - 1}) {
      const auto& y = pictures[i];
      int dark = 0, bright = 0, changedAbove = 0;
      for (int row = 0; row < h; ++row)
        for (int x = 0; x < w; ++x) {
          const int v = y[row * w + x];
          if (row >= h - 16) {
            dark += v < 80;
            bright += v > 180;
          } else if (row < h - 20) {
            changedAbove += std::abs(v - 126) > 8;
          }
        }
      EXPECT_GT(dark, w * 16 / 2) << "picture " << i;
      EXPECT_GT(bright, w / 4) << "picture " << i;
      EXPECT_LT(changedAbove, w) << "picture " << i;
    }
  }
}

TEST_F(ExportFiles, CancelAndWriteFailuresLeaveNoFile) {
  // Cancelled part-way through (from the progress callback, as a window's
  // button would between two calls), for both kinds.
  for (ZovExportKind kind : {ZovExportKind::kLossless, ZovExportKind::kOverlay}) {
    const std::string out = zovtest::TempDir();
    std::atomic<bool> cancel{false};
    ZovExportRequest request = Request(0, 20, kind, out);
    request.cancel = &cancel;
    request.progress = [&cancel](double f) {
      if (f > 0.3) cancel = true;
    };
    const ZovExportResult r = ZovRunExport(request);
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.cancelled);
    EXPECT_TRUE(Listing(out).empty());
  }
  // A read-only file system and a full one: small file systems of their own
  // (root only, as this machine's tests run).
  struct Case {
    const char* options;
    const char* reason;
  } cases[] = {{"size=1m,ro", "read-only"}, {"size=64k", "the disk is full"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options);
    const std::string dir = zovtest::TempDir() + "/mnt";
    fs::create_directories(dir);
    if (::mount("tmpfs", dir.c_str(), "tmpfs", std::string(c.options).find("ro") != std::string::npos ? MS_RDONLY : 0,
                std::string(c.options).substr(0, std::string(c.options).find(',')).c_str()) != 0)
      GTEST_SKIP() << "cannot mount a small file system here: " << strerror(errno);
    const ZovExportResult r = ZovRunExport(Request(0, 20, ZovExportKind::kLossless, dir));
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find(c.reason), std::string::npos) << r.error;
    EXPECT_TRUE(Listing(dir).empty());
    ::umount(dir.c_str());
  }
}

TEST_F(ExportFiles, ZovlibExport) {
  const std::string out = zovtest::TempDir();
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* out;  // part of standard output
    const char* err;  // part of standard error
  } cases[] = {
      {{"--export", "2024-05-17T07:59:50", "2024-05-17T08:00:04", out, "--no-position", "--index", DriveDir()},
       2, "", "unknown option --index"},
      {{"--export", "2024-05-17T07:59:50", "2024-05-17T08:00:04", out, "--no-position", DriveDir()},
       0, "2024-05-17_080000-080004_rear.mp4\n", "clipped to the drive: 2024-05-17T08:00:00 to"},
      {{"--export", "2024-05-17T09:00:00", "2024-05-17T09:01:00", out, DriveDir()}, 1, "", "no drive"},
      {{"--export", "08:00:00", "2024-05-17T09:01:00", out, DriveDir()}, 2, "", "--export needs"},
      {{"--overlay", DriveDir()}, 2, "", "go with --export"},
  };
  for (const Case& c : cases) {
    std::string o, e;
    EXPECT_EQ(ZovLibraryToolMain(c.args, o, e), c.status) << e;
    EXPECT_NE(o.find(c.out), std::string::npos) << o;
    EXPECT_NE(e.find(c.err), std::string::npos) << e;
  }
  // Privacy: pictures and sound only.
  EXPECT_EQ(Listing(out), (std::vector<std::string>{"2024-05-17_080000-080004_front.mp4",
                                                    "2024-05-17_080000-080004_rear.mp4",
                                                    "2024-05-17_080000-080004_start.png"}));
}

}  // namespace
