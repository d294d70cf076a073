# The play list store with its tracks (no window), then the list view and
# its bar (window tests).
zov_add_gtest(ui_file_list_store_test SOURCES test_file_list_store.cpp
  LIBS zov_library zov_shell zov_gps zov_gpsfixture
  FIXTURES clips)
zov_add_gtest(ui_file_list_view_test
  SOURCES test_file_list_view.cpp ui_test_support.cpp
  LIBS zov_ui zov_shell zov_engine zov_platform Qt6::Test
  XVFB LABELS window FIXTURES clips TIMEOUT 120)
if(TARGET zovQuelnaResource)
  add_dependencies(ui_file_list_view_test zovQuelnaResource)
endif()
