#include "FrameRenderer.h"

#include "FrameRenderer_GLES.h"
#include "FrameRenderer_Vulkan.h"
#include "TraceLog.h"

namespace wendrath {

std::unique_ptr<FrameRenderer> FrameRenderer::Create(GraphicsAPI api, IUnityXRTrace* trace)
{
    switch (api) {
    case GraphicsAPI::OpenGLES:
        return std::make_unique<FrameRenderer_GLES>(trace);
    case GraphicsAPI::Vulkan:
        return std::make_unique<FrameRenderer_Vulkan>(trace);
    case GraphicsAPI::None:
    case GraphicsAPI::D3D11:
    case GraphicsAPI::D3D12:
        break;
    }
    TraceLog(trace, kXRTraceLevelError,
             "Wendrath: CreateFrameRenderer -- cannot create texture binder with invalid graphics API");
    return nullptr;
}

} // namespace wendrath
