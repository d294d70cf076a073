# Channel views, sound output, players, read thread, scheduler and the
# media-play manager.

zov_add_gtest(engine_render_view_test
  SOURCES test_render_view.cpp
  LIBS zov_engine
  XVFB
  LABELS window
  TIMEOUT 120)

zov_add_gtest(engine_audio_test
  SOURCES test_audio_output.cpp
  LIBS zov_engine
  FIXTURES clips
  TIMEOUT 120)

# Clips of the player tests (a longer recording with regular key frames).
add_test(NAME fixtures.player_clips
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/make-player-clips ${ZOV_FIXTURE_DIR})
set_tests_properties(fixtures.player_clips PROPERTIES
  FIXTURES_SETUP player_clips FIXTURES_REQUIRED clips TIMEOUT 300)

zov_add_gtest(engine_scheduler_test
  SOURCES test_scheduler_decisions.cpp
  LIBS zov_engine
  TIMEOUT 60)

zov_add_gtest(engine_player_test
  SOURCES test_player_playback.cpp
  LIBS zov_engine
  FIXTURES clips player_clips
  TIMEOUT 120)

zov_add_gtest(engine_interface_test
  SOURCES test_engine_interface.cpp
  LIBS zov_engine
  FIXTURES clips player_clips
  TIMEOUT 120)

zov_add_gtest(engine_player_window_test
  SOURCES test_player_window.cpp
  LIBS zov_engine
  XVFB
  LABELS window
  FIXTURES clips
  TIMEOUT 120)

# Damaged and unusual recordings, made by ffmpeg and damaged by a script.
add_test(NAME fixtures.damaged_clips
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/make-damaged-clips ${ZOV_FIXTURE_DIR})
set_tests_properties(fixtures.damaged_clips PROPERTIES FIXTURES_SETUP damaged_clips TIMEOUT 300)

zov_add_gtest(engine_player_damaged_test
  SOURCES test_player_damaged.cpp
  LIBS zov_engine
  FIXTURES clips damaged_clips
  TIMEOUT 120)

# Matroska, WebM, MOV and MP4 with and without sound and reordered pictures.
add_test(NAME fixtures.container_clips
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/make-container-clips ${ZOV_FIXTURE_DIR})
set_tests_properties(fixtures.container_clips PROPERTIES FIXTURES_SETUP container_clips TIMEOUT 300)

zov_add_gtest(engine_player_containers_test
  SOURCES test_player_containers.cpp
  LIBS zov_engine
  FIXTURES container_clips
  TIMEOUT 120)

# Drives: moments played one after the other (short front + rear pairs, one
# of another size and frame rate, an unplayable rear, an unplayable moment).
add_test(NAME fixtures.drive_clips
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/make-drive-clips ${ZOV_FIXTURE_DIR})
set_tests_properties(fixtures.drive_clips PROPERTIES FIXTURES_SETUP drive_clips TIMEOUT 300)

zov_add_gtest(engine_drive_test
  SOURCES test_drive_play.cpp
  LIBS zov_engine
  FIXTURES drive_clips
  TIMEOUT 180)

# Frame steps and playback speed on clips made by the test itself.
zov_add_gtest(engine_frame_step_test
  SOURCES test_frame_step.cpp
  LIBS zov_engine
  TIMEOUT 180)
