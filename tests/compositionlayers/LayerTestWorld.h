// The world every layer test runs in: a simulated runtime with swapchains, passthrough and
// recorded reference spaces, a frame loop that checks submitted layers, a trace recorder, and
// one instance with one session.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "CompositionLayerGraphicsInterface_Vulkan.h"
#include "CompositionLayerProvider.h"
#include "FrameLoop.h"
#include "Passthrough.h"
#include "ReferenceSpaces.h"
#include "Runtime.h"
#include "Swapchains.h"
#include "TraceRecorder.h"

namespace Skelder::test {

// The stand-ins' names every layer test uses.
using quenra::simengine::TraceRecorder;
using quenra::simruntime::HandleKind;
using quenra::simruntime::HandleValue;
// Recorded call names and trace texts, in order.
using Calls = std::vector<std::string>;
using Texts = std::vector<std::string>;

// Stands in for a graphics interface that copies engine textures (Direct3D 11's, which only the
// Windows build has): Vulkan's image records, and every copy the layer asks for. Textures it is
// given as null it does not copy.
class CopyingGraphicsInterface : public CompositionLayerGraphicsInterface_Vulkan {
public:
    struct Copy {
        void* texture;
        void* image;
    };
    using CompositionLayerGraphicsInterface_Vulkan::CompositionLayerGraphicsInterface_Vulkan;
    bool CanCopyTexture(void* texture) const override { return texture != nullptr; }
    void TextureToSwapchain(void* texture, void* image) override { copies.push_back({texture, image}); }

    std::vector<Copy> copies;
};

struct LayerTestWorld {
    LayerTestWorld();

    // A lookup that records the names asked for, then answers as the runtime does.
    static XrResult XRAPI_CALL RecordingLookup(XrInstance instance, const char* name, PFN_xrVoidFunction* function);
    static std::vector<std::string>& LookedUpNames();

    std::unique_ptr<CompositionLayerGraphicsInterface_Vulkan> VulkanInterface()
    {
        return std::make_unique<CompositionLayerGraphicsInterface_Vulkan>(trace.Interface());
    }
    // Calls of `function` in the runtime's record, the handles each was made with.
    std::vector<uint64_t> HandlesOf(const std::string& function) const;
    size_t LiveCount(quenra::simruntime::HandleKind kind) const { return runtime.LiveHandles(kind).size(); }

    quenra::simruntime::Runtime runtime;
    quenra::simruntime::FrameLoop frameLoop{runtime};
    quenra::simruntime::Swapchains swapchains{runtime, frameLoop};
    quenra::simruntime::Passthrough passthrough{runtime};
    quenra::simruntime::ReferenceSpaces spaces{runtime};
    TraceRecorder trace;
    XrInstance instance;
    XrSession session;
};

// The layer structures the provider lists for submission.
std::vector<XrCompositionLayerBaseHeader*> VisibleXrLayers(const CompositionLayerProvider& provider);
// The ids of the layers in that list (ids up to 16), in its order.
std::vector<int32_t> VisibleLayerIds(const CompositionLayerProvider& provider);

} // namespace Skelder::test
