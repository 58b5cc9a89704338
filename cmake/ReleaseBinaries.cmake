# What makes a plug-in binary fit to ship: full debug information in a separate file beside the
# stripped library, and the same bytes from any build folder on any day.

# The time every stamp in a shipped binary carries: none from the clock, so two builds agree.
set(QUENRA_SOURCE_DATE_EPOCH 0)

# quenra_release_binary(<target>): in Release builds, compiles <target>Objects with debug
# information (the optimisation stays), maps the source and build folders out of every recorded
# path, and after the link moves the debug information into <file>.debug beside the library,
# which keeps a link to it (.gnu_debuglink; on ELF also the build id). MSVC writes a PDB instead.
function(quenra_release_binary target)
  set(objects ${target}Objects)
  if(MSVC)
    # /PDBALTPATH keeps the build folder out of the DLL; /Brepro drops the time stamps.
    target_compile_options(${objects} PRIVATE "$<$<CONFIG:Release>:/Zi;/Brepro>")
    target_link_options(${target} PRIVATE "$<$<CONFIG:Release>:/DEBUG:FULL;/OPT:REF;/OPT:ICF;/Brepro;/PDBALTPATH:%_PDB%>")
    return()
  endif()
  if(NOT CMAKE_BUILD_TYPE STREQUAL "Release")
    return()
  endif()
  # The build folder is mapped after the source folder it may sit in, so that it wins for its
  # own files (the staged OpenXR headers, the compilation folder).
  target_compile_options(${objects} PRIVATE -g
    -ffile-prefix-map=${PROJECT_SOURCE_DIR}=quenra
    -ffile-prefix-map=${CMAKE_BINARY_DIR}=quenra-build)
  # A compiler cache with a base folder hands the compiler relative paths, which the maps above
  # cannot reach and whose form depends on the build folder's depth: not for these objects.
  foreach(language C CXX)
    if(CMAKE_${language}_COMPILER_LAUNCHER MATCHES "ccache")
      set_property(TARGET ${objects} PROPERTY ${language}_COMPILER_LAUNCHER
        ${CMAKE_COMMAND} -E env CCACHE_BASEDIR= ${CMAKE_${language}_COMPILER_LAUNCHER})
    endif()
  endforeach()
  if(MINGW)
    # A PE file stamps the link time, and mingw's automatic image base hashes the output path.
    target_link_options(${target} PRIVATE -Wl,--no-insert-timestamp -Wl,--disable-auto-image-base
                        -Wl,--image-base=0x180000000 -Wl,--build-id)
  else()
    target_link_options(${target} PRIVATE -Wl,--build-id=sha1)
  endif()
  if(NOT CMAKE_OBJCOPY)
    message(FATAL_ERROR "a Release build of ${target} needs objcopy to keep its debug information apart")
  endif()
  set(library $<TARGET_FILE:${target}>)
  # objcopy stamps a PE file again with the clock unless SOURCE_DATE_EPOCH says otherwise.
  set(objcopy ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${QUENRA_SOURCE_DATE_EPOCH} ${CMAKE_OBJCOPY})
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${objcopy} --only-keep-debug ${library} ${library}.debug
    COMMAND ${objcopy} --strip-all --add-gnu-debuglink=${library}.debug ${library}
    VERBATIM)
endfunction()

# quenra_check_page_alignment(<target>): on arm64 (Android 15 devices may use 16 KB pages),
# fails the build when any loadable segment of <target> is aligned below 16 KB.
function(quenra_check_page_alignment target)
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64)$" AND CMAKE_READELF)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -DLIBRARY=$<TARGET_FILE:${target}> -DREADELF=${CMAKE_READELF}
              -P ${PROJECT_SOURCE_DIR}/cmake/CheckPageAlignment.cmake
      VERBATIM)
  endif()
endfunction()
