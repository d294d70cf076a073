# Third-party dependencies, found once for every folder.
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
pkg_check_modules(FFMPEG REQUIRED IMPORTED_TARGET
  libavformat libavcodec libavutil libswresample libswscale libavfilter)
pkg_check_modules(SQLITE3 REQUIRED IMPORTED_TARGET sqlite3)
pkg_check_modules(ALSA REQUIRED IMPORTED_TARGET alsa)
pkg_check_modules(LIBVA REQUIRED IMPORTED_TARGET libva libva-drm)
find_package(CURL REQUIRED)
find_package(OpenGL REQUIRED COMPONENTS OpenGL)
find_package(Qt6 REQUIRED COMPONENTS Core Gui Widgets OpenGL OpenGLWidgets WebEngineWidgets WebChannel)
find_package(GTest REQUIRED)
set(CMAKE_AUTOMOC ON)
