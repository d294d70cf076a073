# The play list store with its tracks (no window), then the list view and
# its bar (window tests).
zov_add_gtest(ui_file_list_store_test SOURCES test_file_list_store.cpp
  LIBS zov_ui zov_shell zov_gps zov_gpsfixture)
