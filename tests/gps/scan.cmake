# Container scan, extractor, clean-up and export tool tests (included by the
# folder's CMakeLists).
zov_add_gtest(gps_cleanup_test SOURCES test_cleanup_steps.cpp LIBS zov_gps)
zov_add_gtest(gps_scan_test SOURCES test_scan_layouts.cpp
  LIBS zov_gps zov_gpsfixture FIXTURES clips ENV "ZOV_GPS_SAMPLES=${ZOV_GPS_SAMPLES}")
zov_add_gtest(gps_extract_test SOURCES test_extract_layouts.cpp
  LIBS zov_gps zov_gpsfixture zov_gpsexport FIXTURES clips ENV "ZOV_GPS_SAMPLES=${ZOV_GPS_SAMPLES}")
if(TARGET zovgps)
  zov_add_gtest(gps_zovgps_test SOURCES test_zovgps_golden.cpp
    LIBS zov_gps zov_gpsfixture FIXTURES clips)
  add_dependencies(gps_zovgps_test zovgps)
endif()
zov_add_fuzz_target(gps_fuzz_extract SOURCES fuzz_extract.cpp LIBS zov_gps
  CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/corpus/fuzz_extract)
