# zov_folder_library(NAME LINK libs...)
# One static library per subsystem folder, made of every .cpp/.h in that folder
# (sub-folders excluded). Include paths are relative to the repository root:
# #include "engine/zov_demuxer.h".
function(zov_folder_library name)
  cmake_parse_arguments(L "" "" "LINK;EXTRA_SOURCES" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS
    ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  add_library(zov_${name} STATIC ${sources} ${L_EXTRA_SOURCES})
  target_include_directories(zov_${name} PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(zov_${name} PUBLIC ${L_LINK} Threads::Threads)
endfunction()

# zov_add_gtest(NAME SOURCES files... LIBS libs... [XVFB] [FIXTURES f...] [LABELS l...] [TIMEOUT s])
# One GoogleTest program registered as one CTest test. XVFB runs it under a
# virtual X server. Every test sees ZOV_FIXTURE_DIR, ZOV_SOURCE_DIR and the
# "null" ALSA device.
function(zov_add_gtest name)
  cmake_parse_arguments(T "XVFB" "TIMEOUT" "SOURCES;LIBS;FIXTURES;LABELS;ENV" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${T_LIBS} zov_testcommon GTest::gmock GTest::gtest_main)
  if(T_XVFB)
    add_test(NAME ${name}
      COMMAND xvfb-run -a -s "-screen 0 1920x1200x24 -nolisten tcp" $<TARGET_FILE:${name}>)
    list(APPEND T_ENV "QT_QPA_PLATFORM=xcb" "LIBGL_ALWAYS_SOFTWARE=1")
  else()
    add_test(NAME ${name} COMMAND ${name})
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES
    TIMEOUT ${T_TIMEOUT}
    LABELS "${T_LABELS}"
    ENVIRONMENT "ZOV_FIXTURE_DIR=${ZOV_FIXTURE_DIR};ZOV_SOURCE_DIR=${CMAKE_SOURCE_DIR};ZOV_BIN_DIR=${ZOV_BIN_DIR};ZOV_AUDIO_DEVICE=null;${T_ENV}")
  if(T_FIXTURES)
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED "${T_FIXTURES}")
  endif()
endfunction()

# zov_add_fuzz_target(NAME SOURCES files... LIBS libs... [CORPUS dir])
# The sources define LLVMFuzzerTestOneInput. Always builds NAME_regress, which
# feeds every file of the saved corpus plus a bounded set of seeded random
# mutations to the target and is a CTest test. With ZOV_FUZZ=ON (clang) it
# also builds the libFuzzer program NAME.
function(zov_add_fuzz_target name)
  cmake_parse_arguments(F "" "CORPUS" "SOURCES;LIBS;FIXTURES" ${ARGN})
  add_executable(${name}_regress ${F_SOURCES} ${CMAKE_SOURCE_DIR}/tests/common/fuzz_regress_main.cpp)
  set_target_properties(${name}_regress PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_link_libraries(${name}_regress PRIVATE ${F_LIBS})
  add_test(NAME ${name}_regress COMMAND ${name}_regress ${F_CORPUS})
  set_tests_properties(${name}_regress PROPERTIES TIMEOUT 300 LABELS fuzz
    ENVIRONMENT "ZOV_FIXTURE_DIR=${ZOV_FIXTURE_DIR};ZOV_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
  if(F_FIXTURES)
    set_tests_properties(${name}_regress PROPERTIES FIXTURES_REQUIRED "${F_FIXTURES}")
  endif()
  if(ZOV_FUZZ AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    add_executable(${name} ${F_SOURCES})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_libraries(${name} PRIVATE ${F_LIBS})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
  endif()
endfunction()
