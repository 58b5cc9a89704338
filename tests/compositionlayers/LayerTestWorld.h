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
#include "SimRuntime.h"
#include "Swapchains.h"
#include "TraceRecorder.h"

namespace quenra::test {

using engine::TraceRecorder;

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
    size_t LiveCount(sim::HandleKind kind) const { return runtime.LiveHandles(kind).size(); }

    sim::Runtime runtime;
    sim::FrameLoop frameLoop{runtime};
    sim::Swapchains swapchains{runtime, frameLoop};
    sim::Passthrough passthrough{runtime};
    sim::ReferenceSpaces spaces{runtime};
    TraceRecorder trace;
    XrInstance instance;
    XrSession session;
};

// The layer structures the provider lists for submission.
std::vector<XrCompositionLayerBaseHeader*> VisibleXrLayers(const CompositionLayerProvider& provider);
// The ids of the layers in that list (ids up to 16), in its order.
std::vector<int32_t> VisibleLayerIds(const CompositionLayerProvider& provider);

} // namespace quenra::test
