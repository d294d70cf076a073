# Telemetry (GPMF) decoding tests and fuzz target (included by the folder's
# CMakeLists).
zov_add_gtest(gps_gpmf_test SOURCES test_gpmf_decode.cpp LIBS zov_gps)

# The real camera recordings are not in the repository; their ExifTool
# readings are (tests/gps/samples). Tests that need the recordings skip
# without them.
set(ZOV_GPS_SAMPLES "${CMAKE_SOURCE_DIR}/../shared/samples" CACHE PATH
  "Folder of the real camera recordings for the GPS comparison tests")
zov_add_gtest(gps_gpmf_scan_test SOURCES test_gpmf_scan.cpp
  LIBS zov_gps zov_gpsfixture zov_gpsexport ENV "ZOV_GPS_SAMPLES=${ZOV_GPS_SAMPLES}")
zov_add_gtest(gps_zovgps_exports_test SOURCES test_zovgps_exports.cpp
  LIBS zov_gps zov_gpsfixture zov_gpsexport FIXTURES clips)
zov_add_fuzz_target(gps_fuzz_gpmf SOURCES fuzz_gpmf.cpp LIBS zov_gps
  CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/corpus/fuzz_gpmf)
