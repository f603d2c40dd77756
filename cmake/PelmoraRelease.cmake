# How the shipped Pelmora.dll is built, on top of the toolchain file's flags:
# small, with its symbols kept apart.
#
# pelmora_release_dll(<target> <libraries>...): <target> is the DLL, the
# <libraries> the static libraries linked into it.
#   - Every object carries full debug information, and each function and
#     datum in a section of its own, so that the linker drops what nothing
#     references (--gc-sections).
#   - After the link the debug information moves to <file>.debug beside the
#     DLL, which then is stripped and names that file in a .gnu_debuglink
#     section (with its CRC), where debuggers look for it. The .debug file
#     stays in the build tree, not installed.
function(pelmora_release_dll target)
  set(flags -g -ffunction-sections -fdata-sections)
  foreach(t IN ITEMS ${target} ${ARGN})
    target_compile_options(${t} PRIVATE ${flags})
  endforeach()
  target_link_options(${target} PRIVATE -Wl,--gc-sections)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE_NAME:${target}>
            $<TARGET_FILE_NAME:${target}>.debug
    COMMAND ${CMAKE_STRIP} --strip-all $<TARGET_FILE_NAME:${target}>
    COMMAND ${CMAKE_OBJCOPY} --add-gnu-debuglink=$<TARGET_FILE_NAME:${target}>.debug
            $<TARGET_FILE_NAME:${target}>
    WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
    COMMENT "Pelmora.dll: debug information to Pelmora.dll.debug, stripped"
    VERBATIM)
endfunction()
