# Writes "<layer> <path relative to the root>" lines for every header and source of every layer,
# in the order of the layer table. Used by scripts/coverage to add up coverage per layer.
#   cmake -DZYR_ROOT=<source tree> -DZYR_OUT=<file> -P cmake/ListLayerFiles.cmake
cmake_minimum_required(VERSION 3.24)
if(NOT ZYR_ROOT)
  get_filename_component(ZYR_ROOT ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
endif()
include(${ZYR_ROOT}/cmake/ZyrLayers.cmake)
set(lines "")
foreach(layer IN LISTS ZYR_LAYER_NAMES)
  zyr_layer_files(${layer} ${ZYR_ROOT} files)
  foreach(f IN LISTS files)
    file(RELATIVE_PATH rel ${ZYR_ROOT} ${f})
    string(APPEND lines "${layer} ${rel}\n")
  endforeach()
endforeach()
file(WRITE ${ZYR_OUT} "${lines}")
