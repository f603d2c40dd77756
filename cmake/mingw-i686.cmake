# Cross build for 32-bit Windows with MinGW-w64 (posix thread model, which
# GoogleTest needs).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

# The cross compilers come with Debian's mingw-w64 (g++-mingw-w64-i686-posix).
find_program(PELMORA_MINGW_CXX i686-w64-mingw32-g++-posix)
if(NOT PELMORA_MINGW_CXX)
  message(FATAL_ERROR "i686-w64-mingw32-g++-posix is missing: install Debian's mingw-w64 "
                      "(tools/setup.sh installs it)")
endif()

set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(PELMORA_WIDL i686-w64-mingw32-widl)

set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# IEEE single and double arithmetic in SSE2 registers: no x87 excess precision.
# Hosts built with other compilers call in with a 4-byte aligned stack.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse -mincoming-stack-boundary=2")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse -mincoming-stack-boundary=2")
# Static runtime: the programs and the DLL import only system DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
