#include "Swapchains.h"

#include <stdexcept>

#include "FrameLoop.h"

namespace quenra::simruntime {
namespace {
Swapchains* current = nullptr;

// The common layout of every API's swapchain image structure: type, next, then one
// pointer-sized image handle the runtime fills in.
struct ImageRecord {
    XrStructureType type;
    void* next;
    uint64_t image;
};
static_assert(sizeof(ImageRecord) == 24, "image structures are 24 bytes on 64-bit targets");

XrResult Enumerate(const std::vector<int64_t>& items, uint32_t capacity, uint32_t* countOutput, int64_t* out)
{
    *countOutput = static_cast<uint32_t>(items.size());
    if (capacity == 0) {
        return XR_SUCCESS;
    }
    if (capacity < items.size()) {
        return XR_ERROR_SIZE_INSUFFICIENT;
    }
    for (size_t i = 0; i < items.size(); ++i) {
        out[i] = items[i];
    }
    return XR_SUCCESS;
}

bool ValidCreateInfo(const XrSwapchainCreateInfo& info)
{
    return info.type == XR_TYPE_SWAPCHAIN_CREATE_INFO && info.width > 0 && info.height > 0 && info.sampleCount > 0 &&
           (info.faceCount == 1 || info.faceCount == 6) && info.arraySize > 0 && info.mipCount > 0;
}
} // namespace

Swapchains::Swapchains(Runtime& runtime) : runtime(runtime), formats{43, 37}
{
    if (current != nullptr) {
        throw std::logic_error("only one Swapchains module may exist at a time");
    }
    current = this;
    runtime.AddFunction("xrEnumerateSwapchainFormats",
                        reinterpret_cast<PFN_xrVoidFunction>(&Swapchains::EnumerateSwapchainFormats));
    runtime.AddFunction("xrCreateSwapchain", reinterpret_cast<PFN_xrVoidFunction>(&Swapchains::CreateSwapchain));
    runtime.AddFunction("xrDestroySwapchain", reinterpret_cast<PFN_xrVoidFunction>(&Swapchains::DestroySwapchain));
    runtime.AddFunction("xrEnumerateSwapchainImages",
                        reinterpret_cast<PFN_xrVoidFunction>(&Swapchains::EnumerateSwapchainImages));
    runtime.AddFunction("xrAcquireSwapchainImage",
                        reinterpret_cast<PFN_xrVoidFunction>(&Swapchains::AcquireSwapchainImage));
    runtime.AddFunction("xrWaitSwapchainImage", reinterpret_cast<PFN_xrVoidFunction>(&Swapchains::WaitSwapchainImage));
    runtime.AddFunction("xrReleaseSwapchainImage",
                        reinterpret_cast<PFN_xrVoidFunction>(&Swapchains::ReleaseSwapchainImage));
}

Swapchains::Swapchains(Runtime& runtime, FrameLoop& frameLoop) : Swapchains(runtime)
{
    this->frameLoop = &frameLoop;
    frameLoop.SetLayerCheck([this](const XrCompositionLayerBaseHeader* layer) { return CheckLayer(layer); });
}

Swapchains::~Swapchains()
{
    for (const auto& [handle, state] : swapchains) {
        FreeImages(state);
    }
    if (frameLoop != nullptr) {
        frameLoop->SetLayerCheck(nullptr);
    }
    for (const char* name :
         {"xrEnumerateSwapchainFormats", "xrCreateSwapchain", "xrDestroySwapchain", "xrEnumerateSwapchainImages",
          "xrAcquireSwapchainImage", "xrWaitSwapchainImage", "xrReleaseSwapchainImage"}) {
        runtime.RemoveFunction(name);
    }
    current = nullptr;
}

Swapchains& Swapchains::Current()
{
    if (current == nullptr) {
        throw std::logic_error("no simulated swapchain module exists");
    }
    return *current;
}

void Swapchains::SetFormats(std::vector<int64_t> formats)
{
    std::lock_guard<std::recursive_mutex> lock(runtime.Mutex());
    this->formats = std::move(formats);
}

void Swapchains::SetImageCount(uint32_t count)
{
    std::lock_guard<std::recursive_mutex> lock(runtime.Mutex());
    imageCount = count;
}

void Swapchains::SetImageType(XrStructureType type)
{
    std::lock_guard<std::recursive_mutex> lock(runtime.Mutex());
    imageType = type;
}

void Swapchains::FailNextFill(const std::string& function, XrResult result)
{
    std::lock_guard<std::recursive_mutex> lock(runtime.Mutex());
    fillFailures[function] = result;
}

std::vector<XrSwapchainCreateInfo> Swapchains::CreateInfos() const
{
    std::lock_guard<std::recursive_mutex> lock(runtime.Mutex());
    return createInfos;
}

std::vector<XrDuration> Swapchains::WaitTimeouts() const
{
    std::lock_guard<std::recursive_mutex> lock(runtime.Mutex());
    return waitTimeouts;
}

std::vector<uint64_t> Swapchains::Images(XrSwapchain swapchain) const
{
    std::lock_guard<std::recursive_mutex> lock(runtime.Mutex());
    const SwapchainState* state = Find(swapchain);
    return state != nullptr ? state->images : std::vector<uint64_t>{};
}

uint32_t Swapchains::AcquiredCount(XrSwapchain swapchain) const
{
    std::lock_guard<std::recursive_mutex> lock(runtime.Mutex());
    const SwapchainState* state = Find(swapchain);
    return state != nullptr ? static_cast<uint32_t>(state->held.size()) : 0;
}

uint32_t Swapchains::WaitedCount(XrSwapchain swapchain) const
{
    std::lock_guard<std::recursive_mutex> lock(runtime.Mutex());
    const SwapchainState* state = Find(swapchain);
    uint32_t waited = 0;
    if (state != nullptr) {
        for (const HeldImage& image : state->held) {
            waited += image.waited ? 1 : 0;
        }
    }
    return waited;
}

uint32_t Swapchains::ReleasedCount(XrSwapchain swapchain) const
{
    std::lock_guard<std::recursive_mutex> lock(runtime.Mutex());
    const SwapchainState* state = Find(swapchain);
    return state != nullptr ? state->released : 0;
}

Swapchains::SwapchainState* Swapchains::Find(XrSwapchain swapchain)
{
    return const_cast<SwapchainState*>(static_cast<const Swapchains*>(this)->Find(swapchain));
}

const Swapchains::SwapchainState* Swapchains::Find(XrSwapchain swapchain) const
{
    // A swapchain dies with its session too, so the handle table has the last word.
    if (!runtime.IsLive(HandleKind::Swapchain, HandleValue(swapchain))) {
        return nullptr;
    }
    auto found = swapchains.find(HandleValue(swapchain));
    return found != swapchains.end() ? &found->second : nullptr;
}

XrResult Swapchains::FillFailure(const std::string& function)
{
    auto found = fillFailures.find(function);
    if (found == fillFailures.end()) {
        return XR_SUCCESS;
    }
    const XrResult result = found->second;
    fillFailures.erase(found);
    return result;
}

XrResult Swapchains::CheckSwapchain(XrSwapchain swapchain) const
{
    const SwapchainState* state = Find(swapchain);
    if (state == nullptr) {
        return XR_ERROR_HANDLE_INVALID;
    }
    return state->released > 0 ? XR_SUCCESS : XR_ERROR_LAYER_INVALID;
}

XrResult Swapchains::CheckSpace(XrSpace space) const
{
    return runtime.IsLive(HandleKind::Space, HandleValue(space)) ? XR_SUCCESS : XR_ERROR_HANDLE_INVALID;
}

XrResult Swapchains::CheckLayer(const XrCompositionLayerBaseHeader* layer) const
{
    std::lock_guard<std::recursive_mutex> lock(runtime.Mutex());
    switch (layer->type) {
    case XR_TYPE_COMPOSITION_LAYER_PROJECTION: {
        const auto* projection = reinterpret_cast<const XrCompositionLayerProjection*>(layer);
        if (projection->viewCount > 0 && projection->views == nullptr) {
            return XR_ERROR_VALIDATION_FAILURE;
        }
        for (uint32_t i = 0; i < projection->viewCount; ++i) {
            const XrResult result = CheckSwapchain(projection->views[i].subImage.swapchain);
            if (result != XR_SUCCESS) {
                return result;
            }
        }
        return CheckSpace(projection->space);
    }
    case XR_TYPE_COMPOSITION_LAYER_QUAD: {
        const auto* quad = reinterpret_cast<const XrCompositionLayerQuad*>(layer);
        const XrResult result = CheckSwapchain(quad->subImage.swapchain);
        return result != XR_SUCCESS ? result : CheckSpace(quad->space);
    }
    case XR_TYPE_COMPOSITION_LAYER_CYLINDER_KHR: {
        const auto* cylinder = reinterpret_cast<const XrCompositionLayerCylinderKHR*>(layer);
        const XrResult result = CheckSwapchain(cylinder->subImage.swapchain);
        return result != XR_SUCCESS ? result : CheckSpace(cylinder->space);
    }
    case XR_TYPE_COMPOSITION_LAYER_EQUIRECT2_KHR: {
        const auto* equirect = reinterpret_cast<const XrCompositionLayerEquirect2KHR*>(layer);
        const XrResult result = CheckSwapchain(equirect->subImage.swapchain);
        return result != XR_SUCCESS ? result : CheckSpace(equirect->space);
    }
    case XR_TYPE_COMPOSITION_LAYER_PASSTHROUGH_FB: {
        const auto* passthrough = reinterpret_cast<const XrCompositionLayerPassthroughFB*>(layer);
        return runtime.IsLive(HandleKind::PassthroughLayer, HandleValue(passthrough->layerHandle))
                   ? XR_SUCCESS
                   : XR_ERROR_HANDLE_INVALID;
    }
    default:
        return XR_SUCCESS;
    }
}

XrResult XRAPI_CALL Swapchains::EnumerateSwapchainFormats(XrSession session, uint32_t capacity, uint32_t* countOutput,
                                                          int64_t* formats)
{
    SIMRUNTIME_ENTER_ON(call, "xrEnumerateSwapchainFormats", HandleKind::Session, session);
    Swapchains& self = Current();
    SIMRUNTIME_INVALID_IF(call, countOutput == nullptr || (capacity > 0 && formats == nullptr));
    if (capacity > 0) {
        const XrResult failure = self.FillFailure("xrEnumerateSwapchainFormats");
        if (failure != XR_SUCCESS) {
            return call.Return(failure);
        }
    }
    const XrResult result = Enumerate(self.formats, capacity, countOutput, formats);
    return call.Return(result);
}

XrResult XRAPI_CALL Swapchains::CreateSwapchain(XrSession session, const XrSwapchainCreateInfo* info,
                                                XrSwapchain* swapchain)
{
    SIMRUNTIME_ENTER_ON(call, "xrCreateSwapchain", HandleKind::Session, session);
    Swapchains& self = Current();
    Runtime& runtime = call.runtime();
    SIMRUNTIME_INVALID_IF(call, info == nullptr || swapchain == nullptr || !ValidCreateInfo(*info));
    bool offered = false;
    for (int64_t format : self.formats) {
        offered = offered || format == info->format;
    }
    if (!offered) {
        return call.Return(XR_ERROR_SWAPCHAIN_FORMAT_UNSUPPORTED);
    }
    SwapchainState state{*info, {}, {}, 0, 0, self.imageSource};
    if (state.imageSource != nullptr) {
        state.images = state.imageSource->MakeImages(*info, self.imageCount);
        if (state.images.size() != self.imageCount) {
            FreeImages(state);
            return call.Return(XR_ERROR_RUNTIME_FAILURE);
        }
    }
    const uint64_t handle = runtime.CreateHandle(HandleKind::Swapchain, HandleValue(session));
    for (uint32_t i = 0; state.imageSource == nullptr && i < self.imageCount; ++i) {
        // Distinct, non-zero values that tell which swapchain an image belongs to.
        state.images.push_back((handle << 8) | (i + 1));
    }
    self.swapchains[handle] = std::move(state);
    self.createInfos.push_back(*info);
    *swapchain = reinterpret_cast<XrSwapchain>(handle);
    return call.Return(XR_SUCCESS);
}

void Swapchains::FreeImages(const SwapchainState& state)
{
    if (state.imageSource != nullptr && !state.images.empty()) {
        state.imageSource->FreeImages(state.images);
    }
}

XrResult XRAPI_CALL Swapchains::DestroySwapchain(XrSwapchain swapchain)
{
    SIMRUNTIME_ENTER(call, "xrDestroySwapchain", HandleValue(swapchain));
    Swapchains& self = Current();
    if (!call.runtime().DestroyHandle(HandleKind::Swapchain, HandleValue(swapchain))) {
        return call.Return(XR_ERROR_HANDLE_INVALID);
    }
    FreeImages(self.swapchains.at(HandleValue(swapchain)));
    self.swapchains.erase(HandleValue(swapchain));
    return call.Return(XR_SUCCESS);
}

XrResult XRAPI_CALL Swapchains::EnumerateSwapchainImages(XrSwapchain swapchain, uint32_t capacity,
                                                         uint32_t* countOutput, XrSwapchainImageBaseHeader* images)
{
    SIMRUNTIME_ENTER(call, "xrEnumerateSwapchainImages", HandleValue(swapchain));
    Swapchains& self = Current();
    const SwapchainState* state = self.Find(swapchain);
    if (state == nullptr) {
        return call.Return(XR_ERROR_HANDLE_INVALID);
    }
    SIMRUNTIME_INVALID_IF(call, countOutput == nullptr || (capacity > 0 && images == nullptr));
    const uint32_t count = static_cast<uint32_t>(state->images.size());
    *countOutput = count;
    if (capacity == 0) {
        return call.Return(XR_SUCCESS);
    }
    const XrResult failure = self.FillFailure("xrEnumerateSwapchainImages");
    if (failure != XR_SUCCESS) {
        return call.Return(failure);
    }
    if (capacity < count) {
        return call.Return(XR_ERROR_SIZE_INSUFFICIENT);
    }
    auto* records = reinterpret_cast<ImageRecord*>(images);
    for (uint32_t i = 0; i < count; ++i) {
        SIMRUNTIME_INVALID_IF(call, records[i].type != self.imageType);
    }
    for (uint32_t i = 0; i < count; ++i) {
        records[i].image = state->images[i];
    }
    return call.Return(XR_SUCCESS);
}

XrResult XRAPI_CALL Swapchains::AcquireSwapchainImage(XrSwapchain swapchain, const XrSwapchainImageAcquireInfo* info,
                                                      uint32_t* index)
{
    SIMRUNTIME_ENTER(call, "xrAcquireSwapchainImage", HandleValue(swapchain));
    Swapchains& self = Current();
    SwapchainState* state = self.Find(swapchain);
    if (state == nullptr) {
        return call.Return(XR_ERROR_HANDLE_INVALID);
    }
    SIMRUNTIME_INVALID_IF(call,
                          (info != nullptr && info->type != XR_TYPE_SWAPCHAIN_IMAGE_ACQUIRE_INFO) || index == nullptr);
    // Every image is already held by the application.
    if (state->images.empty() || state->held.size() == state->images.size()) {
        return call.Return(XR_ERROR_CALL_ORDER_INVALID);
    }
    *index = state->nextIndex;
    state->held.push_back({state->nextIndex, false});
    state->nextIndex = (state->nextIndex + 1) % static_cast<uint32_t>(state->images.size());
    return call.Return(XR_SUCCESS);
}

XrResult XRAPI_CALL Swapchains::WaitSwapchainImage(XrSwapchain swapchain, const XrSwapchainImageWaitInfo* info)
{
    SIMRUNTIME_ENTER(call, "xrWaitSwapchainImage", HandleValue(swapchain));
    Swapchains& self = Current();
    SwapchainState* state = self.Find(swapchain);
    if (state == nullptr) {
        return call.Return(XR_ERROR_HANDLE_INVALID);
    }
    SIMRUNTIME_INVALID_IF(call, info == nullptr || info->type != XR_TYPE_SWAPCHAIN_IMAGE_WAIT_INFO);
    // Only the oldest acquired image that is not yet waited may be waited for.
    for (HeldImage& image : state->held) {
        if (!image.waited) {
            image.waited = true;
            self.waitTimeouts.push_back(info->timeout);
            return call.Return(XR_SUCCESS);
        }
    }
    return call.Return(XR_ERROR_CALL_ORDER_INVALID);
}

XrResult XRAPI_CALL Swapchains::ReleaseSwapchainImage(XrSwapchain swapchain, const XrSwapchainImageReleaseInfo* info)
{
    SIMRUNTIME_ENTER(call, "xrReleaseSwapchainImage", HandleValue(swapchain));
    Swapchains& self = Current();
    SwapchainState* state = self.Find(swapchain);
    if (state == nullptr) {
        return call.Return(XR_ERROR_HANDLE_INVALID);
    }
    SIMRUNTIME_INVALID_IF(call, info != nullptr && info->type != XR_TYPE_SWAPCHAIN_IMAGE_RELEASE_INFO);
    // The oldest acquired image is released, and only once it has been waited for.
    if (state->held.empty() || !state->held.front().waited) {
        return call.Return(XR_ERROR_CALL_ORDER_INVALID);
    }
    state->held.erase(state->held.begin());
    ++state->released;
    return call.Return(XR_SUCCESS);
}

} // namespace quenra::simruntime
