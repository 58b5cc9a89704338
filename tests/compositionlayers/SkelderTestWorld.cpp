#include "SkelderTestWorld.h"

#include <stdexcept>
#include <utility>

namespace Skelder::test {
namespace {
// A function straight from the runtime, bypassing the plug-in.
template <typename Pfn> Pfn RuntimeFunction(XrInstance instance, const char* name)
{
    PFN_xrVoidFunction function = nullptr;
    if (quenra::simruntime::Runtime::GetInstanceProcAddr(instance, name, &function) != XR_SUCCESS) {
        throw std::logic_error(std::string("the runtime lacks ") + name);
    }
    return reinterpret_cast<Pfn>(function);
}

std::function<void()> _duringNextImageWait;
PFN_xrWaitSwapchainImage _runtimeImageWait = nullptr;

XrResult XRAPI_CALL StretchedImageWait(XrSwapchain swapchain, const XrSwapchainImageWaitInfo* info)
{
    // Taken first: a wait the hook itself leads to runs as the runtime's.
    if (std::function<void()> hook = std::exchange(_duringNextImageWait, nullptr)) {
        hook();
    }
    return _runtimeImageWait(swapchain, info);
}
} // namespace

SkelderTestWorld::SkelderTestWorld() : applicationSpace(layers.runtime.MakeSpace(layers.session))
{
    Skelder::ResetModuleState();
    // In place before any layer looks the wait up, so DuringNextImageWait reaches every layer.
    _runtimeImageWait = reinterpret_cast<PFN_xrWaitSwapchainImage>(layers.runtime.Function("xrWaitSwapchainImage"));
    layers.runtime.AddFunction("xrWaitSwapchainImage", reinterpret_cast<PFN_xrVoidFunction>(&StretchedImageWait));
    registry.Provide(layers.trace.Interface());
    registry.Provide(graphics.Interface());
    layers.frameLoop.SetFrameObserver([this](const XrFrameEndInfo& info) {
        std::vector<SubmittedLayer> frame;
        for (uint32_t i = 0; i < info.layerCount; ++i) {
            frame.push_back({info.layers[i], info.layers[i]->type, info.layers[i]->layerFlags});
        }
        submitted.push_back(std::move(frame));
    });
}

SkelderTestWorld::~SkelderTestWorld()
{
    DuringNextImageWait(nullptr);
    UnityPluginUnload();
    layers.frameLoop.SetFrameObserver(nullptr);
    Skelder::ResetModuleState();
}

void SkelderTestWorld::DuringNextImageWait(std::function<void()> hook)
{
    _duringNextImageWait = std::move(hook);
}

void SkelderTestWorld::Load()
{
    UnityPluginLoad(registry.Interfaces());
    GetInterceptedInstanceProcAddr(&quenra::simruntime::Runtime::GetInstanceProcAddr);
}

XrSwapchain SkelderTestWorld::ApplicationSwapchain()
{
    const XrInstance instance = layers.instance;
    XrSwapchainCreateInfo info{XR_TYPE_SWAPCHAIN_CREATE_INFO};
    info.usageFlags = XR_SWAPCHAIN_USAGE_COLOR_ATTACHMENT_BIT;
    info.format = 43;
    info.sampleCount = 1;
    info.width = 64;
    info.height = 64;
    info.faceCount = 1;
    info.arraySize = 1;
    info.mipCount = 1;
    XrSwapchain swapchain = XR_NULL_HANDLE;
    uint32_t index = 0;
    XrSwapchainImageWaitInfo waitInfo{XR_TYPE_SWAPCHAIN_IMAGE_WAIT_INFO};
    waitInfo.timeout = XR_INFINITE_DURATION;
    if (RuntimeFunction<PFN_xrCreateSwapchain>(instance, "xrCreateSwapchain")(layers.session, &info, &swapchain) !=
            XR_SUCCESS ||
        RuntimeFunction<PFN_xrAcquireSwapchainImage>(instance, "xrAcquireSwapchainImage")(swapchain, nullptr, &index) !=
            XR_SUCCESS ||
        RuntimeFunction<PFN_xrWaitSwapchainImage>(instance, "xrWaitSwapchainImage")(swapchain, &waitInfo) !=
            XR_SUCCESS ||
        RuntimeFunction<PFN_xrReleaseSwapchainImage>(instance, "xrReleaseSwapchainImage")(swapchain, nullptr) !=
            XR_SUCCESS) {
        throw std::logic_error("the runtime refused the application's swapchain");
    }
    return swapchain;
}

XrCompositionLayerProjection SkelderTestWorld::ApplicationProjection(XrSwapchain swapchain,
                                                                     XrCompositionLayerFlags flags)
{
    std::array<XrCompositionLayerProjectionView, 2>& views = projectionViews.emplace_back();
    for (XrCompositionLayerProjectionView& view : views) {
        view = {XR_TYPE_COMPOSITION_LAYER_PROJECTION_VIEW};
        view.pose.orientation.w = 1.0f;
        view.subImage.swapchain = swapchain;
        view.subImage.imageRect.extent = {64, 64};
    }
    XrCompositionLayerProjection projection{XR_TYPE_COMPOSITION_LAYER_PROJECTION};
    projection.layerFlags = flags;
    projection.space = applicationSpace;
    projection.viewCount = static_cast<uint32_t>(views.size());
    projection.views = views.data();
    return projection;
}

int32_t SkelderTestWorld::CreateLayer(LayerType type, int32_t sortingOrder)
{
    const int32_t id = CreateCompositionLayer(quenra::simruntime::HandleValue(layers.instance),
                                              quenra::simruntime::HandleValue(layers.session), 64, 32, sortingOrder,
                                              static_cast<uint32_t>(type), 0);
    if (id != 0 && type != LayerType::Passthrough) {
        AcquireSwapchainImageForLayer(id);
        ReleaseSwapchainImageForLayer(id);
    }
    return id;
}

XrResult SkelderTestWorld::RunFrame(const std::vector<const XrCompositionLayerBaseHeader*>& applicationLayers)
{
    XrFrameState frameState{XR_TYPE_FRAME_STATE};
    Lookup<PFN_xrWaitFrame>("xrWaitFrame")(layers.session, nullptr, &frameState);
    Lookup<PFN_xrBeginFrame>("xrBeginFrame")(layers.session, nullptr);
    XrFrameEndInfo endInfo{XR_TYPE_FRAME_END_INFO};
    endInfo.displayTime = frameState.predictedDisplayTime;
    endInfo.environmentBlendMode = XR_ENVIRONMENT_BLEND_MODE_OPAQUE;
    endInfo.layerCount = static_cast<uint32_t>(applicationLayers.size());
    endInfo.layers = applicationLayers.data();
    return Lookup<PFN_xrEndFrame>("xrEndFrame")(layers.session, &endInfo);
}

const XrCompositionLayerBaseHeader* SkelderTestWorld::StructureOf(int32_t layerId)
{
    ProviderLock::Hold hold(Skelder::State().providerLock);
    CompositionLayerBase* layer = Skelder::State().provider->FindLayer(layerId);
    return layer != nullptr ? layer->GetXrLayer() : nullptr;
}

} // namespace Skelder::test
