# Build helpers shared by every layer.
include(${CMAKE_CURRENT_LIST_DIR}/ZyrLayers.cmake)

# Flags for our own code only (third-party headers come in as SYSTEM includes).
set(ZYR_WARNING_FLAGS -Wall -Wextra)
if(ZYR_WERROR)
  list(APPEND ZYR_WARNING_FLAGS -Werror)
endif()

if(ZYR_SANITIZE)
  set(ZYR_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  if(ZYR_FUZZ AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    # One build serves the tests and the fuzz targets: coverage instrumentation everywhere,
    # the libFuzzer driver linked only into the fuzz targets.
    list(APPEND ZYR_SANITIZER_FLAGS -fsanitize=fuzzer-no-link)
  endif()
  add_compile_options(${ZYR_SANITIZER_FLAGS})
  add_link_options(-fsanitize=address,undefined)
endif()

# Line coverage of the tests (scripts/coverage): clang's source-based instrumentation.
if(ZYR_COVERAGE)
  add_compile_options(-fprofile-instr-generate -fcoverage-mapping)
  add_link_options(-fprofile-instr-generate)
endif()

# Source file names in messages are relative to the project root.
add_compile_options(-fmacro-prefix-map=${CMAKE_SOURCE_DIR}/=)
# A compiler cache with a base directory (ccache's CCACHE_BASEDIR) hands the compiler the same
# names relative to the build directory: those are mapped alike.
file(RELATIVE_PATH zyr_source_from_build ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR})
string(REGEX REPLACE "/$" "" zyr_source_from_build "${zyr_source_from_build}")
add_compile_options(-fmacro-prefix-map=${zyr_source_from_build}/=)

# A layer that shares a directory with a higher layer sees it through a view holding links to
# its own headers only (see zyr_add_layer), so the higher layer's headers are not on its include
# path. Names in messages stay those of the sources: these maps come after the one above, and
# compilers take the longest (clang) or the last (gcc) matching prefix.
set(ZYR_VIEW_ROOT ${CMAKE_BINARY_DIR}/layer-include)
foreach(layer IN LISTS ZYR_LAYER_NAMES)
  foreach(d IN LISTS ZYR_LAYER_${layer}_DIRS)
    zyr_layer_foreign_files(${layer} ${d} foreign)
    if(foreign)
      add_compile_options(-fmacro-prefix-map=${ZYR_VIEW_ROOT}/${layer}/=)
      file(RELATIVE_PATH view_from_build ${CMAKE_BINARY_DIR} ${ZYR_VIEW_ROOT}/${layer})
      string(REGEX REPLACE "/$" "" view_from_build "${view_from_build}")
      add_compile_options(-fmacro-prefix-map=${view_from_build}/=)
      break()
    endif()
  endforeach()
endforeach()

# zyr_layer_include_dir(<layer> <dir> <out>): the directory itself, or, when it holds another
# layer's files, a view of links to the rest of its headers (made anew at each configure; a new
# header makes the build configure again).
function(zyr_layer_include_dir layer dir out)
  zyr_layer_foreign_files(${layer} ${dir} foreign)
  if(NOT foreign)
    set(${out} ${CMAKE_SOURCE_DIR}/${dir} PARENT_SCOPE)
    return()
  endif()
  set(view ${ZYR_VIEW_ROOT}/${layer}/${dir})
  file(REMOVE_RECURSE ${view})
  file(MAKE_DIRECTORY ${view})
  file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.h)
  foreach(h IN LISTS headers)
    get_filename_component(base ${h} NAME_WE)
    if(NOT ${dir}/${base} IN_LIST foreign)
      get_filename_component(file ${h} NAME)
      file(CREATE_LINK ${h} ${view}/${file} SYMBOLIC)
    endif()
  endforeach()
  set(${out} ${view} PARENT_SCOPE)
endfunction()

# zyr_add_layer(<target> DIRS <dir>... [GLOBS <pattern>...] [EXCLUDE <regex>...] [LINKS <target>...])
# Globs the C++ sources of the directories into one static library. The files that the layer
# table (ZyrLayers.cmake) gives to another layer are left out, and this layer's own files from
# other directories are added. A layer whose directories hold no sources yet is an interface
# target, so that later work only adds files. The directories and the linked layers must agree
# with the table.
function(zyr_add_layer name)
  cmake_parse_arguments(L "" "" "DIRS;GLOBS;EXCLUDE;LINKS" ${ARGN})
  zyr_check_layer_table(${name} "${L_DIRS}" "${L_LINKS}")
  set(sources)
  set(incdirs)
  foreach(d IN LISTS L_DIRS)
    file(GLOB found CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${d}/*.cpp ${CMAKE_SOURCE_DIR}/${d}/*.c)
    foreach(f IN LISTS found)
      file(RELATIVE_PATH rel ${CMAKE_SOURCE_DIR} ${f})
      string(REGEX REPLACE "\\.[^./]*$" "" record ${rel})
      if(NOT record IN_LIST ZYR_CLAIMED_FILES)
        list(APPEND sources ${f})
      endif()
    endforeach()
    zyr_layer_include_dir(${name} ${d} incdir)
    list(APPEND incdirs ${incdir})
  endforeach()
  foreach(record IN LISTS ZYR_LAYER_${name}_FILES)
    file(GLOB found CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${record}.cpp)
    list(APPEND sources ${found})
    get_filename_component(d ${CMAKE_SOURCE_DIR}/${record} DIRECTORY)
    list(APPEND incdirs ${d})
  endforeach()
  list(REMOVE_DUPLICATES incdirs)
  foreach(g IN LISTS L_GLOBS)
    file(GLOB found CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${g})
    list(APPEND sources ${found})
  endforeach()
  foreach(rx IN LISTS L_EXCLUDE)
    list(FILTER sources EXCLUDE REGEX "${rx}")
  endforeach()
  if(sources)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${incdirs})
    target_compile_options(${name} PRIVATE ${ZYR_WARNING_FLAGS})
    # The archives go whole into libzyr.so, which shows a host only what ZYR_EXPORT marks.
    # Tests and tools link the archives directly, where visibility changes nothing.
    set_target_properties(${name} PROPERTIES C_VISIBILITY_PRESET hidden CXX_VISIBILITY_PRESET hidden
                                             VISIBILITY_INLINES_HIDDEN ON)
    if(L_LINKS)
      target_link_libraries(${name} PUBLIC ${L_LINKS})
    endif()
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${incdirs})
    if(L_LINKS)
      target_link_libraries(${name} INTERFACE ${L_LINKS})
    endif()
  endif()
  set_property(GLOBAL APPEND PROPERTY ZYR_LAYERS ${name})
endfunction()

function(zyr_check_layer_table name dirs links)
  if(NOT name IN_LIST ZYR_LAYER_NAMES)
    message(FATAL_ERROR "layer ${name} is not in cmake/ZyrLayers.cmake")
  endif()
  foreach(d IN LISTS dirs)
    if(NOT d IN_LIST ZYR_LAYER_${name}_DIRS)
      message(FATAL_ERROR "${d} is not a directory of ${name} in cmake/ZyrLayers.cmake")
    endif()
  endforeach()
  zyr_layer_reach(${name} reach)
  foreach(l IN LISTS links)
    if(l IN_LIST ZYR_LAYER_NAMES AND NOT l IN_LIST reach)
      message(FATAL_ERROR "${name} may not link ${l}: it may use ${reach}")
    endif()
  endforeach()
endfunction()
