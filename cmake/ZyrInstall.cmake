# What an install holds, and the one target that builds it: scripts/install builds
# zyr_installed, not the whole tree, so installing never waits for benchmarks or tests.
add_custom_target(zyr_installed)

# Where the installed tools find the rest of the installation, relative to the executables.
set(ZYR_INSTALL_UNITS_DIR ${CMAKE_INSTALL_DATADIR}/zyr)
file(RELATIVE_PATH ZYR_BIN_TO_UNITS ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_DATADIR}/zyr)
file(RELATIVE_PATH ZYR_BIN_TO_DOC ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_DOCDIR})

# An executable installed with the tools.
function(zyr_install_program target)
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  add_dependencies(zyr_installed ${target})
endfunction()
