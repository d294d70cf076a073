# Stages the map pages' libraries into the setup folder:
#   cmake -DNODE=<node> -DNODE_MODULES=<dir> -DOUT=<setup/map/lib> -P stage-map-libs.cmake
# Leaflet (script, style, images) and lib/basemap.js with
# lib/basemap-10m.js, the Natural Earth land and borders packed by
# make-basemap.js into scripts that set window.ZOV_BASEMAP (the coarser
# scales, read from a plain <script>) and window.ZOV_BASEMAP_LEVEL (the
# finest, which the page adds when a closer view first needs it).
foreach(var NODE NODE_MODULES OUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "stage-map-libs: ${var} not given")
  endif()
endforeach()

set(leaflet ${NODE_MODULES}/leaflet/dist)
set(atlas ${NODE_MODULES}/world-atlas)
foreach(f ${leaflet}/leaflet.js ${leaflet}/leaflet.css ${atlas}/countries-110m.json
          ${atlas}/countries-50m.json ${atlas}/countries-10m.json)
  if(NOT EXISTS ${f})
    message(FATAL_ERROR "stage-map-libs: ${f} is missing (npm install failed?)")
  endif()
endforeach()

file(MAKE_DIRECTORY ${OUT}/images ${OUT}/licenses)
file(COPY ${leaflet}/leaflet.js ${leaflet}/leaflet.css DESTINATION ${OUT})
file(GLOB images ${leaflet}/images/*.png)
file(COPY ${images} DESTINATION ${OUT}/images)
file(COPY_FILE ${NODE_MODULES}/leaflet/LICENSE ${OUT}/licenses/leaflet.txt)
file(COPY_FILE ${atlas}/LICENSE ${OUT}/licenses/world-atlas.txt)

execute_process(
  COMMAND ${NODE} ${CMAKE_CURRENT_LIST_DIR}/make-basemap.js ${NODE_MODULES} ${OUT}
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "stage-map-libs: make-basemap.js failed (${result})")
endif()
