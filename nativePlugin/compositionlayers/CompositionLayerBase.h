// Base of every layer kind: owns the layer's swapchain and graphics interface and runs the
// image cycle (acquire, wait, hand out the native image or have the interface copy into it,
// release), and carries what the provider and the exported functions need of every layer.
#pragma once

#include <openxr/openxr.h>

#include <cstdint>
#include <memory>

#include "CompositionLayerGraphicsInterface.h"
#include "TraceLog.h"

namespace Skelder {

// The runtime functions every layer resolves at construction, in this order.
#define SKELDER_LAYER_XR_FUNCTIONS(X)                                                                                  \
    X(xrEnumerateSwapchainFormats)                                                                                     \
    X(xrCreateSwapchain)                                                                                               \
    X(xrDestroySwapchain)                                                                                              \
    X(xrEnumerateSwapchainImages)                                                                                      \
    X(xrAcquireSwapchainImage)                                                                                         \
    X(xrWaitSwapchainImage)                                                                                            \
    X(xrReleaseSwapchainImage)                                                                                         \
    X(xrCreateReferenceSpace)                                                                                          \
    X(xrDestroySpace)

struct LayerXrFunctions {
#define SKELDER_DECLARE_FUNCTION(name) PFN_##name name = nullptr;
    SKELDER_LAYER_XR_FUNCTIONS(SKELDER_DECLARE_FUNCTION)
#undef SKELDER_DECLARE_FUNCTION
};

class CompositionLayerBase {
public:
    // Resolves the runtime functions through getInstanceProcAddr (the next one in the OpenXR
    // chain; null leaves them all missing). The layer owns the interface, which must not be null.
    CompositionLayerBase(XrInstance instance, PFN_xrGetInstanceProcAddr getInstanceProcAddr, IUnityXRTrace* trace,
                         int32_t layerId, std::unique_ptr<CompositionLayerGraphicsInterface> graphicsInterface);
    // Releases an acquired image, destroys the swapchain, then the graphics interface.
    virtual ~CompositionLayerBase();
    CompositionLayerBase(const CompositionLayerBase&) = delete;
    CompositionLayerBase& operator=(const CompositionLayerBase&) = delete;

    // Stores the session, creates the swapchain and takes the sorting order; false if a
    // swapchain exists already or creation failed.
    virtual bool ConfigureSwapchain(XrSession session, uint32_t width, uint32_t height, int32_t sortingOrder);
    virtual bool CreateSwapchain(uint32_t width, uint32_t height);
    // Creates the layer's reference space and fills its OpenXR layer structure.
    virtual void Initialize(XrSession session, uint32_t width, uint32_t height) = 0;
    // The kind's layer structure, kept inside the layer, ready for xrEndFrame.
    virtual XrCompositionLayerBaseHeader* GetXrLayer() = 0;
    virtual void SetOrientation(float x, float y, float z, float w) = 0;
    virtual void SetPosition(float x, float y, float z) = 0;

    // Acquires and waits for the next image; answers its native handle, or null on failure.
    void* AcquireImage(XrDuration timeout);
    void ReleaseImage();
    // One whole cycle for an engine texture, where the graphics interface copies: acquire an image
    // (infinite wait), have the interface copy the texture into it, release it. Without an image
    // (the acquire has said why, or a script holds one, which stays the script's) nothing is copied.
    void SendToSwapchain(void* texture);
    void DestroySwapchain();

    int32_t LayerId() const { return layerId; }
    XrSession Session() const { return session; }
    XrSwapchain Swapchain() const { return swapchain; }
    bool IsImageAcquired() const { return imageAcquired; }
    CompositionLayerGraphicsInterface& GraphicsInterface() const { return *graphicsInterface; }

    // Set by the exported functions; the provider submits visible layers in sorting order.
    int32_t sortingOrder = 0;
    bool visible = true;

protected:
    // Creates a reference space of the given type with the identity pose; on failure logs
    // failureFormat (which takes the result) and answers null.
    XrSpace CreateReferenceSpace(XrSession session, XrReferenceSpaceType type, const char* failureFormat);
    // Destroys the space if there is one and clears it.
    void DestroyReferenceSpace(XrSpace& space);
    // The whole of the swapchain's first image.
    XrSwapchainSubImage FullSubImage(uint32_t width, uint32_t height) const;
    // Premultiplied colour drawn over what lies beneath: the blend of the swapchain kinds.
    static XrCompositionLayerAlphaBlendFB PremultipliedOverBlend();

    LayerXrFunctions xr;
    IUnityXRTrace* trace;
    XrSession session = XR_NULL_HANDLE;

private:
    bool EnumerateSwapchainImages();

    std::unique_ptr<CompositionLayerGraphicsInterface> graphicsInterface;
    XrSwapchain swapchain = XR_NULL_HANDLE;
    bool imageAcquired = false;
    // Whether the acquired image has been waited for: OpenXR releases only a waited image.
    bool imageWaited = false;
    int32_t layerId;
};

} // namespace Skelder
