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

# The command-line tools that users run are installed beside the player.
# zovlib joins them once its folder is part of the build.
foreach(tool zovgps zovplay zovlib)
  if(TARGET ${tool})
    install(TARGETS ${tool} RUNTIME DESTINATION bin)
  endif()
endforeach()

# Manual pages (one per installed program, compressed as Debian wants them),
# the AppStream description, and the package's copyright and change log.
set(ZOV_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)
set(zov_doc_out ${CMAKE_BINARY_DIR}/packaging)
set(zov_doc_files)
foreach(program tamarinsoft zovgps zovplay zovlib)
  if(TARGET ${program})
    set(page ${zov_doc_out}/man/${program}.1.gz)
    add_custom_command(OUTPUT ${page}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${zov_doc_out}/man
      COMMAND sh -c "gzip -9nc \"$0\" > \"$1\"" ${ZOV_PACKAGING_DIR}/man/${program}.1 ${page}
      DEPENDS ${ZOV_PACKAGING_DIR}/man/${program}.1
      COMMENT "Compressing the manual page of ${program}"
      VERBATIM)
    list(APPEND zov_doc_files ${page})
    install(FILES ${page} DESTINATION share/man/man1)
  endif()
endforeach()
add_custom_command(OUTPUT ${zov_doc_out}/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${zov_doc_out}
  COMMAND sh -c "gzip -9nc \"$0\" > \"$1\"" ${ZOV_PACKAGING_DIR}/changelog ${zov_doc_out}/changelog.gz
  DEPENDS ${ZOV_PACKAGING_DIR}/changelog
  COMMENT "Compressing the change log"
  VERBATIM)
list(APPEND zov_doc_files ${zov_doc_out}/changelog.gz)
add_custom_target(zov_docs ALL DEPENDS ${zov_doc_files})
install(FILES ${ZOV_PACKAGING_DIR}/org.zovgpsplay.player.metainfo.xml DESTINATION share/metainfo)
install(FILES ${ZOV_PACKAGING_DIR}/copyright ${zov_doc_out}/changelog.gz DESTINATION share/doc/zovgpsplay)

include(ZovPackage)
