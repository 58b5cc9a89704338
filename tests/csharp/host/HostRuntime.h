// The OpenXR runtime the binding tests run against: the simulated runtime library as built, found
// by the Khronos loader through its manifest, as an application finds a runtime. The host opens the
// library first (so loader and host share it) to reach its control entry. None of the runtime's
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

    // The loader's xrGetInstanceProcAddr, the one an application starts from.
    PFN_xrGetInstanceProcAddr Lookup() const;
    // Made through the functions `lookup` finds, as an application makes them; 0 on failure.
    // `extensions`: the instance extensions to enable, separated by spaces.
    uint64_t MakeInstance(PFN_xrGetInstanceProcAddr lookup, const std::string& extensions);
    uint64_t MakeSession(PFN_xrGetInstanceProcAddr lookup, uint64_t instance);
    uint64_t MakeSpace(PFN_xrGetInstanceProcAddr lookup, uint64_t session);
    // Destroys an "XrSpace", "XrSession" or "XrInstance" through `lookup`; its result.
    XrResult Destroy(PFN_xrGetInstanceProcAddr lookup, const std::string& kind, uint64_t handle);
    // Live handles of a kind named as the runtime names it ("XrSwapchain", "XrSpace", ...); of
    // every kind when `kind` is empty.
    size_t LiveCount(const std::string& kind) const;
    XrTime LastPredictedDisplayTime() const;

    // Adds a plane with its mesh to the scene the next computes see.
    void AddPlane(const XrUuidMSFT& id, XrScenePlaneAlignmentTypeMSFT alignment, const XrPosef& pose, XrExtent2Df size,
                  XrSpaceLocationFlags locationFlags, std::vector<XrVector3f> vertices, std::vector<uint32_t> indices);

    // Adds a visual mesh, a square `size` metres wide at `position`, to the scene the next computes see.
    void AddMesh(const XrUuidMSFT& id, const XrVector3f& position, float size);

    // The layers of the last ended frame.
    std::vector<ReceivedLayer> LastFrameLayers() const;

private:
    struct World;
    std::unique_ptr<World> world;
};

} // namespace quenra::test
