// The pictures of a run: the left eye as the runtime composes it at three frames, the camera
// textures after the last render event, and the delivered room from above and as a mesh file.
#pragma once

#include <openxr/openxr.h>

#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "Compositor.h"
#include "DeliveredRoom.h"
#include "RgbaImage.h"
#include "SimReport.h"

namespace quenra::sim {

class FramePictures {
public:
    // None are made when `directory` is empty.
    FramePictures(std::string directory, uint32_t frames, simruntime::Compositor& compositor);

    // Runs inside the runtime's xrEndFrame: composes the frame when it is one of those due.
    void Observe(uint32_t frame, const XrFrameEndInfo& info, const std::string& arrangement);
    // Writes them all and lists them in the report; `room` is null when libKelbrin did not run.
    void Write(const std::vector<simruntime::RgbaImage>& cameraTextures, const DeliveredRoom* room,
               SimReport& report) const;

private:
    std::string directory;
    simruntime::Compositor& compositor;
    std::vector<uint32_t> dueFrames;
    std::vector<std::tuple<uint32_t, simruntime::RgbaImage, std::string>> composed;
};

} // namespace quenra::sim
