#include "CpuSwapchainImages.h"

#include <stdexcept>

#include "Swapchains.h"

namespace quenra::simruntime {
namespace {
CpuSwapchainImages* current = nullptr;

template <typename Pfn> Pfn Wrapped(Runtime& runtime, const char* name)
{
    PFN_xrVoidFunction function = runtime.Function(name);
    if (function == nullptr) {
        throw std::logic_error(std::string("the runtime has no ") + name + " to back with memory");
    }
    return reinterpret_cast<Pfn>(function);
}
} // namespace

CpuSwapchainImages::CpuSwapchainImages(Runtime& runtime, Swapchains& swapchains)
    : runtime(runtime), swapchains(swapchains)
{
    if (current != nullptr) {
        throw std::logic_error("only one CpuSwapchainImages module may exist at a time");
    }
    nextCreate = Wrapped<PFN_xrCreateSwapchain>(runtime, "xrCreateSwapchain");
    nextDestroy = Wrapped<PFN_xrDestroySwapchain>(runtime, "xrDestroySwapchain");
    current = this;
    runtime.AddFunction("xrCreateSwapchain", reinterpret_cast<PFN_xrVoidFunction>(&CreateSwapchain));
    runtime.AddFunction("xrDestroySwapchain", reinterpret_cast<PFN_xrVoidFunction>(&DestroySwapchain));
}

CpuSwapchainImages::~CpuSwapchainImages()
{
    runtime.AddFunction("xrCreateSwapchain", reinterpret_cast<PFN_xrVoidFunction>(nextCreate));
    runtime.AddFunction("xrDestroySwapchain", reinterpret_cast<PFN_xrVoidFunction>(nextDestroy));
    current = nullptr;
}

RgbaImage* CpuSwapchainImages::Find(uint64_t image)
{
    std::lock_guard<std::recursive_mutex> lock(runtime.Mutex());
    auto found = images.find(image);
    return found != images.end() ? &found->second : nullptr;
}

const RgbaImage* CpuSwapchainImages::Presented(XrSwapchain swapchain) const
{
    std::lock_guard<std::recursive_mutex> lock(runtime.Mutex());
    auto found = swapchainImages.find(HandleValue(swapchain));
    const uint32_t released = swapchains.ReleasedCount(swapchain);
    if (found == swapchainImages.end() || released == 0 || found->second.empty()) {
        return nullptr;
    }
    // Images are acquired in turn and released oldest first, so release n was of image (n - 1) mod count.
    const std::vector<uint64_t>& values = found->second;
    auto image = images.find(values[(released - 1) % values.size()]);
    return image != images.end() ? &image->second : nullptr;
}

XrResult XRAPI_CALL CpuSwapchainImages::CreateSwapchain(XrSession session, const XrSwapchainCreateInfo* info,
                                                        XrSwapchain* swapchain)
{
    CpuSwapchainImages& self = *current;
    std::lock_guard<std::recursive_mutex> lock(self.runtime.Mutex());
    const XrResult result = self.nextCreate(session, info, swapchain);
    if (XR_SUCCEEDED(result)) {
        std::vector<uint64_t> values = self.swapchains.Images(*swapchain);
        for (uint64_t value : values) {
            self.images[value] = RgbaImage(info->width, info->height);
        }
        self.swapchainImages[HandleValue(*swapchain)] = std::move(values);
    }
    return result;
}

XrResult XRAPI_CALL CpuSwapchainImages::DestroySwapchain(XrSwapchain swapchain)
{
    CpuSwapchainImages& self = *current;
    std::lock_guard<std::recursive_mutex> lock(self.runtime.Mutex());
    const XrResult result = self.nextDestroy(swapchain);
    auto found = self.swapchainImages.find(HandleValue(swapchain));
    if (XR_SUCCEEDED(result) && found != self.swapchainImages.end()) {
        for (uint64_t value : found->second) {
            self.images.erase(value);
        }
        self.swapchainImages.erase(found);
    }
    return result;
}

} // namespace quenra::simruntime
