# The timeline under the video (window tests).
zov_add_gtest(ui_gsensor_view_test
  SOURCES test_gsensor_view.cpp ui_test_support.cpp
  LIBS zov_ui zov_library zov_shell zov_platform Qt6::Test
  XVFB LABELS window TIMEOUT 120)
if(TARGET zovQuelnaResource)
  add_dependencies(ui_gsensor_view_test zovQuelnaResource)
endif()
