// The records the OpenXR loader and a runtime exchange when the loader opens the runtime
// library. Newer SDK headers declare them (openxr_loader_negotiation.h); the headers packaged
// with loader 1.0.20 do not, so they are declared here with the published layout, which the
// static assertions below pin down.
#pragma once

#include <openxr/openxr.h>

#include <cstddef>
#include <cstdint>

namespace quenra::simruntime {

enum XrLoaderInterfaceStructs : uint32_t {
    XR_LOADER_INTERFACE_STRUCT_UNINTIALIZED = 0,
    XR_LOADER_INTERFACE_STRUCT_LOADER_INFO = 1,
    XR_LOADER_INTERFACE_STRUCT_API_LAYER_REQUEST = 2,
    XR_LOADER_INTERFACE_STRUCT_RUNTIME_REQUEST = 3,
    XR_LOADER_INTERFACE_STRUCTS_MAX_ENUM = 0x7FFFFFFF,
};

constexpr uint32_t XR_LOADER_INFO_STRUCT_VERSION = 1;
constexpr uint32_t XR_RUNTIME_INFO_STRUCT_VERSION = 1;
constexpr uint32_t XR_CURRENT_LOADER_RUNTIME_VERSION = 1;

struct XrNegotiateLoaderInfo {
    XrLoaderInterfaceStructs structType;
    uint32_t structVersion;
    size_t structSize;
    uint32_t minInterfaceVersion;
    uint32_t maxInterfaceVersion;
    XrVersion minApiVersion;
    XrVersion maxApiVersion;
};

struct XrNegotiateRuntimeRequest {
    XrLoaderInterfaceStructs structType;
    uint32_t structVersion;
    size_t structSize;
    uint32_t runtimeInterfaceVersion;
    XrVersion runtimeApiVersion;
    PFN_xrGetInstanceProcAddr getInstanceProcAddr;
};

using PFN_xrNegotiateLoaderRuntimeInterface = XrResult(XRAPI_PTR*)(const XrNegotiateLoaderInfo* loaderInfo,
                                                                    XrNegotiateRuntimeRequest* runtimeRequest);

static_assert(sizeof(XrLoaderInterfaceStructs) == 4);
static_assert(offsetof(XrNegotiateLoaderInfo, structVersion) == 4);
static_assert(offsetof(XrNegotiateLoaderInfo, structSize) == 8);
static_assert(offsetof(XrNegotiateLoaderInfo, minInterfaceVersion) == 8 + sizeof(size_t));
static_assert(offsetof(XrNegotiateLoaderInfo, maxInterfaceVersion) == 12 + sizeof(size_t));
static_assert(offsetof(XrNegotiateLoaderInfo, minApiVersion) == 16 + sizeof(size_t));
static_assert(offsetof(XrNegotiateLoaderInfo, maxApiVersion) == 24 + sizeof(size_t));
static_assert(sizeof(XrNegotiateLoaderInfo) == 32 + sizeof(size_t));
static_assert(offsetof(XrNegotiateRuntimeRequest, structSize) == 8);
static_assert(offsetof(XrNegotiateRuntimeRequest, runtimeInterfaceVersion) == 8 + sizeof(size_t));
static_assert(offsetof(XrNegotiateRuntimeRequest, runtimeApiVersion) == 16 + sizeof(size_t));
static_assert(offsetof(XrNegotiateRuntimeRequest, getInstanceProcAddr) == 24 + sizeof(size_t));
static_assert(sizeof(XrNegotiateRuntimeRequest) == 24 + 2 * sizeof(size_t));

} // namespace quenra::simruntime
