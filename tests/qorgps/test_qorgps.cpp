// The coded-coordinate library as its users meet it: loaded with dlopen from
// the staged bin folder and called through the exported C name.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

#include "gps/zov_gps_format_constants.h"
#include "tests/common/test_paths.h"

namespace {

using ChangeFn = double (*)(double, int);

class Qorgps : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string path = zovtest::BinDir() + "/libQORGPS.so";
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle_, nullptr) << dlerror();
    fn_ = reinterpret_cast<ChangeFn>(dlsym(handle_, "changetoLatLon"));
    ASSERT_NE(fn_, nullptr) << dlerror();
  }
  void TearDown() override {
    if (handle_) dlclose(handle_);
  }
  void* handle_ = nullptr;
  ChangeFn fn_ = nullptr;
};

TEST_F(Qorgps, OffsetGivesExactlyZero) {
  EXPECT_EQ(fn_(kQorLatitudeOffset, 1), 0.0);
  EXPECT_EQ(fn_(kQorLongitudeOffset, 0), 0.0);
  EXPECT_EQ(fn_(kQorLongitudeOffset, 7), 0.0);
}

TEST_F(Qorgps, KindOneIsLatitudeEveryOtherKindLongitude) {
  const double lat = 22.5321, lon = -114.0583;
  EXPECT_NEAR(fn_(kQorLatitudeOffset + lat / kQorLatitudeScale, 1), lat, 1e-9);
  for (int kind : {0, 2, -1, 1000}) {
    EXPECT_NEAR(fn_(kQorLongitudeOffset + lon / kQorLongitudeScale, kind), lon, 1e-9) << kind;
  }
  // The latitude pair is not used for longitudes.
  EXPECT_NE(fn_(kQorLatitudeOffset, 2), 0.0);
}

TEST_F(Qorgps, NoRangeCheck) {
  // Out-of-range inputs give out-of-range degrees, unrounded.
  EXPECT_NEAR(fn_(kQorLatitudeOffset + 1000.0 / kQorLatitudeScale, 1), 1000.0, 1e-7);
  EXPECT_LT(fn_(0.0, 1), -80.0);
}

TEST_F(Qorgps, OnlyTheOneFunctionIsExported) {
  // The format constants stay inside the library.
  EXPECT_EQ(dlsym(handle_, "kQorLatitudeOffset"), nullptr);
  EXPECT_EQ(dlsym(handle_, "_Z14changetoLatLondi"), nullptr);
}

}  // namespace
