# The Debian package, made from this build's install rules by CPack:
#   cpack --config build/CPackConfig.cmake      (scripts/package runs it)
# writes build/packages/zovgpsplay_VERSION_ARCH.deb.
#
# The installation folder ("base") lives in /usr/lib/zovgpsplay, where the
# player finds its libraries, settings and map pages beside itself; the
# packaging step (packaging/deb-layout.cmake) then moves share/ to /usr/share
# and links the programs users start into /usr/bin.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zovgpsplay)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "ZovGpsPlay developers")
set(CPACK_PACKAGE_CONTACT "ZovGpsPlay developers <packages@zovgpsplay.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr/lib/zovgpsplay)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/packages)
# Debug information stays in the build; the package gets stripped programs.
set(CPACK_STRIP_FILES ON)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/packaging/deb-layout.cmake)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# CPack indents the lines after the first and turns the empty line into
# Debian's paragraph mark.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "dash camera recording player with a GPS map
ZovGpsPlay plays the recordings of car dashboard cameras (MP4, MOV, TS, AVI,
MKV and MP3, up to three camera channels recorded together) and shows the
car moving along its GPS track on a map, with a speed dial and a compass,
while the video runs. It reads the GPS and G-sensor tracks that cameras
hide inside their recordings or write beside them, keeps a play list, takes
screenshots and speaks 17 languages.

The package also holds the command-line tools zovgps (prints a recording's
GPS track as CSV, GPX or GeoJSON), zovlib (lists the drives, moments and
camera channels of a memory card) and zovplay (plays camera channels side by
side and measures playback).")
# The libraries the programs link come from dpkg-shlibdeps (Debian's entry
# for the browser library also brings its helper process). Recommended, for
# what is loaded at run time: the fonts of the Asian interface languages,
# Qt's own translations and the software OpenGL driver for machines without
# a graphics driver, and the time zones the camera clock setting names.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk, qt6-translations-l10n, libgl1-mesa-dri, tzdata")

include(CPack)
