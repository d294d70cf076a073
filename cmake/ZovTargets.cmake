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

# zov_sanitizer_env(OUT [BROWSER])
# The sanitizer options of a test of this build folder, as "NAME=value;"
# entries, so that ctest run by hand reports as scripts/test does, and how many
# times slower the instrumented code runs (ZOV_TEST_SLOWDOWN, which widens the
# tests' bounds against runaway loops). BROWSER: the
# test's processes host the embedded browser, whose own teardown deletes a
# page through a pointer of another size (an abort in the browser library, not
# in this project's code); ASan's new/delete size check is off for those
# processes only, every other check stays on.
function(zov_sanitizer_env out)
  set(env "")
  if(ZOV_SANITIZE STREQUAL "thread")
    set(env "TSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/tsan.supp:halt_on_error=1:second_deadlock_stack=1:print_suppressions=0;ZOV_TEST_SLOWDOWN=8;")
  elseif(ZOV_SANITIZE)
    # intercept_tls_get_addr=0: this runtime records each thread's dynamic TLS
    # blocks itself, and its leak check at exit then scans blocks of threads
    # that are ending (the browser engine's, which run on past main) from a
    # bogus start: "Tracer caught signal 11" in about one exit in ten under
    # load. Unrecorded, those blocks are plain heap reached through glibc's
    # own table, so the check still sees what they point to.
    set(asan "detect_leaks=1:abort_on_error=1:intercept_tls_get_addr=0")
    if("BROWSER" IN_LIST ARGN)
      string(APPEND asan ":new_delete_type_mismatch=0")
    endif()
    set(env "ZOV_TEST_SLOWDOWN=4;ASAN_OPTIONS=${asan};LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0;UBSAN_OPTIONS=print_stacktrace=1;")
  endif()
  set(${out} "${env}" PARENT_SCOPE)
endfunction()

# zov_add_gtest(NAME SOURCES files... LIBS libs... [XVFB] [BROWSER] [FIXTURES f...] [LABELS l...] [TIMEOUT s])
# One GoogleTest program registered as one CTest test. XVFB runs it under a
# virtual X server of its own, which stays up when its last client leaves
# (-noreset: otherwise a program that connects just then sometimes cannot).
# BROWSER: see zov_sanitizer_env. Every test sees ZOV_FIXTURE_DIR,
# ZOV_SOURCE_DIR, the "null" ALSA device and the sanitizer options.
function(zov_add_gtest name)
  cmake_parse_arguments(T "XVFB;BROWSER" "TIMEOUT" "SOURCES;LIBS;FIXTURES;LABELS;ENV" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${T_LIBS} zov_testcommon GTest::gmock GTest::gtest_main)
  # Under AddressSanitizer GCC's maybe-uninitialized analysis reports false
  # positives inside libstdc++'s <regex>; the other builds keep the warning.
  if(ZOV_SANITIZE AND NOT ZOV_SANITIZE STREQUAL "thread" AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${name} PRIVATE -Wno-maybe-uninitialized)
  endif()
  if(T_XVFB)
    # Windows are laid out from the skin of the resource library; without it
    # a main window is one pixel high and never shown.
    if(TARGET zovQuelnaResource)
      add_dependencies(${name} zovQuelnaResource)
    endif()
    add_test(NAME ${name}
      COMMAND xvfb-run -a -s "-screen 0 1920x1200x24 -nolisten tcp -noreset" $<TARGET_FILE:${name}>)
    # No session bus: without this the bus library starts one by forking a
    # launcher from a threaded program, and under AddressSanitizer that child
    # can hang for good on an allocator lock another thread held at the fork.
    list(APPEND T_ENV "QT_QPA_PLATFORM=xcb" "LIBGL_ALWAYS_SOFTWARE=1" "DBUS_SESSION_BUS_ADDRESS=disabled:")
  else()
    add_test(NAME ${name} COMMAND ${name})
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  if(ZOV_SANITIZE)
    # Instrumented code runs several times slower.
    math(EXPR T_TIMEOUT "${T_TIMEOUT} * 3")
  endif()
  if(T_BROWSER)
    zov_sanitizer_env(sanitizer_env BROWSER)
  else()
    zov_sanitizer_env(sanitizer_env)
  endif()
  set_tests_properties(${name} PROPERTIES
    TIMEOUT ${T_TIMEOUT}
    LABELS "${T_LABELS}"
    ENVIRONMENT "ZOV_FIXTURE_DIR=${ZOV_FIXTURE_DIR};ZOV_SOURCE_DIR=${CMAKE_SOURCE_DIR};ZOV_BIN_DIR=${ZOV_BIN_DIR};ZOV_AUDIO_DEVICE=null;${sanitizer_env}${T_ENV}")
  if(T_FIXTURES)
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED "${T_FIXTURES}")
  endif()
endfunction()

# zov_add_fuzz_target(NAME SOURCES files... LIBS libs... [CORPUS dir])
# The sources define LLVMFuzzerTestOneInput. Always builds NAME_regress, which
# feeds every file of the saved corpus plus a bounded set of seeded random
# mutations to the target and is a CTest test. With ZOV_FUZZ=ON (clang) it
# also builds the libFuzzer program NAME.
# ZOV_FUZZ_REGRESS=OFF leaves them out (the ThreadSanitizer folder: each runs
# on one thread).
option(ZOV_FUZZ_REGRESS "Build and register the fuzz targets' regression tests" ON)
function(zov_add_fuzz_target name)
  cmake_parse_arguments(F "" "CORPUS" "SOURCES;LIBS;FIXTURES" ${ARGN})
  if(NOT ZOV_FUZZ_REGRESS AND NOT ZOV_FUZZ)
    return()
  endif()
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
