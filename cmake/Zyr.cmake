# Build helpers shared by every layer.

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

# Source file names in messages are relative to the project root.
add_compile_options(-fmacro-prefix-map=${CMAKE_SOURCE_DIR}/=)

# zyr_add_layer(<target> DIRS <dir>... [GLOBS <pattern>...] [EXCLUDE <regex>...] [LINKS <target>...])
# Globs the C++ sources of the directories into one static library. A layer whose directories
# hold no sources yet is an interface target, so that later work only adds files.
function(zyr_add_layer name)
  cmake_parse_arguments(L "" "" "DIRS;GLOBS;EXCLUDE;LINKS" ${ARGN})
  set(sources)
  set(incdirs)
  foreach(d IN LISTS L_DIRS)
    file(GLOB found CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${d}/*.cpp ${CMAKE_SOURCE_DIR}/${d}/*.c)
    list(APPEND sources ${found})
    list(APPEND incdirs ${CMAKE_SOURCE_DIR}/${d})
  endforeach()
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
