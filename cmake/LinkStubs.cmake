# quenra_add_link_stub(<target> NAME <name> VERSION <soversion> SYMBOLS <function>...)
# A shared library to link against, never to run: it has the real library's file name and
# SONAME (lib<name>.so.<soversion>) and defines the listed functions, so what links with it
# records the real library as a dependency and leaves no symbol undefined. This is what an
# SDK's stub libraries do, for a sysroot that lacks the library (Debian's aarch64 cross
# sysroot has no EGL or GL ES).
function(quenra_add_link_stub target)
  cmake_parse_arguments(ARG "" "NAME;VERSION" "SYMBOLS" ${ARGN})
  set(source ${CMAKE_CURRENT_BINARY_DIR}/${target}.c)
  set(text "/* Generated: link-time stand-in for lib${ARG_NAME}.so.${ARG_VERSION}. */\n")
  foreach(symbol IN LISTS ARG_SYMBOLS)
    string(APPEND text "void ${symbol}(void) {}\n")
  endforeach()
  file(CONFIGURE OUTPUT ${source} CONTENT "${text}")
  add_library(${target} SHARED ${source})
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME ${ARG_NAME}
    SOVERSION ${ARG_VERSION}
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/link-stubs)
endfunction()
