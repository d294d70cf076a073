# Track helpers of the file list store: mainland outline, datum shift, the
# exchange texts read back, the point of a second.
zov_add_gtest(gps_track_test SOURCES test_track_helpers.cpp LIBS zov_gps)
zov_add_fuzz_target(gps_fuzz_track SOURCES fuzz_track.cpp LIBS zov_gps
  CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/corpus/fuzz_track)
