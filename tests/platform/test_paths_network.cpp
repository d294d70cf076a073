// Folders from the environment, the route-table check and the resource
// module loader's refusals.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/zov_module.h"
#include "platform/zov_network.h"
#include "platform/zov_paths.h"
#include "tests/common/test_paths.h"

namespace {

// Sets an environment variable for one test and puts the old value back.
class EnvGuard {
 public:
  EnvGuard(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) {
      had_ = true;
      old_ = old;
    }
    if (value) setenv(name, value, 1);
    else unsetenv(name);
  }
  ~EnvGuard() {
    if (had_) setenv(name_, old_.c_str(), 1);
    else unsetenv(name_);
  }

 private:
  const char* name_;
  bool had_ = false;
  std::string old_;
};

TEST(Paths, ExecutablePathIsThisProgram) {
  std::string exe = ZovExecutablePath();
  ASSERT_FALSE(exe.empty());
  EXPECT_EQ(exe.front(), '/');
  EXPECT_NE(exe.find("platform_profile_test"), std::string::npos) << exe;
}

TEST(Paths, XdgFoldersAndFallbacks) {
  {
    EnvGuard c("XDG_CONFIG_HOME", "/srv/conf//");
    EnvGuard k("XDG_CACHE_HOME", "/srv/cache");
    EXPECT_EQ(ZovConfigHome(), "/srv/conf");
    EXPECT_EQ(ZovCacheHome(), "/srv/cache");
    EXPECT_EQ(ZovUserFolder(), "/srv/conf/ZovGpsPlay/");
  }
  {
    // Relative values are not valid base directories.
    EnvGuard c("XDG_CONFIG_HOME", "relative/conf");
    EnvGuard k("XDG_CACHE_HOME", nullptr);
    EnvGuard h("HOME", "/home/tester");
    EXPECT_EQ(ZovConfigHome(), "/home/tester/.config");
    EXPECT_EQ(ZovCacheHome(), "/home/tester/.cache");
  }
  {
    EnvGuard t("TMPDIR", "/var/tmp/");
    EXPECT_EQ(ZovTempPath(), "/var/tmp/");
  }
  {
    EnvGuard t("TMPDIR", nullptr);
    EXPECT_EQ(ZovTempPath(), "/tmp/");
  }
}

TEST(Paths, EnsureFolder) {
  std::string base = zovtest::TempDir();
  EXPECT_TRUE(ZovEnsureFolder(base + "/karu"));
  EXPECT_TRUE(ZovEnsureFolder(base + "/karu"));  // exists: nothing to do
  EXPECT_FALSE(ZovEnsureFolder(base + "/no/such/parent"));
}

TEST(Network, RouteTable) {
  const std::string header =
      "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";
  EXPECT_TRUE(ZovRouteTableHasDefault(header +
                                      "eth0\t00000000\t0102A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
                                      "eth0\t0002A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n"));
  // Only a local network route.
  EXPECT_FALSE(ZovRouteTableHasDefault(header +
                                       "eth0\t0002A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n"));
  // A default route that is not up.
  EXPECT_FALSE(ZovRouteTableHasDefault(header +
                                       "eth0\t00000000\t0102A8C0\t0002\t0\t0\t100\t00000000\t0\t0\t0\n"));
  EXPECT_FALSE(ZovRouteTableHasDefault(""));
  EXPECT_FALSE(ZovRouteTableHasDefault(header + "garbage\n"));
}

TEST(Network, EnvironmentOverrides) {
  {
    EnvGuard g("ZOV_ONLINE", "0");
    EXPECT_FALSE(ZovIsOnline());
  }
  {
    EnvGuard g("ZOV_ONLINE", "1");
    EXPECT_TRUE(ZovIsOnline());
  }
}

TEST(ResourceModule, MissingOrForeignLibraries) {
  CZovResourceModule m;
  EXPECT_FALSE(m.Load("libzov-no-such-library.so"));
  EXPECT_FALSE(m.IsLoaded());
  const unsigned char* data = reinterpret_cast<const unsigned char*>("x");
  unsigned int size = 7;
  EXPECT_FALSE(m.Find("STRING", 1, &data, &size));
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(size, 0u);
  // A real library without the look-up export is refused.
  EXPECT_FALSE(m.Load("libm.so.6"));
  EXPECT_FALSE(m.IsLoaded());
}

TEST(ResourceModule, FindsResourcesByTypeAndId) {
  CZovResourceModule m;
  // A bare name is found in the executable's folder.
  ASSERT_TRUE(m.Load("libzov_test_resource_module.so"));
  ASSERT_TRUE(m.IsLoaded());
  const unsigned char* data = nullptr;
  unsigned int size = 0;
  ASSERT_TRUE(m.Find("STRING", 10106, &data, &size));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(data), size), "10,20,300,40");
  ASSERT_TRUE(m.Find("PNG", 10101, &data, &size));
  EXPECT_EQ(size, 8u);
  EXPECT_EQ(data[1], 'P');
  EXPECT_FALSE(m.Find("PNG", 10106, &data, &size));
  EXPECT_EQ(size, 0u);
  EXPECT_FALSE(m.Find(nullptr, 10106, &data, &size));
  m.Unload();
  EXPECT_FALSE(m.Find("STRING", 10106, &data, &size));
  // A full path works as well.
  std::string exe = ZovExecutablePath();
  ASSERT_TRUE(m.Load(exe.substr(0, exe.rfind('/') + 1) + "libzov_test_resource_module.so"));
  EXPECT_TRUE(m.Find("STRING", 10106, &data, &size));
}

}  // namespace
