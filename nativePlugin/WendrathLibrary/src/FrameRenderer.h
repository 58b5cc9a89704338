// The renderer that draws camera frames for the engine's current graphics API.
#pragma once

#include <cstdint>
#include <memory>

#include "GraphicsAPI.h"
#include "RenderHwBuffersEventArgs.h"
#include "UnityXRTrace.h"

namespace wendrath {

class FrameRenderer {
public:
    explicit FrameRenderer(IUnityXRTrace* trace) : trace(trace) {}
    virtual ~FrameRenderer() = default;
    FrameRenderer(const FrameRenderer&) = delete;
    FrameRenderer& operator=(const FrameRenderer&) = delete;

    // Runs on the engine's render thread, under the module mutex.
    virtual void RenderHwBuffers(const RenderHwBuffersEventArgs& args) = 0;

    // The renderer for api; null, logged, for an invalid one. A GLES renderer makes GL calls,
    // so the engine's context must be current.
    static std::unique_ptr<FrameRenderer> Create(GraphicsAPI api, IUnityXRTrace* trace);

protected:
    // The engine's trace, which may be null; handed to the parts that log.
    IUnityXRTrace* const trace;
};

} // namespace wendrath
