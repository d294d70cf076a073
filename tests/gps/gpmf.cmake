# Telemetry (GPMF) decoding tests and fuzz target (included by the folder's
# CMakeLists).
zov_add_gtest(gps_gpmf_test SOURCES test_gpmf_decode.cpp LIBS zov_gps)
