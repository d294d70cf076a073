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
