# pelmora_flags: the compile flags of every build of our code, the fuzz build
# included. Each of our targets links it (PRIVATE), so that GoogleTest and
# other projects' code keep their own.
#
# Exactness: no contraction into fused multiply-add anywhere; the i686 flags
# (SSE2 arithmetic, no x87 excess precision) come from the toolchain file.
# No errno from the maths library either: the square root is then the one
# correctly rounded instruction on every target, never a call into the C
# runtime (which, for a NaN, would run the x87 fsqrt in the DLL).
#
# Warnings are errors in our C++ (C sources, such as the benchmark's stubs of
# Hamlib, take only the exactness flags).
set(PELMORA_CXX_WARNINGS
  -Wall -Wextra -Wpedantic -Werror -Wconversion -Wsign-conversion
  -Wfloat-conversion -Wdouble-promotion -Wshadow -Wnon-virtual-dtor)
add_library(pelmora_flags INTERFACE)
target_compile_options(pelmora_flags INTERFACE
  -ffp-contract=off -fno-math-errno
  "$<$<COMPILE_LANGUAGE:CXX>:${PELMORA_CXX_WARNINGS}>")
# The name targets outside these folders may use for the same flags.
add_library(pelmora_warnings ALIAS pelmora_flags)
