# Run by CPack after it installed the package's files into its staging
# folder (CPACK_TEMPORARY_DIRECTORY) and before it builds the package.
# The install rules lay out the installation folder under
# /usr/lib/zovgpsplay; the desktop's shared files move to /usr/share, and the
# programs users start get links in /usr/bin.
set(root "${CPACK_TEMPORARY_DIRECTORY}")
set(base "${root}${CPACK_PACKAGING_INSTALL_PREFIX}")
if(NOT IS_DIRECTORY "${base}/bin")
  message(FATAL_ERROR "deb-layout: ${base}/bin is missing")
endif()

if(IS_DIRECTORY "${base}/share")
  file(RENAME "${base}/share" "${root}/usr/share")
endif()

file(MAKE_DIRECTORY "${root}/usr/bin")
file(RELATIVE_PATH target_dir "${root}/usr/bin" "${base}/bin")
foreach(program tamarinsoft zovgps zovplay zovlib)
  if(EXISTS "${base}/bin/${program}")
    file(CREATE_LINK "${target_dir}/${program}" "${root}/usr/bin/${program}" SYMBOLIC)
  endif()
endforeach()

# The empty folder the player keeps for its resources stays; shared
# libraries that are loaded, not run, carry no execute bit.
file(GLOB libraries "${base}/bin/*.so")
foreach(library IN LISTS libraries)
  file(CHMOD "${library}" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endforeach()
