# File information view: row texts and probe rules, the probes on this
# machine, and the popup itself.
zov_add_gtest(ui_file_info_rows_test
  SOURCES file_info_rows_test.cpp
  LIBS zov_ui zov_engine zov_platform)

zov_add_gtest(ui_file_info_probes_test
  SOURCES file_info_probes_test.cpp
  LIBS zov_ui zov_platform
  XVFB LABELS window)

zov_add_gtest(ui_file_info_view_test
  SOURCES file_info_view_test.cpp
  LIBS zov_ui zov_gps zov_shell zov_engine zov_platform Qt6::Test
  XVFB LABELS window FIXTURES clips TIMEOUT 120)
if(TARGET zovQuelnaResource)
  add_dependencies(ui_file_info_view_test zovQuelnaResource)
endif()

zov_add_fuzz_target(ui_fuzz_os_release
  SOURCES fuzz_os_release.cpp
  LIBS zov_ui)
