# Settings every target of the project shares.
function(quenra_strict_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /WX)
  else()
    # OpenXR structures are zero-filled by naming only their type: `XrFrameState state{XR_TYPE_FRAME_STATE};`
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror -Wno-missing-field-initializers)
  endif()
endfunction()

# A plug-in the engine loads: only the functions marked for export are visible, and
# a missing symbol fails the link rather than the engine's load.
function(quenra_add_plugin target)
  add_library(${target} SHARED ${ARGN})
  quenra_strict_warnings(${target})
  set_target_properties(${target} PROPERTIES
    CXX_VISIBILITY_PRESET hidden
    C_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/nativePlugin/include)
  target_link_libraries(${target} PRIVATE OpenXR::headers)
  # The plug-ins reach OpenXR only through the application's lookup function.
  target_compile_definitions(${target} PRIVATE XR_NO_PROTOTYPES)
  if(NOT WIN32 AND NOT APPLE)
    target_link_options(${target} PRIVATE -Wl,--no-undefined)
  endif()
endfunction()
