# How the shipped Pelmora.dll is built, on top of the toolchain file's flags:
# small, with its symbols kept apart, and the same bytes from the same source
# wherever and whenever it is built.
#
# pelmora_release_dll(<target> <libraries>...): <target> is the DLL, the
# <libraries> the static libraries linked into it.
#   - Every object carries full debug information, with the source and build
#     folders written as "." and "build" (no build path in any output), and
#     each function and datum in a section of its own, so that the linker
#     drops what nothing references (--gc-sections).
#   - The PE time stamps are those of the last commit (SOURCE_DATE_EPOCH, see
#     source-date-epoch.sh).
#   - After the link the debug information moves to <file>.debug beside the
#     DLL, which then is stripped and names that file in a .gnu_debuglink
#     section (with its CRC), where debuggers look for it. The .debug file
#     stays in the build tree, not installed.
function(pelmora_release_dll target)
  set(flags -g -ffunction-sections -fdata-sections
      -ffile-prefix-map=${CMAKE_SOURCE_DIR}=.
      -ffile-prefix-map=${CMAKE_BINARY_DIR}=build)
  foreach(t IN ITEMS ${target} ${ARGN})
    target_compile_options(${t} PRIVATE ${flags})
  endforeach()
  target_link_options(${target} PRIVATE -Wl,--gc-sections)
  set_target_properties(${target} PROPERTIES
    CXX_LINKER_LAUNCHER "${CMAKE_SOURCE_DIR}/cmake/source-date-epoch.sh;${CMAKE_SOURCE_DIR}")
  # objcopy and strip write the PE time stamp again, from the same variable.
  set(epoch ${CMAKE_SOURCE_DIR}/cmake/source-date-epoch.sh ${CMAKE_SOURCE_DIR})
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${epoch} ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE_NAME:${target}>
            $<TARGET_FILE_NAME:${target}>.debug
    COMMAND ${epoch} ${CMAKE_STRIP} --strip-all $<TARGET_FILE_NAME:${target}>
    COMMAND ${epoch} ${CMAKE_OBJCOPY} --add-gnu-debuglink=$<TARGET_FILE_NAME:${target}>.debug
            $<TARGET_FILE_NAME:${target}>
    WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
    COMMENT "Pelmora.dll: debug information to Pelmora.dll.debug, stripped"
    VERBATIM)
endfunction()
