#pragma once
// A transport stream whose GPS scan is long: copies of 3 MB of packets, each
// with a 20 s drive written by the project's fixture writer, so the scan
// reads many windows and finds many blocks. Tests that link zov_gpsfixture.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tools/zovgpsfixture/zov_gps_fixture.h"

namespace zovtest {

inline std::string MakeLongGpsStream(const std::string& dir, int copies) {
  std::filesystem::create_directories(dir);
  const std::string clip = dir + "/null.ts";
  {
    std::ofstream out(clip, std::ios::binary);
    std::string packet(188, '\xFF');  // null packets (PID 0x1FFF)
    packet[0] = 0x47, packet[1] = 0x1F, packet[3] = 0x10;
    for (int i = 0; i < 16000; ++i) out << packet;
  }
  const std::string one = dir + "/one.ts";
  std::string error;
  EXPECT_TRUE(ZovWriteFixture(ZovFixtureLayout::kTransportStream, clip, one, ZovFixtureDrive(20), {}, &error))
      << error;
  const std::string path = dir + "/long.ts";
  std::ofstream out(path, std::ios::binary);
  for (int i = 0; i < copies; ++i) out << std::ifstream(one, std::ios::binary).rdbuf();
  return path;
}

}  // namespace zovtest
