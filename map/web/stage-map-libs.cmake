# Stages the map pages' libraries into the setup folder:
#   cmake -DNODE_MODULES=<dir> -DOUT=<setup/map/lib> -P stage-map-libs.cmake
# Leaflet (script, style, images), the TopoJSON reader, and the Natural Earth
# countries (10m) as lib/basemap.js, a script that sets window.ZOV_BASEMAP, so
# the page reads it from a plain <script> without any file requests.
foreach(var NODE_MODULES OUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "stage-map-libs: ${var} not given")
  endif()
endforeach()

set(leaflet ${NODE_MODULES}/leaflet/dist)
set(topojson ${NODE_MODULES}/topojson-client/dist)
set(atlas ${NODE_MODULES}/world-atlas)
foreach(f ${leaflet}/leaflet.js ${leaflet}/leaflet.css ${topojson}/topojson-client.min.js
          ${atlas}/countries-10m.json)
  if(NOT EXISTS ${f})
    message(FATAL_ERROR "stage-map-libs: ${f} is missing (npm install failed?)")
  endif()
endforeach()

file(MAKE_DIRECTORY ${OUT}/images ${OUT}/licenses)
file(COPY ${leaflet}/leaflet.js ${leaflet}/leaflet.css ${topojson}/topojson-client.min.js
     DESTINATION ${OUT})
file(GLOB images ${leaflet}/images/*.png)
file(COPY ${images} DESTINATION ${OUT}/images)
file(COPY_FILE ${NODE_MODULES}/leaflet/LICENSE ${OUT}/licenses/leaflet.txt)
file(COPY_FILE ${NODE_MODULES}/topojson-client/LICENSE ${OUT}/licenses/topojson-client.txt)
file(COPY_FILE ${atlas}/LICENSE ${OUT}/licenses/world-atlas.txt)

file(READ ${atlas}/countries-10m.json topology)
file(WRITE ${OUT}/basemap.js.tmp
  "// Natural Earth 1:10m countries and land (public domain), as TopoJSON.\n"
  "window.ZOV_BASEMAP = ${topology};\n")
file(RENAME ${OUT}/basemap.js.tmp ${OUT}/basemap.js)
