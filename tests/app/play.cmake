# The play window: transport decisions without windows, the window in the
# real left panel playing real clips, and the whole player end to end.

zov_add_gtest(app_play_transport_test
  SOURCES test_play_transport.cpp
  LIBS zov_app
  ENV QT_QPA_PLATFORM=offscreen
  TIMEOUT 60)

# Clips of at least 1 MiB (the play list refuses smaller video files) and a
# GPS text log written by the project's fixture writer.
set(zov_play_clip_cmd ${CMAKE_CURRENT_SOURCE_DIR}/make-play-clips ${ZOV_FIXTURE_DIR})
if(TARGET zovgpsfixture)
  list(APPEND zov_play_clip_cmd $<TARGET_FILE:zovgpsfixture>)
endif()
add_test(NAME fixtures.play_clips COMMAND ${zov_play_clip_cmd})
set_tests_properties(fixtures.play_clips PROPERTIES FIXTURES_SETUP play_clips TIMEOUT 300)

zov_add_gtest(app_play_window_test
  SOURCES test_play_window.cpp
  LIBS zov_app Qt6::Test
  XVFB LABELS window
  FIXTURES play_clips
  TIMEOUT 180)

# tamarinsoft on the demo recording for 10 s with no network.
if(TARGET tamarinsoft AND EXISTS ${CMAKE_SOURCE_DIR}/map/zov_cef_browers.h)
  add_test(NAME app_play_end_to_end
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/play-end-to-end ${ZOV_BASE_DIR} ${CMAKE_BINARY_DIR}/demo/demo.mp4
            ${CMAKE_BINARY_DIR}/tests/play-end-to-end)
  zov_sanitizer_env(sanitizer_env BROWSER)
  set_tests_properties(app_play_end_to_end PROPERTIES LABELS window TIMEOUT 180
    ENVIRONMENT "${sanitizer_env}")
endif()
