// The simulated runtime's swapchains: format enumeration, creation, image enumeration
// and the image cycle, which OpenXR requires to run acquire → wait → release, oldest
// image first. A call out of that order gives XR_ERROR_CALL_ORDER_INVALID.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "Runtime.h"
#include "SwapchainImageSource.h"

namespace quenra::simruntime {

class FrameLoop;

class Swapchains {
public:
    explicit Swapchains(Runtime& runtime);
    // Also makes the frame loop refuse layers whose swapchains are not ready (see CheckLayer).
    // The frame loop must outlive this object.
    Swapchains(Runtime& runtime, FrameLoop& frameLoop);
    ~Swapchains();
    Swapchains(const Swapchains&) = delete;
    Swapchains& operator=(const Swapchains&) = delete;

    static Swapchains& Current();

    // --- What the runtime offers ----------------------------------------------------------
    // Formats in the runtime's order of preference.
    void SetFormats(std::vector<int64_t> formats);
    void SetImageCount(uint32_t count);
    // The image structure the session's graphics API enumerates into (a Vulkan session by default).
    void SetImageType(XrStructureType type);
    // Real images of a graphics API for the swapchains made from now on (null: placeholders).
    // The source must outlive them.
    void SetImageSource(SwapchainImageSource* source) { imageSource = source; }
    // The next call of an enumeration (xrEnumerateSwapchainFormats or xrEnumerateSwapchainImages)
    // that has room for items fails with `result`; count-only calls go through.
    void FailNextFill(const std::string& function, XrResult result);

    // --- What the runtime saw --------------------------------------------------------------
    // Copies of every accepted create info, in creation order (their next pointers are not followed).
    std::vector<XrSwapchainCreateInfo> CreateInfos() const;
    // The timeout of every accepted wait, in order.
    std::vector<XrDuration> WaitTimeouts() const;
    // The image values the runtime wrote for a live swapchain, by index.
    std::vector<uint64_t> Images(XrSwapchain swapchain) const;
    // Images acquired and not yet released, of which WaitedCount have been waited.
    uint32_t AcquiredCount(XrSwapchain swapchain) const;
    uint32_t WaitedCount(XrSwapchain swapchain) const;
    // Images released over the swapchain's life.
    uint32_t ReleasedCount(XrSwapchain swapchain) const;

    // What the frame loop asks of each submitted layer: every swapchain it names must be live
    // (else XR_ERROR_HANDLE_INVALID) and must have released an image (else XR_ERROR_LAYER_INVALID);
    // its space and passthrough layer handle must be live (else XR_ERROR_HANDLE_INVALID).
    XrResult CheckLayer(const XrCompositionLayerBaseHeader* layer) const;

private:
    struct HeldImage {
        uint32_t index;
        bool waited;
    };
    struct SwapchainState {
        XrSwapchainCreateInfo info;
        std::vector<uint64_t> images;
        // Acquired images, oldest first.
        std::vector<HeldImage> held;
        uint32_t nextIndex = 0;
        uint32_t released = 0;
        SwapchainImageSource* imageSource = nullptr;
    };
    static void FreeImages(const SwapchainState& state);

    static XrResult XRAPI_CALL EnumerateSwapchainFormats(XrSession session, uint32_t capacity, uint32_t* countOutput,
                                                         int64_t* formats);
    static XrResult XRAPI_CALL CreateSwapchain(XrSession session, const XrSwapchainCreateInfo* info,
                                               XrSwapchain* swapchain);
    static XrResult XRAPI_CALL DestroySwapchain(XrSwapchain swapchain);
    static XrResult XRAPI_CALL EnumerateSwapchainImages(XrSwapchain swapchain, uint32_t capacity, uint32_t* countOutput,
                                                        XrSwapchainImageBaseHeader* images);
    static XrResult XRAPI_CALL AcquireSwapchainImage(XrSwapchain swapchain, const XrSwapchainImageAcquireInfo* info,
                                                     uint32_t* index);
    static XrResult XRAPI_CALL WaitSwapchainImage(XrSwapchain swapchain, const XrSwapchainImageWaitInfo* info);
    static XrResult XRAPI_CALL ReleaseSwapchainImage(XrSwapchain swapchain, const XrSwapchainImageReleaseInfo* info);

    // The state of a live swapchain, or null.
    SwapchainState* Find(XrSwapchain swapchain);
    const SwapchainState* Find(XrSwapchain swapchain) const;
    XrResult CheckSwapchain(XrSwapchain swapchain) const;
    XrResult CheckSpace(XrSpace space) const;
    // The failure FailNextFill asked for, consumed; XR_SUCCESS when there is none.
    XrResult FillFailure(const std::string& function);

    Runtime& runtime;
    FrameLoop* frameLoop = nullptr;
    std::vector<int64_t> formats;
    uint32_t imageCount = 3;
    XrStructureType imageType = XR_TYPE_SWAPCHAIN_IMAGE_VULKAN_KHR;
    SwapchainImageSource* imageSource = nullptr;
    std::map<std::string, XrResult> fillFailures;
    std::map<uint64_t, SwapchainState> swapchains;
    std::vector<XrSwapchainCreateInfo> createInfos;
    std::vector<XrDuration> waitTimeouts;
};

} // namespace quenra::simruntime
