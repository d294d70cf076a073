# Side files of public layouts (NMEA, stamped NMEA, day logs, subtitles,
# GPX): parsers, look-up beside recordings, attachment by time, the peer
# comparison and the fuzz target (included by the folder's CMakeLists).
zov_add_gtest(gps_side_test SOURCES test_side_layouts.cpp test_side_files.cpp
  LIBS zov_gps zov_gpsfixture zov_gpsexport FIXTURES clips)
zov_add_gtest(gps_side_peers_test SOURCES test_side_peers.cpp
  LIBS zov_gps zov_gpsfixture zov_gpsexport)
zov_add_fuzz_target(gps_fuzz_side SOURCES fuzz_side.cpp LIBS zov_gps
  CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/corpus/fuzz_side)
