// A process that uses a plug-in and exits with it still loaded and in use, as an application
// that quits without a last word to its plug-ins. The library's static destructors run at exit,
// when the engine and the runtime may be gone: they must call neither. An exit handler that runs
// after them checks. Usage: exit_with_plugin_loaded skelder|wendrath|kelbrin
#include <openxr/openxr.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "Engine.h"
#include "FrameLoop.h"
#include "KelbrinSession.h"
#include "Passthrough.h"
#include "ReferenceSpaces.h"
#include "Runtime.h"
#include "SceneUnderstanding.h"
#include "SkelderSession.h"
#include "Swapchains.h"
#ifdef WENDRATH_LIBRARY_PATH
#include "WendrathExportTable.h"
#endif

namespace {

using quenra::simruntime::Runtime;

// Made before main, so destroyed only after the exit handler has looked at them.
Runtime runtime;
quenra::simruntime::FrameLoop frameLoop{runtime};
quenra::simruntime::Swapchains swapchains{runtime, frameLoop};
quenra::simruntime::Passthrough passthrough{runtime};
quenra::simruntime::ReferenceSpaces spaces{runtime};
quenra::simruntime::SceneUnderstanding sceneUnderstanding{runtime};
quenra::harness::Engine engine;

struct Counts {
    size_t runtimeCalls;
    size_t messages;
    size_t deviceCallbacks;
};
Counts atExit{};

Counts Now() { return {runtime.CallsEntered(), engine.trace.Size(), engine.graphics.Callbacks().size()}; }

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

// Kept open, as the engine keeps its plug-ins until the process ends.
template <typename Table> const Table& Open(const char* name, const char* path)
{
    try {
        static const auto* plugin = new quenra::harness::OpenedPlugin<Table>(name, path);
        return plugin->Exports();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        std::_Exit(2);
    }
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
    // Never destroyed: it would unload the plug-in.
    static auto* skelder = new quenra::harness::SkelderSession(
        Open<quenra::harness::SkelderExportTable>("Skelder", SKELDER_LIBRARY_PATH), engine);
    const PFN_xrGetInstanceProcAddr lookup = skelder->LoadAndChain(&Runtime::GetInstanceProcAddr, 4);
    skelder->CreateLayer(instance, session, quenra::harness::SkelderLayer::Quad, 1, 64);
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
    Open<quenra::harness::WendrathExportTable>("libWendrath", WENDRATH_LIBRARY_PATH)
        .UnityPluginLoad(engine.registry.Interfaces());
    engine.graphics.FireDeviceEvent(kUnityGfxDeviceEventInitialize);
}
#endif

// libKelbrin with the meshing subsystem running and a scene observer made.
void UseKelbrin(XrInstance instance, XrSession session)
{
    // Never destroyed: it would unload the plug-in.
    static auto* kelbrin = new quenra::harness::KelbrinSession(
        Open<quenra::harness::KelbrinExportTable>("libKelbrin", KELBRIN_LIBRARY_PATH), engine);
    kelbrin->Load();
    const PFN_xrGetInstanceProcAddr lookup = kelbrin->Chain(&Runtime::GetInstanceProcAddr);
    kelbrin->StartMeshing(instance, session, runtime.MakeSpace(session));
    XrFrameState state{XR_TYPE_FRAME_STATE};
    reinterpret_cast<PFN_xrWaitFrame>(LookUp(lookup, instance, "xrWaitFrame"))(session, nullptr, &state);
    engine.meshes.GetMeshInfos();
}

} // namespace

int main(int argc, char** argv)
{
    std::atexit(&CheckNothingWasCalled);
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
