# cmake -DBUILD=<build folder> -P make-deb.cmake
# Makes the package afresh in BUILD/packages with the build's CPack settings.
file(GLOB old "${BUILD}/packages/zovgpsplay_*.deb")
if(old)
  file(REMOVE ${old})
endif()
execute_process(COMMAND cpack --config "${BUILD}/CPackConfig.cmake"
  WORKING_DIRECTORY "${BUILD}" RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
file(GLOB made "${BUILD}/packages/zovgpsplay_*.deb")
if(NOT result EQUAL 0 OR NOT made)
  message(FATAL_ERROR "cpack failed (${result}):\n${out}")
endif()
message(STATUS "made ${made}")
