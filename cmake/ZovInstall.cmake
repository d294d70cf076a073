# The installed layout ("base"), laid out by `cmake --install` under any
# prefix (DESTDIR honoured):
#   tamarin                           launcher
#   bin/tamarinsoft                   player (its own folder's install rule)
#   bin/libzovQuelnaResource.so       resource library (resources/)
#   bin/libQORGPS.so                  coordinate library
#   setup/                            shipped settings file and map pages (setup/)
#   res/
#   share/applications/tamarinsoft.desktop, share/icons/hicolor/...
# Each rule is there only when its target is part of this build.
if(TARGET tamarin)
  install(TARGETS tamarin RUNTIME DESTINATION .)
endif()
if(TARGET QORGPS)
  install(TARGETS QORGPS LIBRARY DESTINATION bin)
endif()
install(DIRECTORY DESTINATION res)

if(TARGET tamarinsoft)
  # The desktop entry names the installed player by its full path, known only
  # at install time (`cmake --install --prefix` may change it).
  set(ZOV_DESKTOP_IN ${CMAKE_SOURCE_DIR}/app/tamarinsoft.desktop.in)
  set(ZOV_DESKTOP_OUT ${CMAKE_BINARY_DIR}/desktop/tamarinsoft.desktop)
  install(CODE "
    set(ZOV_PLAYER \"\${CMAKE_INSTALL_PREFIX}/bin/tamarinsoft\")
    configure_file(\"${ZOV_DESKTOP_IN}\" \"${ZOV_DESKTOP_OUT}\" @ONLY)
  ")
  install(FILES ${ZOV_DESKTOP_OUT} DESTINATION share/applications)
  install(DIRECTORY ${ZOV_ICON_DIR}/ DESTINATION share/icons/hicolor)
endif()
