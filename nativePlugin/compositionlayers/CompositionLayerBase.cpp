#include "CompositionLayerBase.h"

#include <new>
#include <vector>

#include "XrFunctions.h"

namespace Skelder {

namespace {
// The two steps of AcquireImage (acquire, then wait) fail alike.
const char* const kAcquireFailed = "CompositionLayerBase::AcquireImage -- xrAcquireSwapchainImage failed: %d";
const char* const kSessionLossPending =
    "CompositionLayerBase::AcquireImage -- session loss pending. Release immediately.";
} // namespace

CompositionLayerBase::CompositionLayerBase(XrInstance instance, PFN_xrGetInstanceProcAddr getInstanceProcAddr,
                                           IUnityXRTrace* trace, int32_t layerId,
                                           std::unique_ptr<CompositionLayerGraphicsInterface> graphicsInterface)
    : trace(trace), graphicsInterface(std::move(graphicsInterface)), layerId(layerId)
{
#define SKELDER_RESOLVE_FUNCTION(name) xr.name = LookUpXrFunction<PFN_##name>(getInstanceProcAddr, instance, #name);
    SKELDER_LAYER_XR_FUNCTIONS(SKELDER_RESOLVE_FUNCTION)
#undef SKELDER_RESOLVE_FUNCTION
}

CompositionLayerBase::~CompositionLayerBase()
{
    DestroySwapchain();
}

bool CompositionLayerBase::ConfigureSwapchain(XrSession session, uint32_t width, uint32_t height, int32_t sortingOrder)
{
    if (swapchain != XR_NULL_HANDLE) {
        TraceLog(trace, kXRTraceLevelError,
                 "CompositionLayerBase::ConfigureSwapchain -- There is already an active Swapchain. Destroy the "
                 "previous one to create a new one.");
        return false;
    }
    this->session = session;
    if (!CreateSwapchain(width, height)) {
        TraceLog(trace, kXRTraceLevelError, "CompositionLayerBase::ConfigureSwapchain -- Failed to create swapchain.");
        return false;
    }
    this->sortingOrder = sortingOrder;
    return true;
}

bool CompositionLayerBase::CreateSwapchain(uint32_t width, uint32_t height)
{
    if (swapchain != XR_NULL_HANDLE) {
        TraceLog(trace, kXRTraceLevelError,
                 "There is already an active Swapchain. Destroy the previous one to create a new one.");
        return false;
    }
    uint32_t formatCount = 0;
    XrResult result = CallXrFunction(xr.xrEnumerateSwapchainFormats, session, 0u, &formatCount, nullptr);
    if (result != XR_SUCCESS) {
        TraceLog(trace, kXRTraceLevelError,
                 "CompositionLayerBase::CreateSwapchain -- enumerateswapchainformats result %d",
                 static_cast<int>(result));
        return false;
    }
    if (formatCount == 0) {
        TraceLog(trace, kXRTraceLevelError, "CompositionLayerBase::CreateSwapchain -- the runtime offers no formats");
        return false;
    }
    try {
        std::vector<int64_t> formats(formatCount);
        result = CallXrFunction(xr.xrEnumerateSwapchainFormats, session, formatCount, &formatCount, formats.data());
        if (result != XR_SUCCESS) {
            TraceLog(trace, kXRTraceLevelError,
                     "CompositionLayerBase::CreateSwapchain -- xrEnumerateSwapchainFormats failed: %d",
                     static_cast<int>(result));
            return false;
        }
        formats.resize(formatCount);

        XrSwapchainCreateInfo info{XR_TYPE_SWAPCHAIN_CREATE_INFO};
        info.createFlags = 0;
        info.usageFlags = graphicsInterface->GetUsageFlags();
        info.format = graphicsInterface->ChooseFormat(formats);
        info.sampleCount = 1;
        info.width = width;
        info.height = height;
        info.faceCount = 1;
        info.arraySize = 1;
        info.mipCount = 1;
        // A swapchain that could never be destroyed would outlive the layer on the runtime.
        if (xr.xrDestroySwapchain == nullptr) {
            TraceLog(trace, kXRTraceLevelError,
                     "CompositionLayerBase::CreateSwapchain -- the runtime offers no xrDestroySwapchain; no "
                     "swapchain is created");
            return false;
        }
        // A success code other than XR_SUCCESS still counts as failure; a handle it came with is
        // kept and destroyed with the layer.
        result = CallXrFunction(xr.xrCreateSwapchain, session, &info, &swapchain);
        if (result != XR_SUCCESS) {
            TraceLog(trace, kXRTraceLevelError, "CompositionLayerBase::CreateSwapchain -- xrCreateSwapchain failed: %d",
                     static_cast<int>(result));
            return false;
        }
        return EnumerateSwapchainImages();
    } catch (const std::bad_alloc&) {
        TraceLog(trace, kXRTraceLevelError, "CompositionLayerBase::CreateSwapchain -- out of memory");
        DestroySwapchain();
        return false;
    }
}

bool CompositionLayerBase::EnumerateSwapchainImages()
{
    uint32_t imageCount = 0;
    XrResult result = CallXrFunction(xr.xrEnumerateSwapchainImages, swapchain, 0u, &imageCount, nullptr);
    if (result != XR_SUCCESS) {
        TraceLog(trace, kXRTraceLevelError,
                 "CompositionLayerBase::CreateSwapchain -- xrEnumerateSwapchainImages1 failed: %d",
                 static_cast<int>(result));
        DestroySwapchain();
        return false;
    }
    // The records stay with the graphics interface; only the array of their addresses is ours.
    const std::vector<XrSwapchainImageBaseHeader*> images = graphicsInterface->EnumerateImages(imageCount);
    result = CallXrFunction(xr.xrEnumerateSwapchainImages, swapchain, imageCount, &imageCount,
                            images.empty() ? nullptr : images.front());
    if (result != XR_SUCCESS) {
        TraceLog(trace, kXRTraceLevelError,
                 "CompositionLayerBase::CreateSwapchain -- xrEnumerateSwapchainImages2 failed: %d",
                 static_cast<int>(result));
        DestroySwapchain();
        return false;
    }
    return true;
}

void* CompositionLayerBase::AcquireImage(XrDuration timeout)
{
    if (imageAcquired) {
        TraceLog(trace, kXRTraceLevelWarning, "CompositionLayerBase::AcquireImage -- An image is already acquired");
        return nullptr;
    }
    if (swapchain == XR_NULL_HANDLE) {
        TraceLog(trace, kXRTraceLevelWarning,
                 "CompositionLayerBase::AcquireImage -- Attempting to acquire from an invalid swapchain.");
        return nullptr;
    }
    XrSwapchainImageAcquireInfo acquireInfo{XR_TYPE_SWAPCHAIN_IMAGE_ACQUIRE_INFO};
    uint32_t index = 0;
    XrResult result = CallXrFunction(xr.xrAcquireSwapchainImage, swapchain, &acquireInfo, &index);
    if (XR_FAILED(result)) {
        TraceLog(trace, kXRTraceLevelError, kAcquireFailed, static_cast<int>(result));
        return nullptr;
    }
    // From here the runtime counts the image as the application's until it is released.
    imageAcquired = true;
    imageWaited = false;
    if (result == XR_SESSION_LOSS_PENDING) {
        TraceLog(trace, kXRTraceLevelWarning, kSessionLossPending);
        ReleaseImage();
        return nullptr;
    }

    XrSwapchainImageWaitInfo waitInfo{XR_TYPE_SWAPCHAIN_IMAGE_WAIT_INFO};
    waitInfo.timeout = timeout;
    result = CallXrFunction(xr.xrWaitSwapchainImage, swapchain, &waitInfo);
    if (XR_FAILED(result)) {
        TraceLog(trace, kXRTraceLevelError, kAcquireFailed, static_cast<int>(result));
        // The caller gets no image, so nobody else would ever release this one: the layer would
        // stay acquired and be left out of every frame.
        ReleaseImage();
        return nullptr;
    }
    if (result == XR_TIMEOUT_EXPIRED) {
        TraceLog(trace, kXRTraceLevelWarning,
                 "CompositionLayerBase::AcquireImage -- wait swapchain image timed out. Release immediately.");
        ReleaseImage();
        return nullptr;
    }
    imageWaited = true;
    if (result == XR_SESSION_LOSS_PENDING) {
        TraceLog(trace, kXRTraceLevelWarning, kSessionLossPending);
        ReleaseImage();
        return nullptr;
    }
    return graphicsInterface->SelectImage(index);
}

void CompositionLayerBase::ReleaseImage()
{
    if (!imageAcquired) {
        return;
    }
    if (swapchain == XR_NULL_HANDLE) {
        TraceLog(trace, kXRTraceLevelWarning,
                 "CompositionLayerBase::ReleaseImage -- Attempting to release from an invalid swapchain.");
        return;
    }
    XrResult result = XR_SUCCESS;
    if (!imageWaited) {
        // A wait that timed out or failed left the image unwaited, and OpenXR refuses to release
        // such an image: finish the wait first, or the layer could never acquire again.
        XrSwapchainImageWaitInfo waitInfo{XR_TYPE_SWAPCHAIN_IMAGE_WAIT_INFO};
        waitInfo.timeout = XR_INFINITE_DURATION;
        result = CallXrFunction(xr.xrWaitSwapchainImage, swapchain, &waitInfo);
        if (XR_FAILED(result) || result == XR_TIMEOUT_EXPIRED) {
            TraceLog(trace, kXRTraceLevelError, "CompositionLayerBase::ReleaseImage -- xrWaitSwapchainImage failed: %d",
                     static_cast<int>(result));
            return;
        }
        imageWaited = true;
    }
    XrSwapchainImageReleaseInfo releaseInfo{XR_TYPE_SWAPCHAIN_IMAGE_RELEASE_INFO};
    result = CallXrFunction(xr.xrReleaseSwapchainImage, swapchain, &releaseInfo);
    if (XR_FAILED(result)) {
        TraceLog(trace, kXRTraceLevelError, "CompositionLayerBase::ReleaseImage -- xrReleaseSwapchainImage failed: %d",
                 static_cast<int>(result));
        return;
    }
    imageAcquired = false;
    imageWaited = false;
    graphicsInterface->ClearImage();
}

void CompositionLayerBase::SendToSwapchain(void* texture)
{
    if (!graphicsInterface->CanCopyTexture(texture)) {
        return;
    }
    void* image = AcquireImage(XR_INFINITE_DURATION);
    if (image == nullptr) {
        return;
    }
    graphicsInterface->TextureToSwapchain(texture, image);
    ReleaseImage();
}

void CompositionLayerBase::DestroySwapchain()
{
    if (swapchain == XR_NULL_HANDLE) {
        return;
    }
    ReleaseImage();
    const XrResult result = CallXrFunction(xr.xrDestroySwapchain, swapchain);
    swapchain = XR_NULL_HANDLE;
    // The images went with the swapchain, even one whose release failed.
    imageAcquired = false;
    imageWaited = false;
    graphicsInterface->ClearImage();
    if (XR_FAILED(result)) {
        TraceLog(trace, kXRTraceLevelError, "CompositionLayerBase::DestroySwapchain -- xrDestroySwapchain failed: %d",
                 static_cast<int>(result));
    } else if (result == XR_SESSION_LOSS_PENDING) {
        TraceLog(trace, kXRTraceLevelWarning, "CompositionLayerBase::DestroySwapchain -- session loss pending.");
    }
}

XrSpace CompositionLayerBase::CreateReferenceSpace(XrSession session, XrReferenceSpaceType type,
                                                   const char* failureFormat)
{
    XrReferenceSpaceCreateInfo info{XR_TYPE_REFERENCE_SPACE_CREATE_INFO};
    info.referenceSpaceType = type;
    info.poseInReferenceSpace.orientation = {0.0f, 0.0f, 0.0f, 1.0f};
    info.poseInReferenceSpace.position = {0.0f, 0.0f, 0.0f};
    if (xr.xrCreateReferenceSpace != nullptr && xr.xrDestroySpace == nullptr) {
        // A space that could never be destroyed would outlive the layer on the runtime.
        TraceLog(trace, kXRTraceLevelError,
                 "CompositionLayerBase::CreateReferenceSpace -- the runtime offers no xrDestroySpace; no space is "
                 "created");
        return XR_NULL_HANDLE;
    }
    XrSpace space = XR_NULL_HANDLE;
    const XrResult result = CallXrFunction(xr.xrCreateReferenceSpace, session, &info, &space);
    if (result != XR_SUCCESS) {
        TraceLog(trace, kXRTraceLevelError, failureFormat, static_cast<int>(result));
    }
    // A space that came with another success code is still the layer's to destroy.
    return XR_SUCCEEDED(result) ? space : XR_NULL_HANDLE;
}

void CompositionLayerBase::DestroyReferenceSpace(XrSpace& space)
{
    if (space != XR_NULL_HANDLE) {
        CallXrFunction(xr.xrDestroySpace, space);
        space = XR_NULL_HANDLE;
    }
}

XrSwapchainSubImage CompositionLayerBase::FullSubImage(uint32_t width, uint32_t height) const
{
    XrSwapchainSubImage subImage{};
    subImage.swapchain = swapchain;
    subImage.imageRect.offset = {0, 0};
    subImage.imageRect.extent = {static_cast<int32_t>(width), static_cast<int32_t>(height)};
    subImage.imageArrayIndex = 0;
    return subImage;
}

XrCompositionLayerAlphaBlendFB CompositionLayerBase::PremultipliedOverBlend()
{
    XrCompositionLayerAlphaBlendFB blend{XR_TYPE_COMPOSITION_LAYER_ALPHA_BLEND_FB};
    blend.srcFactorColor = XR_BLEND_FACTOR_ONE_FB;
    blend.dstFactorColor = XR_BLEND_FACTOR_ONE_MINUS_SRC_ALPHA_FB;
    blend.srcFactorAlpha = XR_BLEND_FACTOR_ONE_FB;
    blend.dstFactorAlpha = XR_BLEND_FACTOR_ONE_MINUS_SRC_ALPHA_FB;
    return blend;
}

} // namespace Skelder
