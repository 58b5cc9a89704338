#include "KelbrinWorld.h"

#include <stdexcept>

#include "KelbrinModule.h"
#include "KelbrinPlugin.h"

namespace kelbrin::test {

KelbrinWorld::KelbrinWorld()
{
    // A world starts with the library as freshly mapped, whatever an earlier world left in it.
    ForgetChainedFunctions();
    registry.Provide<IUnityXRTrace>(trace.Interface());
}

KelbrinWorld::~KelbrinWorld()
{
    Unload();
}

void KelbrinWorld::Load(IUnityXRMeshInterface* meshInterface)
{
    registry.Provide<IUnityXRMeshInterface>(meshInterface);
    UnityPluginLoad(registry.Interfaces());
    loaded = true;
}

void KelbrinWorld::Unload()
{
    if (loaded) {
        UnityPluginUnload();
        loaded = false;
    }
}

void KelbrinWorld::ConnectOpenXr()
{
    instance = runtime.MakeInstance();
    session = runtime.MakeSession(instance);
    space = runtime.MakeSpace(session);
    if (GetInterceptedInstanceProcAddr(&quenra::simruntime::Runtime::GetInstanceProcAddr) !=
        &InterceptedXrGetInstanceProcAddr) {
        throw std::runtime_error("the plug-in gave no lookup function to chain");
    }
    SetInstanceHandle(HandleValue(instance));
    SetSessionHandle(HandleValue(session));
    SetSpaceHandle(HandleValue(space));
}

PFN_xrWaitFrame KelbrinWorld::InterceptedWaitFrame() const
{
    PFN_xrVoidFunction function = nullptr;
    InterceptedXrGetInstanceProcAddr(instance, "xrWaitFrame", &function);
    return reinterpret_cast<PFN_xrWaitFrame>(function);
}

XrTime KelbrinWorld::WaitFrame()
{
    const PFN_xrWaitFrame wait = InterceptedWaitFrame();
    XrFrameState state{XR_TYPE_FRAME_STATE};
    if (wait == nullptr || wait(session, nullptr, &state) != XR_SUCCESS) {
        throw std::runtime_error("no frame waited for through the plug-in");
    }
    return state.predictedDisplayTime;
}

} // namespace kelbrin::test
