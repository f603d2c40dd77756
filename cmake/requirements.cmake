# What the build needs from the machine, checked when CMake configures, so
# that a missing package is named at once rather than met as a compiler or
# linker error deep in the build. tools/setup.sh installs every package named
# here (and tools/check-packages.py checks, after a build, that it does).

# Every link writes the files it read to link-deps/<target>.d, as the
# compilers write the headers they read beside each object file:
# tools/check-packages.py maps both to the packages they come from.
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/link-deps)
add_link_options("LINKER:--dependency-file=${CMAKE_BINARY_DIR}/link-deps/$<TARGET_PROPERTY:NAME>.d")

# pelmora_require_path(<variable> <path> <Debian package> <what>): checks
# that the file is there and names it in the cache as <variable>, where
# tools/check-packages.py finds it.
function(pelmora_require_path var path package what)
  if(NOT EXISTS "${path}")
    message(FATAL_ERROR "${what} (${path}) is missing: install Debian's ${package} "
                        "(tools/setup.sh installs it)")
  endif()
  set(${var} "${path}" CACHE FILEPATH "${what}, from Debian's ${package}")
endfunction()

# pelmora_require_program(<variable> <program> <Debian package>): finds the
# program and sets <variable> to its full path.
function(pelmora_require_program var program package)
  find_program(${var} ${program})
  if(NOT ${var})
    message(FATAL_ERROR "${program} is missing: install Debian's ${package} "
                        "(tools/setup.sh installs it)")
  endif()
endfunction()

# pelmora_require_library(<variable> <library> <header> <Debian package>):
# finds the library and its header; sets <variable> to the library.
function(pelmora_require_library var library header package)
  find_library(${var} ${library})
  find_path(${var}_INCLUDE_DIR ${header})
  if(NOT ${var} OR NOT ${var}_INCLUDE_DIR)
    message(FATAL_ERROR "The library ${library} or its header ${header} is missing: install "
                        "Debian's ${package} (tools/setup.sh installs it)")
  endif()
endfunction()

# Debian's Python runs the build's own steps (whatever python3 comes first on
# the PATH).
pelmora_require_path(PELMORA_PYTHON /usr/bin/python3 python3 "Python")
