// The OpenXR runtime the binding tests run against: the simulated runtime library as the harness
// opens it beside the Khronos loader, through whose control entry the host sets the scene and reads
// what the runtime holds and received.
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

class HostRuntime {
public:
    // A fresh runtime in the library; throws if the library or its entry are missing.
    HostRuntime();
    ~HostRuntime();
    HostRuntime(const HostRuntime&) = delete;
    HostRuntime& operator=(const HostRuntime&) = delete;

    // The loader's xrGetInstanceProcAddr, the one an application starts from.
    PFN_xrGetInstanceProcAddr Lookup() const;
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
