// The OpenXR runtime the binding tests run against: the simulated runtime library as built,
// opened here and reached through its negotiation and control entries. None of the runtime's
// code is linked into the host; it uses only what the runtime's headers define inline.
#pragma once

#include <openxr/openxr.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quenra::test {

// One layer of an ended frame as the runtime read it: its structure type and its values
// (pose as orientation x, y, z, w then position x, y, z; then the kind's own sizes and angles).
struct ReceivedLayer {
    XrStructureType type;
    std::vector<float> values;
};

// The function of that name through an xrGetInstanceProcAddr, or null.
template <typename Pfn> Pfn LookUp(PFN_xrGetInstanceProcAddr lookup, uint64_t instance, const char* name)
{
    PFN_xrVoidFunction function = nullptr;
    lookup(reinterpret_cast<XrInstance>(instance), name, &function);
    return reinterpret_cast<Pfn>(function);
}

class HostRuntime {
public:
    // A fresh runtime in the library; throws if the library or its entries are missing.
    HostRuntime();
    ~HostRuntime();
    HostRuntime(const HostRuntime&) = delete;
    HostRuntime& operator=(const HostRuntime&) = delete;

    // The runtime's own xrGetInstanceProcAddr, as it hands it to a loader.
    PFN_xrGetInstanceProcAddr Lookup() const;
    // Made through the runtime's OpenXR functions, as an application makes them; 0 on failure.
    uint64_t MakeInstance();
    uint64_t MakeSession(uint64_t instance);
    uint64_t MakeSpace(uint64_t session);
    // Live handles of a kind named as the runtime names it ("XrSwapchain", "XrSpace", ...).
    size_t LiveCount(const std::string& kind) const;
    XrTime LastPredictedDisplayTime() const;

    // Adds a plane with its mesh to the scene the next computes see.
    void AddPlane(const XrUuidMSFT& id, XrScenePlaneAlignmentTypeMSFT alignment, const XrPosef& pose, XrExtent2Df size,
                  XrSpaceLocationFlags locationFlags, std::vector<XrVector3f> vertices, std::vector<uint32_t> indices);

    // The layers of the last ended frame.
    std::vector<ReceivedLayer> LastFrameLayers() const;

private:
    struct World;
    std::unique_ptr<World> world;
};

} // namespace quenra::test
