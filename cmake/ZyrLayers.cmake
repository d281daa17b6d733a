# The layer table, read by the build (cmake/Zyr.cmake) and by the layering check
# (cmake/CheckLayers.cmake). For each layer: the directories it owns, the files it owns in
# another layer's directory (named one by one, without extension: the record's .h and .cpp),
# and the layers below it that it may use directly. A layer may use what those use in turn.
set(ZYR_LAYER_NAMES zyr_md5 zyr_interlock zyr_units zyr_foundation wezio zyr_store vsnapilt ratlas zyr_topology
                    zyr_mesh zyr_exchange zyr_api zyr_qiv zyr_classes)
set(_s zyr_common/src)

set(ZYR_LAYER_zyr_md5_DIRS md5)
set(ZYR_LAYER_zyr_md5_USES)

# Pause points, leftovers of ended processes and interrupt requests, for every layer that shares
# files.
set(ZYR_LAYER_zyr_interlock_DIRS interlock)
set(ZYR_LAYER_zyr_interlock_USES)

set(ZYR_LAYER_zyr_units_DIRS platform/units)
set(ZYR_LAYER_zyr_units_USES)

set(ZYR_LAYER_zyr_foundation_DIRS ${_s}/utilities ${_s}/data_structures ${_s}/errors ${_s}/debug
                                  ${_s}/regexp ${_s}/maths ${_s}/process ${_s}/interprocess)
set(ZYR_LAYER_zyr_foundation_USES zyr_md5 zyr_interlock zyr_units)

set(ZYR_LAYER_wezio_DIRS io/Src/Main)
set(ZYR_LAYER_wezio_USES zyr_interlock)

set(ZYR_LAYER_zyr_store_DIRS ${_s}/database)
set(ZYR_LAYER_zyr_store_USES zyr_foundation wezio)

set(ZYR_LAYER_vsnapilt_DIRS vsnapilt/src vsnapilt/pgt)
set(ZYR_LAYER_vsnapilt_USES zyr_md5 zyr_units)

set(ZYR_LAYER_ratlas_DIRS ratlas/src)
set(ZYR_LAYER_ratlas_USES wezio vsnapilt)

set(ZYR_LAYER_zyr_topology_DIRS ${_s}/topology ${_s}/vsn)
set(ZYR_LAYER_zyr_topology_USES zyr_foundation zyr_store ratlas)

set(ZYR_LAYER_zyr_mesh_DIRS ${_s}/mesh ${_s}/analysis ${_s}/display)
set(ZYR_LAYER_zyr_mesh_USES zyr_foundation zyr_store zyr_topology)

set(ZYR_LAYER_zyr_exchange_DIRS ${_s}/import ${_s}/export ${_s}/support)
set(ZYR_LAYER_zyr_exchange_FILES ${_s}/vsn/zyrZoneMap)
set(ZYR_LAYER_zyr_exchange_USES zyr_foundation zyr_store zyr_topology zyr_mesh vsnapilt ratlas wezio)

# The session player lives beside the debug manager, the Model beside the topology.
set(ZYR_LAYER_zyr_api_DIRS ${_s}/api)
set(ZYR_LAYER_zyr_api_FILES ${_s}/debug/Session ${_s}/debug/SessionFile ${_s}/debug/SessionKeywords
                             ${_s}/debug/SessionPlayer ${_s}/topology/Model ${_s}/topology/ModelParameters
                             ${_s}/topology/ModelGluing ${_s}/topology/ModelEditing ${_s}/topology/ModelImport
                             ${_s}/topology/ModelExport)
# The Model's queries, names, region modification and mesh match.
list(APPEND ZYR_LAYER_zyr_api_FILES ${_s}/topology/ModelQueries ${_s}/topology/ModelComposites
                                    ${_s}/topology/ModelModify ${_s}/topology/ModelMatch)
set(ZYR_LAYER_zyr_api_USES zyr_exchange zyr_mesh zyr_topology zyr_store zyr_foundation)

# The framework classes' headers are public, beside the exported classes' own.
set(ZYR_LAYER_zyr_qiv_DIRS platform/qiv)
set(ZYR_LAYER_zyr_qiv_FILES)
foreach(_h zyrExport QIVFramework QIVError QIVMessage ErrorMsg ErrorProgressReporter OperationTimer
           StringUtilities Quantity UnitsConverter QIVVector TripletBase TripletQIVVector IntQIVVector
           GeometricAlgorithmInterface)
  list(APPEND ZYR_LAYER_zyr_qiv_FILES include/zyr/${_h})
endforeach()
set(ZYR_LAYER_zyr_qiv_USES zyr_units)

set(ZYR_LAYER_zyr_classes_DIRS zyrapi include/zyr)
set(ZYR_LAYER_zyr_classes_USES zyr_api zyr_qiv)

# zyr_layer_reach(<layer> <out>): the layers <layer> may use, itself included.
function(zyr_layer_reach layer out)
  set(reach ${layer})
  set(todo ${ZYR_LAYER_${layer}_USES})
  while(todo)
    list(POP_FRONT todo next)
    if(NOT next IN_LIST reach)
      list(APPEND reach ${next})
      list(APPEND todo ${ZYR_LAYER_${next}_USES})
    endif()
  endwhile()
  set(${out} ${reach} PARENT_SCOPE)
endfunction()

# Every file named in some layer's FILES (without extension).
set(ZYR_CLAIMED_FILES)
foreach(_l IN LISTS ZYR_LAYER_NAMES)
  list(APPEND ZYR_CLAIMED_FILES ${ZYR_LAYER_${_l}_FILES})
endforeach()

# zyr_layer_files(<layer> <root> <out>): the layer's own headers and sources under <root> (its
# directories' files not given to another layer, and its named files), absolute paths.
function(zyr_layer_files layer root out)
  set(files)
  foreach(d IN LISTS ZYR_LAYER_${layer}_DIRS)
    file(GLOB found ${root}/${d}/*.h ${root}/${d}/*.cpp ${root}/${d}/*.c)
    foreach(f IN LISTS found)
      file(RELATIVE_PATH rel ${root} ${f})
      string(REGEX REPLACE "\\.[^./]*$" "" record ${rel})
      if(NOT record IN_LIST ZYR_CLAIMED_FILES)
        list(APPEND files ${f})
      endif()
    endforeach()
  endforeach()
  foreach(record IN LISTS ZYR_LAYER_${layer}_FILES)
    file(GLOB found ${root}/${record}.h ${root}/${record}.cpp)
    list(APPEND files ${found})
  endforeach()
  set(${out} ${files} PARENT_SCOPE)
endfunction()

# zyr_layer_foreign_files(<layer> <dir> <out>): the files (without extension) of <dir>, one of
# <layer>'s directories, that the table gives to another layer.
function(zyr_layer_foreign_files layer dir out)
  set(foreign)
  foreach(record IN LISTS ZYR_CLAIMED_FILES)
    get_filename_component(recordDir ${record} DIRECTORY)
    if(recordDir STREQUAL dir AND NOT record IN_LIST ZYR_LAYER_${layer}_FILES)
      list(APPEND foreign ${record})
    endif()
  endforeach()
  set(${out} ${foreign} PARENT_SCOPE)
endfunction()
