#include "SimulatedRuntime.h"

namespace quenra::sim {

SimulatedRuntime::SimulatedRuntime()
{
    properties.SetRuntimeExtensions({
        XR_MSFT_SCENE_UNDERSTANDING_EXTENSION_NAME,
        XR_KHR_COMPOSITION_LAYER_CYLINDER_EXTENSION_NAME,
        XR_KHR_COMPOSITION_LAYER_EQUIRECT2_EXTENSION_NAME,
        XR_FB_COMPOSITION_LAYER_ALPHA_BLEND_EXTENSION_NAME,
        XR_FB_PASSTHROUGH_EXTENSION_NAME,
        XR_FB_FOVEATION_EXTENSION_NAME,
        XR_FB_FOVEATION_CONFIGURATION_EXTENSION_NAME,
        XR_FB_SWAPCHAIN_UPDATE_STATE_EXTENSION_NAME,
        // Sessions without a graphics device: what an application in a test has.
        XR_MND_HEADLESS_EXTENSION_NAME,
    });
    properties.SetBlendModes({XR_ENVIRONMENT_BLEND_MODE_OPAQUE, XR_ENVIRONMENT_BLEND_MODE_ALPHA_BLEND});
}

} // namespace quenra::sim
