# Settings every target of the project shares.
function(quenra_strict_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /WX)
  else()
    # OpenXR structures are zero-filled by naming only their type: `XrFrameState state{XR_TYPE_FRAME_STATE};`
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror -Wno-missing-field-initializers)
  endif()
endfunction()

# quenra_add_plugin_objects(<name> <sources>...)
# Compiles a plug-in's sources once, as the object library <name>Objects: the shared library
# is linked from these objects, and the in-process tests link the same objects, so what the
# tests exercise is what ships.
function(quenra_add_plugin_objects name)
  set(objects ${name}Objects)
  add_library(${objects} OBJECT ${ARGN})
  quenra_strict_warnings(${objects})
  set_target_properties(${objects} PROPERTIES
    POSITION_INDEPENDENT_CODE ON
    CXX_VISIBILITY_PRESET hidden
    C_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  target_include_directories(${objects} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/nativePlugin/include)
  target_link_libraries(${objects} PUBLIC QuenraPluginCommon OpenXR::headers)
  # The plug-ins reach OpenXR only through the application's lookup function: a stray
  # direct call fails to compile.
  target_compile_definitions(${objects} PUBLIC XR_NO_PROTOTYPES)
endfunction()

# quenra_link_plugin(<name>): the shared library the engine loads, from <name>Objects.
# Only the functions marked for export are visible, and a missing symbol fails the link
# rather than the engine's load.
function(quenra_link_plugin name)
  add_library(${name} SHARED $<TARGET_OBJECTS:${name}Objects>)
  set_target_properties(${name} PROPERTIES LINKER_LANGUAGE CXX)
  target_link_libraries(${name} PRIVATE ${name}Objects)
  if(NOT WIN32 AND NOT APPLE)
    target_link_options(${name} PRIVATE -Wl,--no-undefined
      -Wl,--version-script=${PROJECT_SOURCE_DIR}/cmake/PluginExports.version)
    set_target_properties(${name} PROPERTIES LINK_DEPENDS ${PROJECT_SOURCE_DIR}/cmake/PluginExports.version)
  endif()
  if(MINGW)
    # The engine loads the DLL alone: the compiler's runtime goes inside it.
    target_link_options(${name} PRIVATE -static)
  endif()
  if(ANDROID)
    # The NDK's linker aligns loadable segments to 4 KB; devices with 16 KB pages need 16 KB.
    target_link_options(${name} PRIVATE -Wl,-z,max-page-size=16384)
  endif()
  # A plug-in links only the platform's libraries: on a device the loader must find those, never
  # a folder of this build (nor the cross build's link stand-ins).
  set_target_properties(${name} PROPERTIES SKIP_BUILD_RPATH ON)
  quenra_release_binary(${name})
endfunction()

# quenra_add_plugin(<name> <sources>...): both of the above.
function(quenra_add_plugin name)
  quenra_add_plugin_objects(${name} ${ARGN})
  quenra_link_plugin(${name})
endfunction()

# quenra_check_android_dependencies(<target>): fails the build of an Android deliverable that
# depends on any library but the device's C library, EGL, GL ES 3, window and hardware-buffer
# libraries and log; on Linux builds (host and aarch64), on their GNU and libglvnd counterparts
# (and the sanitizers' runtimes). A Linux-only shortcut shows here as an extra dependency.
function(quenra_check_android_dependencies target)
  if(ANDROID)
    set(allowed "^lib(c|m|dl|log|EGL|GLESv3|android|nativewindow)\\.so$")
  else()
    set(allowed "^lib(c|m)\\.so\\.6$" "^libstdc\\+\\+\\.so\\.6$" "^libgcc_s\\.so\\.1$" "^libEGL\\.so\\.1$"
                "^libGLESv2\\.so\\.2$" "^lib(asan|ubsan|tsan)\\.so\\.[0-9]+$")
  endif()
  if(CMAKE_READELF)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -DLIBRARY=$<TARGET_FILE:${target}> -DREADELF=${CMAKE_READELF}
              "-DALLOWED=${allowed}" -P ${PROJECT_SOURCE_DIR}/cmake/CheckNeeded.cmake
      VERBATIM)
  endif()
endfunction()
