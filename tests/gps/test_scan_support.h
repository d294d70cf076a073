#pragma once
// Helpers of the container-scan, extractor and export-tool tests: fixture
// files written by the GPS fixture writer into a temporary folder, a sink that
// records what the scan hands over, and small byte builders for hostile files.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "gps/zov_gps_scan.h"
#include "tests/common/test_paths.h"
#include "tools/zovgpsfixture/zov_gps_fixture.h"

namespace zovgpstest {

using Bytes = std::vector<uint8_t>;

inline void WriteFile(const std::string& path, const Bytes& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
}

inline Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void Be32(Bytes& b, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) b.push_back(uint8_t(v >> s));
}
inline void Le32(Bytes& b, uint32_t v) {
  for (int s = 0; s <= 24; s += 8) b.push_back(uint8_t(v >> s));
}
inline Bytes Box(const char* type, const Bytes& body) {
  Bytes b;
  Be32(b, uint32_t(body.size() + 8));
  b.insert(b.end(), type, type + 4);
  b.insert(b.end(), body.begin(), body.end());
  return b;
}
inline Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// A MOV with stereo 16-bit 16 kHz PCM (`sowt`), made once per test program.
inline std::string SowtClip() {
  static std::string path;
  if (path.empty()) {
    path = zovtest::TempDir() + "/sowt_clip.mov";
    const std::string cmd =
        "ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi -i testsrc2=size=320x240:rate=30:duration=3 "
        "-f lavfi -i sine=sample_rate=16000:duration=3 -c:v libx264 -preset ultrafast -pix_fmt yuv420p "
        "-g 15 -c:a pcm_s16le -ac 2 '" + path + "'";
    if (std::system(cmd.c_str()) != 0) path = "/nonexistent/sowt_clip.mov";
  }
  return path;
}

// Folder of the real camera recordings (ZOV_GPS_SAMPLES, else the shared
// folder beside the repository). They are not part of the repository: tests
// that need them skip when they are absent.
inline std::string SamplesDir() {
  const char* env = std::getenv("ZOV_GPS_SAMPLES");
  return env && *env ? std::string(env) : zovtest::SourceDir() + "/../shared/samples";
}

// The clip a layout is written into, and the extension its output needs.
inline std::string ClipFor(ZovFixtureLayout l) {
  switch (l) {
    case ZovFixtureLayout::kTransportStream: return zovtest::Fixture("h264_aac.ts");
    case ZovFixtureLayout::kAviJunk: return zovtest::Fixture("mjpeg_pcm.avi");
    case ZovFixtureLayout::kFreeGpsSowt: return SowtClip();
    case ZovFixtureLayout::kGpmdTrack: return zovtest::Fixture("h264_60fps_noaudio.mp4");
    default: return zovtest::Fixture("h264_aac48_30fps.mp4");
  }
}
inline const char* ExtensionFor(ZovFixtureLayout l) {
  switch (l) {
    case ZovFixtureLayout::kTransportStream: return "ts";
    case ZovFixtureLayout::kAviJunk: return "avi";
    case ZovFixtureLayout::kFreeGpsSowt: return "MOV";
    case ZovFixtureLayout::kTextTrack: return "mov";
    case ZovFixtureLayout::kTextG1: case ZovFixtureLayout::kTextG2: case ZovFixtureLayout::kTextG3:
    case ZovFixtureLayout::kTextG4: case ZovFixtureLayout::kTextC1: case ZovFixtureLayout::kTextC2:
      return "txt";
    default: return "mp4";
  }
}

// Writes the track in the layout; fails the test when the writer fails.
inline std::string WriteLayout(ZovFixtureLayout l, const ZovFixtureTrack& track,
                               const ZovFixtureOptions& options = {},
                               const std::string& tag = "") {
  const std::string out = zovtest::TempDir() + "/" + ZovFixtureLayoutName(l) + tag + "." +
                          ExtensionFor(l);
  std::string error;
  EXPECT_TRUE(ZovWriteFixture(l, ClipFor(l), out, track, options, &error)) << error;
  return out;
}

// Records everything the scan hands over.
struct RecordingSink : IZovGpsScanSink {
  std::vector<Bytes> blocks;
  std::vector<std::pair<Bytes, uint32_t>> records;
  std::vector<Bytes> amba;
  size_t fixes = 0;
  int OnBlock(const uint8_t* d, size_t n) override {
    blocks.emplace_back(d, d + n);
    return 0;
  }
  void OnBinaryRecord(const uint8_t* r, uint32_t index) override {
    records.emplace_back(Bytes(r, r + zovscan::kBinaryRecord), index);
  }
  void OnAmbaRecord(const uint8_t* d, size_t n) override { amba.emplace_back(d, d + n); }
  size_t FixCount() const override { return fixes; }
};

inline bool Contains(const Bytes& b, const std::string& s) {
  return std::search(b.begin(), b.end(), s.begin(), s.end()) != b.end();
}

}  // namespace zovgpstest
