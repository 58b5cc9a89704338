#include "CpuSwapchainImages.h"

#include <stdexcept>

#include "Swapchains.h"

namespace quenra::sim {
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
    : runtime_(runtime), swapchains_(swapchains)
{
    if (current != nullptr) {
        throw std::logic_error("only one CpuSwapchainImages module may exist at a time");
    }
    nextCreate_ = Wrapped<PFN_xrCreateSwapchain>(runtime_, "xrCreateSwapchain");
    nextDestroy_ = Wrapped<PFN_xrDestroySwapchain>(runtime_, "xrDestroySwapchain");
    current = this;
    runtime_.AddFunction("xrCreateSwapchain", reinterpret_cast<PFN_xrVoidFunction>(&CreateSwapchain));
    runtime_.AddFunction("xrDestroySwapchain", reinterpret_cast<PFN_xrVoidFunction>(&DestroySwapchain));
}

CpuSwapchainImages::~CpuSwapchainImages()
{
    runtime_.AddFunction("xrCreateSwapchain", reinterpret_cast<PFN_xrVoidFunction>(nextCreate_));
    runtime_.AddFunction("xrDestroySwapchain", reinterpret_cast<PFN_xrVoidFunction>(nextDestroy_));
    current = nullptr;
}

RgbaImage* CpuSwapchainImages::Find(uint64_t image)
{
    std::lock_guard<std::recursive_mutex> lock(runtime_.Mutex());
    auto found = images_.find(image);
    return found != images_.end() ? &found->second : nullptr;
}

const RgbaImage* CpuSwapchainImages::Presented(XrSwapchain swapchain) const
{
    std::lock_guard<std::recursive_mutex> lock(runtime_.Mutex());
    auto found = swapchainImages_.find(HandleValue(swapchain));
    const uint32_t released = swapchains_.ReleasedCount(swapchain);
    if (found == swapchainImages_.end() || released == 0 || found->second.empty()) {
        return nullptr;
    }
    // Images are acquired in turn and released oldest first, so release n was of image (n - 1) mod count.
    const std::vector<uint64_t>& values = found->second;
    auto image = images_.find(values[(released - 1) % values.size()]);
    return image != images_.end() ? &image->second : nullptr;
}

XrResult XRAPI_CALL CpuSwapchainImages::CreateSwapchain(XrSession session, const XrSwapchainCreateInfo* info,
                                                        XrSwapchain* swapchain)
{
    CpuSwapchainImages& self = *current;
    std::lock_guard<std::recursive_mutex> lock(self.runtime_.Mutex());
    const XrResult result = self.nextCreate_(session, info, swapchain);
    if (XR_SUCCEEDED(result)) {
        std::vector<uint64_t> values = self.swapchains_.Images(*swapchain);
        for (uint64_t value : values) {
            self.images_[value] = RgbaImage(info->width, info->height);
        }
        self.swapchainImages_[HandleValue(*swapchain)] = std::move(values);
    }
    return result;
}

XrResult XRAPI_CALL CpuSwapchainImages::DestroySwapchain(XrSwapchain swapchain)
{
    CpuSwapchainImages& self = *current;
    std::lock_guard<std::recursive_mutex> lock(self.runtime_.Mutex());
    const XrResult result = self.nextDestroy_(swapchain);
    auto found = self.swapchainImages_.find(HandleValue(swapchain));
    if (XR_SUCCEEDED(result) && found != self.swapchainImages_.end()) {
        for (uint64_t value : found->second) {
            self.images_.erase(value);
        }
        self.swapchainImages_.erase(found);
    }
    return result;
}

} // namespace quenra::sim
