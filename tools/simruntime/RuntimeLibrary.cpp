// libquenra_simruntime: the simulated runtime as a library the OpenXR loader opens through a
// runtime manifest. It exports the loader negotiation and one control entry through which
// tests and the simulator reach the same runtime the loader talks to.
#include <cstdio>
#include <exception>
#include <memory>

#include "LoaderNegotiation.h"
#include "SimulatedRuntime.h"

namespace {

using quenra::simruntime::RuntimeControlRequest;
using quenra::simruntime::SimulatedRuntime;

std::unique_ptr<SimulatedRuntime> _runtime;

SimulatedRuntime& TheRuntime()
{
    if (!_runtime) {
        _runtime = std::make_unique<SimulatedRuntime>();
        _runtime->properties.LeaveApiLayersToLoader();
    }
    return *_runtime;
}

bool LoaderInfoAcceptable(const quenra::simruntime::XrNegotiateLoaderInfo* info)
{
    using namespace quenra::simruntime;
    return info != nullptr && info->structType == XR_LOADER_INTERFACE_STRUCT_LOADER_INFO &&
           info->structVersion == XR_LOADER_INFO_STRUCT_VERSION && info->structSize == sizeof(XrNegotiateLoaderInfo) &&
           info->minInterfaceVersion <= XR_CURRENT_LOADER_RUNTIME_VERSION &&
           info->maxInterfaceVersion >= XR_CURRENT_LOADER_RUNTIME_VERSION &&
           info->minApiVersion <= XR_CURRENT_API_VERSION && info->maxApiVersion >= XR_CURRENT_API_VERSION;
}

bool RuntimeRequestAcceptable(const quenra::simruntime::XrNegotiateRuntimeRequest* request)
{
    using namespace quenra::simruntime;
    return request != nullptr && request->structType == XR_LOADER_INTERFACE_STRUCT_RUNTIME_REQUEST &&
           request->structVersion == XR_RUNTIME_INFO_STRUCT_VERSION &&
           request->structSize == sizeof(XrNegotiateRuntimeRequest);
}

} // namespace

extern "C" {

__attribute__((visibility("default"))) XrResult XRAPI_CALL
xrNegotiateLoaderRuntimeInterface(const quenra::simruntime::XrNegotiateLoaderInfo* loaderInfo,
                                  quenra::simruntime::XrNegotiateRuntimeRequest* runtimeRequest)
{
    try {
        if (!LoaderInfoAcceptable(loaderInfo) || !RuntimeRequestAcceptable(runtimeRequest)) {
            return XR_ERROR_INITIALIZATION_FAILED;
        }
        TheRuntime();
        runtimeRequest->runtimeInterfaceVersion = quenra::simruntime::XR_CURRENT_LOADER_RUNTIME_VERSION;
        runtimeRequest->runtimeApiVersion = XR_CURRENT_API_VERSION;
        runtimeRequest->getInstanceProcAddr = &quenra::simruntime::Runtime::GetInstanceProcAddr;
        return XR_SUCCESS;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "quenra_simruntime: negotiation failed: %s\n", error.what());
        return XR_ERROR_INITIALIZATION_FAILED;
    }
}

__attribute__((visibility("default"))) SimulatedRuntime* quenraSimRuntimeControl(RuntimeControlRequest request)
{
    try {
        switch (request) {
        case RuntimeControlRequest::Get:
            return &TheRuntime();
        case RuntimeControlRequest::Reset:
            _runtime.reset();
            return &TheRuntime();
        case RuntimeControlRequest::Release:
            _runtime.reset();
            return nullptr;
        }
        return nullptr;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "quenra_simruntime: control request %u failed: %s\n", static_cast<unsigned>(request),
                     error.what());
        return nullptr;
    }
}

} // extern "C"
