# Text tables and the resource library (included by tests/shell/CMakeLists.txt).
zov_add_gtest(shell_text_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_text_tables.cpp
  LIBS zov_shell)

# Needs the built resource library beside the program files (ZOV_BIN_DIR).
if(TARGET zovQuelnaResource)
  zov_add_gtest(shell_resources_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_resources_library.cpp
            ${CMAKE_CURRENT_LIST_DIR}/test_resources_skin.cpp
    LIBS zov_shell Qt6::Gui ${CMAKE_DL_LIBS}
    ENV QT_QPA_PLATFORM=offscreen)
  add_dependencies(shell_resources_test zovQuelnaResource)
endif()

# Any bytes through the string-resource readers and any key through the
# look-up.
zov_add_fuzz_target(shell_fuzz_resource_strings
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_resource_strings.cpp
  LIBS zov_shell
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus_resource_strings)
