# Cross build for 64-bit Windows with MinGW-w64 (posix thread model, which
# GoogleTest needs). SSE2 is the x86_64 floating-point unit: float and double
# arithmetic have no excess precision without further flags, and the Windows
# x64 calling convention keeps the stack 16-byte aligned.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

# The cross compilers come with Debian's mingw-w64 (g++-mingw-w64-x86-64-posix).
find_program(PELMORA_MINGW_CXX x86_64-w64-mingw32-g++-posix)
if(NOT PELMORA_MINGW_CXX)
  message(FATAL_ERROR "x86_64-w64-mingw32-g++-posix is missing: install Debian's mingw-w64 "
                      "(tools/setup.sh installs it)")
endif()

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(PELMORA_WIDL x86_64-w64-mingw32-widl)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
# Static runtime: the programs and the DLL import only system DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
