#include "SimulatedRuntime.h"

#include <openxr/openxr_reflection.h>

#include <cstdio>
#include <cstring>

namespace quenra::simruntime {
namespace {

// The names of results and structure types, which layers (the API dump layer) ask the runtime for.
#define QUENRA_ENUM_NAME(name, number)                                                                                 \
    case name:                                                                                                         \
        return #name;

const char* ResultName(XrResult value)
{
    switch (value) {
        XR_LIST_ENUM_XrResult(QUENRA_ENUM_NAME)
    default:
        return nullptr;
    }
}

const char* StructureTypeName(XrStructureType value)
{
    switch (value) {
        XR_LIST_ENUM_XrStructureType(QUENRA_ENUM_NAME)
    default:
        return nullptr;
    }
}

#undef QUENRA_ENUM_NAME

// Unknown values are written the way OpenXR defines for them: a prefix and the number.
template <typename Enum>
XrResult WriteName(const char* name, const char* unknownPrefix, Enum value, char* buffer)
{
    if (buffer == nullptr) {
        return XR_ERROR_VALIDATION_FAILURE;
    }
    if (name != nullptr) {
        std::snprintf(buffer, XR_MAX_RESULT_STRING_SIZE, "%s", name);
    } else {
        std::snprintf(buffer, XR_MAX_RESULT_STRING_SIZE, "%s%d", unknownPrefix, static_cast<int>(value));
    }
    return XR_SUCCESS;
}

XrResult XRAPI_CALL ResultToString(XrInstance instance, XrResult value, char buffer[XR_MAX_RESULT_STRING_SIZE])
{
    SIMRUNTIME_ENTER(call, "xrResultToString", HandleValue(instance));
    const bool success = XR_SUCCEEDED(value);
    return call.Return(WriteName(ResultName(value), success ? "XR_UNKNOWN_SUCCESS_" : "XR_UNKNOWN_FAILURE_", value,
                                 buffer));
}

XrResult XRAPI_CALL StructureTypeToString(XrInstance instance, XrStructureType value,
                                          char buffer[XR_MAX_STRUCTURE_NAME_SIZE])
{
    SIMRUNTIME_ENTER(call, "xrStructureTypeToString", HandleValue(instance));
    static_assert(XR_MAX_STRUCTURE_NAME_SIZE == XR_MAX_RESULT_STRING_SIZE, "one buffer size serves both");
    return call.Return(WriteName(StructureTypeName(value), "XR_UNKNOWN_STRUCTURE_TYPE_", value, buffer));
}

} // namespace

SimulatedRuntime::SimulatedRuntime()
{
    properties.SetRuntimeExtensions({
        XR_MSFT_SCENE_UNDERSTANDING_EXTENSION_NAME,
        XR_KHR_COMPOSITION_LAYER_CYLINDER_EXTENSION_NAME,
        XR_KHR_COMPOSITION_LAYER_EQUIRECT2_EXTENSION_NAME,
        XR_FB_COMPOSITION_LAYER_ALPHA_BLEND_EXTENSION_NAME,
        XR_FB_PASSTHROUGH_EXTENSION_NAME,
        XR_FB_FOVEATION_EXTENSION_NAME,
        XR_FB_FOVEATION_CONFIGURATION_EXTENSION_NAME,
        XR_FB_SWAPCHAIN_UPDATE_STATE_EXTENSION_NAME,
        // Sessions without a graphics device: what an application in a test has.
        XR_MND_HEADLESS_EXTENSION_NAME,
    });
    properties.SetBlendModes({XR_ENVIRONMENT_BLEND_MODE_OPAQUE, XR_ENVIRONMENT_BLEND_MODE_ALPHA_BLEND});
    runtime.AddFunction("xrResultToString", reinterpret_cast<PFN_xrVoidFunction>(&ResultToString));
    runtime.AddFunction("xrStructureTypeToString", reinterpret_cast<PFN_xrVoidFunction>(&StructureTypeToString));
}

} // namespace quenra::simruntime
