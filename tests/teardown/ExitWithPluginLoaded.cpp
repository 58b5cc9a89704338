// A process that uses a plug-in and exits with it still loaded and in use, as an application
// that quits without a last word to its plug-ins. The library's static destructors run at exit,
// when the engine and the runtime may be gone: they must call neither. An exit handler that runs
// after them checks. Usage: exit_with_plugin_loaded skelder|wendrath|kelbrin
#include <openxr/openxr.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "EngineRegistry.h"
#include "FakeGraphics.h"
#include "FakeMeshSubsystem.h"
#include "FrameLoop.h"
#include "KelbrinConnection.h"
#include "KelbrinExports.h"
#include "Passthrough.h"
#include "PluginLibrary.h"
#include "ReferenceSpaces.h"
#include "Runtime.h"
#include "SceneUnderstanding.h"
#include "Swapchains.h"
#include "TraceRecorder.h"

namespace {

using quenra::simruntime::HandleValue;
using quenra::simruntime::Runtime;

// Made before main, so destroyed only after the exit handler has looked at them.
Runtime runtime;
quenra::simruntime::FrameLoop frameLoop{runtime};
quenra::simruntime::Swapchains swapchains{runtime, frameLoop};
quenra::simruntime::Passthrough passthrough{runtime};
quenra::simruntime::ReferenceSpaces spaces{runtime};
quenra::simruntime::SceneUnderstanding sceneUnderstanding{runtime};
quenra::simengine::TraceRecorder trace;
quenra::simengine::FakeGraphics graphics{kUnityGfxRendererVulkan};
quenra::simengine::FakeMeshSubsystem meshes;
quenra::simengine::EngineRegistry registry;

struct Counts {
    size_t runtimeCalls;
    size_t messages;
    size_t deviceCallbacks;
};
Counts atExit{};

Counts Now() { return {runtime.CallsEntered(), trace.Size(), graphics.Callbacks().size()}; }

// Registered before the library is opened, so it runs after the library's static destructors.
void CheckNothingWasCalled()
{
    const Counts now = Now();
    if (now.runtimeCalls != atExit.runtimeCalls || now.messages != atExit.messages ||
        now.deviceCallbacks != atExit.deviceCallbacks) {
        std::fprintf(stderr, "static destructors called: %zu runtime calls, %zu trace messages, %zd device callbacks\n",
                     now.runtimeCalls - atExit.runtimeCalls, now.messages - atExit.messages,
                     static_cast<ssize_t>(now.deviceCallbacks) - static_cast<ssize_t>(atExit.deviceCallbacks));
        std::_Exit(1);
    }
}

template <typename Function> Function Export(const quenra::simengine::PluginLibrary& library, const char* name)
{
    Function function = nullptr;
    if (!library.Resolve(name, function)) {
        std::fprintf(stderr, "no export %s\n", name);
        std::_Exit(2);
    }
    return function;
}

const quenra::simengine::PluginLibrary& Open(const char* path)
{
    // Kept open, as the engine keeps its plug-ins until the process ends.
    static const auto* library = new quenra::simengine::PluginLibrary(path);
    if (!library->Loaded()) {
        std::fprintf(stderr, "%s\n", library->Error().c_str());
        std::_Exit(2);
    }
    return *library;
}

PFN_xrVoidFunction LookUp(PFN_xrGetInstanceProcAddr lookup, XrInstance instance, const char* name)
{
    PFN_xrVoidFunction function = nullptr;
    lookup(instance, name, &function);
    return function;
}

// Skelder with a layer in a frame.
void UseSkelder(XrInstance instance, XrSession session)
{
    const auto& library = Open(SKELDER_LIBRARY_PATH);
    Export<void (*)(IUnityInterfaces*)>(library, "UnityPluginLoad")(registry.Interfaces());
    const auto lookup = Export<PFN_xrGetInstanceProcAddr (*)(PFN_xrGetInstanceProcAddr)>(
        library, "GetInterceptedInstanceProcAddr")(&Runtime::GetInstanceProcAddr);
    Export<void (*)(uint8_t)>(library, "SetCompositionLayerFeatureEnabled")(1);
    Export<void (*)(uint32_t)>(library, "SetMaxCompositionLayerCount")(4);
    const int32_t layer = Export<int32_t (*)(uint64_t, uint64_t, uint32_t, uint32_t, int32_t, uint32_t, uint8_t)>(
        library, "CreateCompositionLayer")(HandleValue(instance), HandleValue(session), 64, 64, 1, 1, 0);
    Export<void* (*)(int32_t)>(library, "AcquireSwapchainImageForLayer")(layer);
    Export<void (*)(int32_t)>(library, "ReleaseSwapchainImageForLayer")(layer);
    XrFrameState state{XR_TYPE_FRAME_STATE};
    reinterpret_cast<PFN_xrWaitFrame>(LookUp(lookup, instance, "xrWaitFrame"))(session, nullptr, &state);
    reinterpret_cast<PFN_xrBeginFrame>(LookUp(lookup, instance, "xrBeginFrame"))(session, nullptr);
    XrFrameEndInfo endInfo{XR_TYPE_FRAME_END_INFO};
    endInfo.displayTime = state.predictedDisplayTime;
    endInfo.environmentBlendMode = XR_ENVIRONMENT_BLEND_MODE_OPAQUE;
    reinterpret_cast<PFN_xrEndFrame>(LookUp(lookup, instance, "xrEndFrame"))(session, &endInfo);
}

#ifdef WENDRATH_LIBRARY_PATH
// libWendrath with a renderer made for the device.
void UseWendrath()
{
    const auto& library = Open(WENDRATH_LIBRARY_PATH);
    Export<void (*)(IUnityInterfaces*)>(library, "UnityPluginLoad")(registry.Interfaces());
    graphics.FireDeviceEvent(kUnityGfxDeviceEventInitialize);
}
#endif

// libKelbrin with the meshing subsystem running and a scene observer made.
void UseKelbrin(XrInstance instance, XrSession session)
{
    const auto& library = Open(KELBRIN_LIBRARY_PATH);
    quenra::sim::KelbrinExports kelbrin{};
    if (!quenra::sim::ResolveKelbrinExports(library, kelbrin).empty()) {
        std::_Exit(2);
    }
    const PFN_xrGetInstanceProcAddr lookup =
        quenra::test::ConnectKelbrin(kelbrin, registry, meshes, runtime, instance, session);
    XrFrameState state{XR_TYPE_FRAME_STATE};
    reinterpret_cast<PFN_xrWaitFrame>(LookUp(lookup, instance, "xrWaitFrame"))(session, nullptr, &state);
    meshes.GetMeshInfos();
}

} // namespace

int main(int argc, char** argv)
{
    std::atexit(&CheckNothingWasCalled);
    registry.Provide<IUnityXRTrace>(trace.Interface());
    registry.Provide<IUnityGraphics>(graphics.Interface());
    registry.Provide<IUnityXRMeshInterface>(meshes.Interface());
    const XrInstance instance = runtime.MakeInstance();
    const XrSession session = runtime.MakeSession(instance);
    const std::string plugin = argc > 1 ? argv[1] : "";
    if (plugin == "skelder") {
        UseSkelder(instance, session);
#ifdef WENDRATH_LIBRARY_PATH
    } else if (plugin == "wendrath") {
        UseWendrath();
#endif
    } else if (plugin == "kelbrin") {
        UseKelbrin(instance, session);
    } else {
        std::fprintf(stderr, "usage: exit_with_plugin_loaded skelder|wendrath|kelbrin\n");
        return 2;
    }
    atExit = Now();
    return 0;
}
