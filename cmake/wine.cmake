# Cross-built programs run under Wine (cmake/wine-run.sh), in a private
# prefix of the build tree: a 32-bit one for the 32-bit edition, a 64-bit one
# for the 64-bit edition (the runner starts each program with its own
# loader). Included by the top level of a Windows build.
# Each edition's tests run under the Wine loader of its bitness; the 64-bit
# tree also runs 32-bit programs (both editions together).
pelmora_require_path(PELMORA_WINE32_LOADER /usr/lib/wine/wine wine32:i386 "Wine's 32-bit loader")
if(PELMORA_EDITION STREQUAL "win64")
  pelmora_require_path(PELMORA_WINE64_LOADER /usr/lib/wine/wine64 wine64 "Wine's 64-bit loader")
endif()
set(PELMORA_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
if(PELMORA_EDITION STREQUAL "win64")
  set(PELMORA_WINE_RUN ${CMAKE_SOURCE_DIR}/cmake/wine-run64.sh)
else()
  set(PELMORA_WINE_RUN ${CMAKE_SOURCE_DIR}/cmake/wine-run.sh)
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${PELMORA_WINE_RUN} ${PELMORA_WINEPREFIX})

# pelmora_wine_server(<fixture> <runner> <prefix> <desktop user>): the
# prefix's Wine server, started before the first test that requires
# <fixture> and stopped after the last (see cmake/wine-run.sh).
function(pelmora_wine_server fixture runner prefix desktop_user)
  add_test(NAME ${fixture}_start COMMAND ${runner} ${prefix} --start-server ${desktop_user})
  add_test(NAME ${fixture}_stop COMMAND ${runner} ${prefix} --stop-server)
  set_tests_properties(${fixture}_start PROPERTIES FIXTURES_SETUP ${fixture})
  set_tests_properties(${fixture}_stop PROPERTIES FIXTURES_CLEANUP ${fixture})
endfunction()
