// The machine probes of the file information view on this machine: Mesa's
// software OpenGL under a virtual X server, and no VA-API device.
#include <filesystem>
#include <string>

#include <QGuiApplication>

#include <gtest/gtest.h>

#include "ui/zov_file_info_probes.h"

namespace {

TEST(FileInfoProbes, OpenGlNamesTheAdapterAndCompilesTheYuvProgram) {
  const ZovGlProbe probe = ZovProbeOpenGl();
  EXPECT_NE(probe.renderer.find("llvmpipe"), std::string::npos) << probe.renderer;
  EXPECT_TRUE(probe.shaderOk);
}

TEST(FileInfoProbes, ProgramThatFailsToCompileAnswersNo) {
  const std::string broken = std::string(ZovYuvFragmentSource()) + "\nthis is not GLSL;\n";
  const ZovGlProbe probe = ZovProbeOpenGl(broken.c_str());
  EXPECT_FALSE(probe.renderer.empty());
  EXPECT_FALSE(probe.shaderOk);
}

TEST(FileInfoProbes, NoVaapiDeviceGivesNoAccel) {
  if (std::filesystem::exists("/dev/dri/renderD128")) GTEST_SKIP() << "this machine has a render node";
  const auto profiles = ZovQueryVaapiProfiles();
  EXPECT_TRUE(profiles.empty());
  const auto lists = ZovBuildHwProfileLists(profiles);
  EXPECT_EQ(lists.h264, "NO ACCEL");
  EXPECT_EQ(lists.hevc, "NO ACCEL");
}

TEST(FileInfoProbes, SystemTextOfThisMachine) {
  const std::string name = ZovReadPrettyName();
  EXPECT_FALSE(name.empty());
  EXPECT_EQ(name.find('"'), std::string::npos) << name;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
