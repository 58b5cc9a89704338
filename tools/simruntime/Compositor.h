// The simulated runtime's reference compositor: composes the layers of an xrEndFrame into an
// RGBA picture for one eye, from the runtime's CPU-backed swapchain images, as OpenXR defines the
// layer kinds: projection (the eye's own view), quad (centred at its pose, extent in metres, front
// face only), cylinder (radius, central angle, aspect ratio, inner face only) and equirect2 (radius,
// angles, infinite when the radius is 0, inner face only), in submission order, with eye
// visibility and the source-alpha and unpremultiplied-alpha flags. It is slow and exact: it traces
// one ray per pixel, samples the nearest texel and leaves out what it cannot show (passthrough).
#pragma once

#include <functional>
#include <map>

#include "CpuSwapchainImages.h"
#include "RgbaImage.h"
#include "Runtime.h"

namespace quenra::simruntime {

class FrameLoop;

// Where an eye looks from and what it sees, in the LOCAL space.
struct EyeView {
    XrPosef pose;
    XrFovf fov;
};

class Compositor {
public:
    // Records every reference space made from now on (type and pose), which layers are placed in.
    Compositor(Runtime& runtime, CpuSwapchainImages& images);
    // Puts the runtime's xrCreateReferenceSpace back.
    ~Compositor();
    Compositor(const Compositor&) = delete;
    Compositor& operator=(const Compositor&) = delete;

    // The head's pose in LOCAL: where VIEW space is. Identity unless set.
    void SetHeadPose(const XrPosef& pose) { head = pose; }
    // The view used when a frame carries no projection layer.
    void SetDefaultView(const EyeView& view) { defaultView = view; }

    // Composes the frame's layers for eye 0 (left) or 1 (right) into a width × height picture over
    // opaque black. The eye sees from the pose and field of view of the first projection layer's
    // view for that eye, or from the default view. Call it while the layers are valid (inside the
    // frame loop's observer).
    RgbaImage Compose(const XrFrameEndInfo& frame, uint32_t eye, uint32_t width, uint32_t height) const;

    // The pose of a space in LOCAL: VIEW follows the head, LOCAL and STAGE are taken as one, and
    // a space the runtime made without xrCreateReferenceSpace sits at the origin.
    XrPosef SpacePose(XrSpace space) const;

private:
    struct SpaceRecord {
        XrReferenceSpaceType type;
        XrPosef pose;
    };

    static XrResult XRAPI_CALL CreateReferenceSpace(XrSession session, const XrReferenceSpaceCreateInfo* info,
                                                    XrSpace* space);

    Runtime& runtime;
    CpuSwapchainImages& images;
    PFN_xrCreateReferenceSpace next = nullptr;
    std::map<uint64_t, SpaceRecord> spaces;
    XrPosef head{{0, 0, 0, 1}, {0, 0, 0}};
    EyeView defaultView{{{0, 0, 0, 1}, {0, 0, 0}}, {-0.785398f, 0.785398f, 0.785398f, -0.785398f}};
};

} // namespace quenra::simruntime
