// The lookup the plug-in puts into the application's OpenXR chain and the hooks it installs, except
// xrEndFrame (SkelderEndFrame.cpp).
#include <algorithm>
#include <cstring>

#include "Skelder.h"
#include "SkelderModule.h"
#include "XrFunctions.h"

namespace Skelder {
namespace {
const char* const kFusionExtension = "XR_UNITY_android_present";

// Replaces the function the application's lookup produced with the hook of the same name.
void InstallHook(const char* name, PFN_xrVoidFunction* function)
{
    NextFunctions& next = State().next;
#define SKELDER_INSTALL_HOOK(hooked)                                                                                   \
    if (std::strcmp(name, #hooked) == 0) {                                                                             \
        const PFN_##hooked hook = &Skelder::hooked;                                                                    \
        next.hooked = reinterpret_cast<PFN_##hooked>(*function);                                                       \
        *function = reinterpret_cast<PFN_xrVoidFunction>(hook);                                                        \
        return;                                                                                                        \
    }
    SKELDER_HOOKED_FUNCTIONS(SKELDER_INSTALL_HOOK)
#undef SKELDER_INSTALL_HOOK
}

bool NamesReadable(uint32_t count, const char* const* names)
{
    if (count > 0 && names == nullptr) {
        return false;
    }
    return std::none_of(names, names + count, [](const char* name) { return name == nullptr; });
}

bool Contains(const std::deque<std::string>& names, const char* name)
{
    return std::any_of(names.begin(), names.end(), [&](const std::string& entry) { return entry == name; });
}

XrSwapchainCreateFoveationFlagsFB FoveationFlagsFor(IUnityGraphics* graphics)
{
    switch (graphics != nullptr ? graphics->GetRenderer() : kUnityGfxRendererNull) {
    case kUnityGfxRendererVulkan:
        return XR_SWAPCHAIN_CREATE_FOVEATION_FRAGMENT_DENSITY_MAP_BIT_FB;
    case kUnityGfxRendererOpenGLES20:
    case kUnityGfxRendererOpenGLES30:
    case kUnityGfxRendererOpenGLCore:
        return XR_SWAPCHAIN_CREATE_FOVEATION_SCALED_BIN_BIT_FB;
    default:
        return 0;
    }
}

// Probes each requested API layer for its extensions and writes them after those already
// reported; answers the first failure other than an absent layer. The caller holds apiLayerMutex.
XrResult ProbeRequestedLayers(PFN_xrEnumerateInstanceExtensionProperties enumerate, uint32_t capacity,
                              uint32_t* countOutput, XrExtensionProperties* properties)
{
    ModuleState& state = State();
    state.presentApiLayers.clear();
    for (const std::string& name : state.requestedApiLayers) {
        uint32_t count = 0;
        XrResult result = XR_SUCCESS;
        // The room left is never computed below zero, and no write goes beyond the caller's array.
        const uint32_t room = capacity > *countOutput && properties != nullptr ? capacity - *countOutput : 0;
        if (room == 0) {
            result = CallXrFunction(enumerate, name.c_str(), 0u, &count, nullptr);
        } else {
            result = CallXrFunction(enumerate, name.c_str(), room, &count, properties + *countOutput);
        }
        if (result == XR_ERROR_API_LAYER_NOT_PRESENT) {
            continue;
        }
        if (XR_FAILED(result)) {
            return result;
        }
        if (capacity != 0 && count > room) {
            // The caller's array has no room for this layer's extensions.
            return XR_ERROR_SIZE_INSUFFICIENT;
        }
        state.presentApiLayers.push_back(name.c_str());
        *countOutput += count;
    }
    return XR_SUCCESS;
}
} // namespace

XRAPI_ATTR XrResult XRAPI_CALL xrGetInstanceProcAddr(XrInstance instance, const char* name,
                                                     PFN_xrVoidFunction* function) noexcept
{
    return Guarded("xrGetInstanceProcAddr", XR_ERROR_RUNTIME_FAILURE, [&] {
        const XrResult result = CallXrFunction(State().nextGetInstanceProcAddr.load(), instance, name, function);
        if (XR_SUCCEEDED(result) && name != nullptr && function != nullptr && *function != nullptr) {
            InstallHook(name, function);
        }
        return result;
    });
}

XRAPI_ATTR XrResult XRAPI_CALL xrWaitFrame(XrSession session, const XrFrameWaitInfo* frameWaitInfo,
                                           XrFrameState* frameState) noexcept
{
    return Guarded("xrWaitFrame", XR_ERROR_RUNTIME_FAILURE, [&] {
        ModuleState& state = State();
        const XrResult result = CallXrFunction(state.next.xrWaitFrame.load(), session, frameWaitInfo, frameState);
        if (const FrameStateCallback callback = state.frameStateCallback.load()) {
            callback(frameState);
        }
        return result;
    });
}

XRAPI_ATTR XrResult XRAPI_CALL xrBeginFrame(XrSession session, const XrFrameBeginInfo* frameBeginInfo) noexcept
{
    return Guarded("xrBeginFrame", XR_ERROR_RUNTIME_FAILURE, [&] {
        ModuleState& state = State();
        state.frameInProgress = true;
        return CallXrFunction(state.next.xrBeginFrame.load(), session, frameBeginInfo);
    });
}

XRAPI_ATTR XrResult XRAPI_CALL xrEnumerateEnvironmentBlendModes(XrInstance instance, XrSystemId systemId,
                                                                XrViewConfigurationType viewConfigurationType,
                                                                uint32_t environmentBlendModeCapacityInput,
                                                                uint32_t* environmentBlendModeCountOutput,
                                                                XrEnvironmentBlendMode* environmentBlendModes) noexcept
{
    return Guarded("xrEnumerateEnvironmentBlendModes", XR_ERROR_RUNTIME_FAILURE, [&] {
        ModuleState& state = State();
        const XrResult result = CallXrFunction(state.next.xrEnumerateEnvironmentBlendModes.load(), instance, systemId,
                                               viewConfigurationType, environmentBlendModeCapacityInput,
                                               environmentBlendModeCountOutput, environmentBlendModes);
        if (XR_FAILED(result) || environmentBlendModeCapacityInput == 0 || environmentBlendModeCountOutput == nullptr ||
            environmentBlendModes == nullptr) {
            return result;
        }
        const uint32_t written = std::min(*environmentBlendModeCountOutput, environmentBlendModeCapacityInput);
        if (std::find(environmentBlendModes, environmentBlendModes + written, XR_ENVIRONMENT_BLEND_MODE_ALPHA_BLEND) !=
            environmentBlendModes + written) {
            state.passthroughSupported = true;
        }
        return result;
    });
}

XRAPI_ATTR XrResult XRAPI_CALL xrEnumerateInstanceExtensionProperties(const char* layerName,
                                                                      uint32_t propertyCapacityInput,
                                                                      uint32_t* propertyCountOutput,
                                                                      XrExtensionProperties* properties) noexcept
{
    return Guarded("xrEnumerateInstanceExtensionProperties", XR_ERROR_RUNTIME_FAILURE, [&] {
        ModuleState& state = State();
        const PFN_xrEnumerateInstanceExtensionProperties enumerate =
            state.next.xrEnumerateInstanceExtensionProperties.load();
        const XrResult result =
            CallXrFunction(enumerate, layerName, propertyCapacityInput, propertyCountOutput, properties);
        // Only the runtime's own extensions are extended.
        if (XR_FAILED(result) || layerName != nullptr || propertyCountOutput == nullptr) {
            return result;
        }
        std::lock_guard<std::mutex> lock(state.apiLayerMutex);
        const XrResult probed = ProbeRequestedLayers(enumerate, propertyCapacityInput, propertyCountOutput, properties);
        return XR_FAILED(probed) ? probed : result;
    });
}

XRAPI_ATTR XrResult XRAPI_CALL xrCreateInstance(const XrInstanceCreateInfo* createInfo, XrInstance* instance) noexcept
{
    return Guarded("xrCreateInstance", XR_ERROR_RUNTIME_FAILURE, [&] {
        ModuleState& state = State();
        const PFN_xrCreateInstance create = state.next.xrCreateInstance.load();
        // A structure the runtime must refuse is handed on as it is, for the runtime to refuse.
        if (createInfo == nullptr ||
            !NamesReadable(createInfo->enabledApiLayerCount, createInfo->enabledApiLayerNames) ||
            !NamesReadable(createInfo->enabledExtensionCount, createInfo->enabledExtensionNames)) {
            return CallXrFunction(create, createInfo, instance);
        }
        const char* const* callerLayers = createInfo->enabledApiLayerNames;
        const char* const* callerExtensions = createInfo->enabledExtensionNames;
        std::vector<const char*> layers;
        {
            std::lock_guard<std::mutex> lock(state.apiLayerMutex);
            layers = state.presentApiLayers;
            std::copy_if(callerLayers, callerLayers + createInfo->enabledApiLayerCount, std::back_inserter(layers),
                         [&](const char* name) { return !Contains(state.requestedApiLayers, name); });
        }
        XrInstanceCreateInfo rewritten = *createInfo;
        rewritten.enabledApiLayerCount = static_cast<uint32_t>(layers.size());
        rewritten.enabledApiLayerNames = layers.data();

        auto isFusion = [](const char* name) { return std::strcmp(name, kFusionExtension) == 0; };
        const bool fusionListed =
            std::any_of(callerExtensions, callerExtensions + createInfo->enabledExtensionCount, isFusion);
        std::vector<const char*> extensions;
        if (state.fusionSupported && !fusionListed) {
            extensions.assign(callerExtensions, callerExtensions + createInfo->enabledExtensionCount);
            extensions.push_back(kFusionExtension);
        } else if (!state.fusionSupported && fusionListed) {
            std::remove_copy_if(callerExtensions, callerExtensions + createInfo->enabledExtensionCount,
                                std::back_inserter(extensions), isFusion);
        }
        if (state.fusionSupported != fusionListed) {
            rewritten.enabledExtensionCount = static_cast<uint32_t>(extensions.size());
            rewritten.enabledExtensionNames = extensions.data();
        }
        return CallXrFunction(create, &rewritten, instance);
    });
}

XRAPI_ATTR XrResult XRAPI_CALL xrCreateSwapchain(XrSession session, const XrSwapchainCreateInfo* createInfo,
                                                 XrSwapchain* swapchain) noexcept
{
    return Guarded("xrCreateSwapchain", XR_ERROR_RUNTIME_FAILURE, [&] {
        ModuleState& state = State();
        const PFN_xrCreateSwapchain create = state.next.xrCreateSwapchain.load();
        XrResult result = XR_SUCCESS;
        if (createInfo == nullptr) {
            result = CallXrFunction(create, session, createInfo, swapchain);
        } else {
            bool foveationPresent = false;
            bool alphaBlendPresent = false;
            for (auto* chained = static_cast<const XrBaseInStructure*>(createInfo->next); chained != nullptr;
                 chained = chained->next) {
                if (chained->type == XR_TYPE_SWAPCHAIN_CREATE_INFO_FOVEATION_FB) {
                    foveationPresent = true;
                } else if (chained->type == XR_TYPE_COMPOSITION_LAYER_ALPHA_BLEND_FB) {
                    Log(kXRTraceLevelNotice, "Skelder::xrCreateSwapchain - Alpha blend struct present");
                    alphaBlendPresent = true;
                }
            }
            // The caller's structure stays untouched (it is const and may be read-only): the runtime
            // gets a copy whose chain starts with the inserted structures, which live for the call.
            XrSwapchainCreateInfo copy = *createInfo;
            XrSwapchainCreateInfoFoveationFB foveation{XR_TYPE_SWAPCHAIN_CREATE_INFO_FOVEATION_FB};
            foveation.flags = FoveationFlagsFor(state.graphics.load());
            if (state.foveationEnabled && !foveationPresent) {
                Log(kXRTraceLevelNotice, "Skelder::xrCreateSwapchain - Adding foveation struct");
                // These chained structures declare a non-const next; the runtime only reads it.
                foveation.next = const_cast<void*>(copy.next);
                copy.next = &foveation;
            }
            XrCompositionLayerAlphaBlendFB alphaBlend{XR_TYPE_COMPOSITION_LAYER_ALPHA_BLEND_FB};
            if (!alphaBlendPresent) {
                Log(kXRTraceLevelNotice, "Skelder::xrCreateSwapchain - Adding alpha blend struct");
                alphaBlend.srcFactorColor = XR_BLEND_FACTOR_ONE_FB;
                alphaBlend.dstFactorColor = XR_BLEND_FACTOR_ONE_MINUS_SRC_ALPHA_FB;
                alphaBlend.srcFactorAlpha = XR_BLEND_FACTOR_ONE_FB;
                alphaBlend.dstFactorAlpha = XR_BLEND_FACTOR_ONE_MINUS_SRC_ALPHA_FB;
                alphaBlend.next = const_cast<void*>(copy.next);
                copy.next = &alphaBlend;
            }
            result = CallXrFunction(create, session, &copy, swapchain);
            // The alpha-blend structure is not one the registry lets extend a swapchain's creation, so
            // a strict API layer (the core validation layer) refuses the whole call. The application's
            // swapchain matters more than the hint: ask again without it.
            if (result == XR_ERROR_VALIDATION_FAILURE && copy.next == &alphaBlend) {
                Log(kXRTraceLevelNotice,
                    "Skelder::xrCreateSwapchain - Alpha blend struct refused, creating without it");
                copy.next = alphaBlend.next;
                result = CallXrFunction(create, session, &copy, swapchain);
            }
        }
        // After a failure the output handle is undefined: no swapchain to remember, foveate or announce.
        if (XR_FAILED(result) || swapchain == nullptr) {
            return result;
        }
        const uint64_t handle = ValueFromHandle(*swapchain);
        state.lastCreatedSwapchain = handle;
        if (const CreateSwapchainCallback callback = state.createSwapchainCallback.load()) {
            callback(handle);
        }
        return result;
    });
}

XRAPI_ATTR XrResult XRAPI_CALL LayerGetInstanceProcAddr(XrInstance instance, const char* name,
                                                        PFN_xrVoidFunction* function) noexcept
{
    return Guarded("LayerGetInstanceProcAddr", XR_ERROR_RUNTIME_FAILURE, [&] {
        ModuleState& state = State();
        const XrResult result = CallXrFunction(state.nextGetInstanceProcAddr.load(), instance, name, function);
        if (XR_SUCCEEDED(result) && name != nullptr && function != nullptr && *function != nullptr &&
            std::strcmp(name, "xrWaitSwapchainImage") == 0) {
            state.layerWaitSwapchainImage = reinterpret_cast<PFN_xrWaitSwapchainImage>(*function);
            const PFN_xrWaitSwapchainImage wait = &LayerWaitSwapchainImage;
            *function = reinterpret_cast<PFN_xrVoidFunction>(wait);
        }
        return result;
    });
}

XRAPI_ATTR XrResult XRAPI_CALL LayerWaitSwapchainImage(XrSwapchain swapchain,
                                                       const XrSwapchainImageWaitInfo* waitInfo) noexcept
{
    return Guarded("LayerWaitSwapchainImage", XR_ERROR_RUNTIME_FAILURE, [&] {
        ModuleState& state = State();
        const PFN_xrWaitSwapchainImage wait = state.layerWaitSwapchainImage.load();
        return state.providerLock.Parked([&] { return CallXrFunction(wait, swapchain, waitInfo); });
    });
}

} // namespace Skelder
