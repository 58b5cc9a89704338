// The script that shows Skelder's layers, as an engine script on a Vulkan engine would: it creates
// a quad (a panel with a test pattern and its id, following the head), a cylinder (a banner around
// the user) and an equirect (a sky), fills each by acquiring its image through the export and
// writing into the memory the runtime gave that image, places them in engine coordinates
// (converted to OpenXR's before every export), and over the run changes their visibility, sorting
// order and pose.
#pragma once

#include <cstdint>
#include <string>

#include "CpuSwapchainImages.h"
#include "SkelderExportTable.h"

namespace quenra::sim {

struct LayerScriptCounts {
    uint32_t created = 0;
    uint32_t acquired = 0;
    uint32_t acquireFailures = 0;
    uint32_t released = 0;
};

class LayerScript {
public:
    LayerScript(const harness::SkelderExportTable& skelder, simruntime::CpuSwapchainImages& images);

    // Creates and fills the layers once the session exists; enables the feature.
    void Start(uint64_t instance, uint64_t session);
    // Between frames: the arrangement for this point of the run (0 at the start, 1 at the end).
    void Update(uint32_t frame, double progress);
    void Stop(uint64_t session);

    // The provider layers visible now, and the maximum per frame the script set.
    uint32_t VisibleLayers() const { return visibleLayers; }
    uint32_t MaxLayerCount() const { return maxLayerCount; }
    // How the layers stand now, in words.
    std::string Arrangement() const { return arrangement; }
    const LayerScriptCounts& Counts() const { return counts; }

private:
    // Acquires the layer's next image, lets paint fill it, releases it.
    template <typename Paint> void Fill(int32_t layer, Paint paint);
    void Place(int32_t layer, float x, float y, float z, float yaw) const;

    const harness::SkelderExportTable& skelder;
    simruntime::CpuSwapchainImages& images;
    int32_t quad = 0;
    int32_t cylinder = 0;
    int32_t sky = 0;
    int phase = -1;
    uint32_t visibleLayers = 0;
    uint32_t maxLayerCount = 0;
    std::string arrangement;
    LayerScriptCounts counts;
};

} // namespace quenra::sim
