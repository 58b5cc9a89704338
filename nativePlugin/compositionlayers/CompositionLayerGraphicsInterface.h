// What differs by graphics API for a layer's swapchain: the image structures the runtime
// enumerates into, the swapchain's usage and format, the native handle of an acquired image,
// and the copy of an engine texture into an image the layer acquired. Each layer owns one and
// drives it; the interface never calls back into its layer.
#pragma once

#include <openxr/openxr.h>

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "TraceLog.h"

namespace Skelder {

class CompositionLayerGraphicsInterface {
public:
    explicit CompositionLayerGraphicsInterface(IUnityXRTrace* trace);
    virtual ~CompositionLayerGraphicsInterface();
    CompositionLayerGraphicsInterface(const CompositionLayerGraphicsInterface&) = delete;
    CompositionLayerGraphicsInterface& operator=(const CompositionLayerGraphicsInterface&) = delete;

    // Keeps one image record per swapchain image (existing records keep their contents) and
    // answers a pointer to each; the first is the array xrEnumerateSwapchainImages fills.
    virtual std::vector<XrSwapchainImageBaseHeader*> EnumerateImages(uint32_t count) = 0;
    // Remembers image `index` as the current one and answers its native handle; null (and
    // nothing remembered) for an index beyond the records.
    virtual void* SelectImage(uint32_t index) = 0;
    // The runtime's first format that this API prefers, else the runtime's first; 0 for none.
    virtual int64_t ChooseFormat(const std::vector<int64_t>& formats) const = 0;
    // Whether this API copies the engine texture into the swapchain; when it does not (or cannot,
    // and has said why), the layer runs no image cycle for it. Only Direct3D 11 copies.
    virtual bool CanCopyTexture(void* /*texture*/) const { return false; }
    // Copies the engine texture into `image`, the native handle of the image the layer acquired
    // for it; the layer releases the image afterwards, whatever happened here.
    virtual void TextureToSwapchain(void* /*texture*/, void* /*image*/) {}

    // Forgets the current image, once it has been released.
    void ClearImage() { currentImage = nullptr; }
    const XrSwapchainImageBaseHeader* CurrentImage() const { return currentImage; }
    // Layer swapchains are drawn into and sampled by the compositor.
    uint64_t GetUsageFlags() const { return XR_SWAPCHAIN_USAGE_COLOR_ATTACHMENT_BIT | XR_SWAPCHAIN_USAGE_SAMPLED_BIT; }

protected:
    template <typename Record>
    std::vector<XrSwapchainImageBaseHeader*> ResizeRecords(std::vector<Record>& records, uint32_t count,
                                                           XrStructureType type);
    template <typename Record> Record* SelectRecord(std::vector<Record>& records, uint32_t index);
    static int64_t FirstPreferredFormat(const std::vector<int64_t>& formats, std::initializer_list<int64_t> preferred);

    IUnityXRTrace* trace;

private:
    const XrSwapchainImageBaseHeader* currentImage = nullptr;
};

template <typename Record>
std::vector<XrSwapchainImageBaseHeader*>
CompositionLayerGraphicsInterface::ResizeRecords(std::vector<Record>& records, uint32_t count, XrStructureType type)
{
    // The current image may live in a record that is about to move.
    currentImage = nullptr;
    Record blank{};
    blank.type = type;
    records.resize(count, blank);
    std::vector<XrSwapchainImageBaseHeader*> pointers;
    pointers.reserve(count);
    for (Record& record : records) {
        pointers.push_back(reinterpret_cast<XrSwapchainImageBaseHeader*>(&record));
    }
    return pointers;
}

template <typename Record>
Record* CompositionLayerGraphicsInterface::SelectRecord(std::vector<Record>& records, uint32_t index)
{
    if (index >= records.size()) {
        TraceLog(trace, kXRTraceLevelError,
                 "CompositionLayerGraphicsInterface::SelectImage -- image index %u is beyond the %u images", index,
                 static_cast<unsigned>(records.size()));
        currentImage = nullptr;
        return nullptr;
    }
    currentImage = reinterpret_cast<const XrSwapchainImageBaseHeader*>(&records[index]);
    return &records[index];
}

} // namespace Skelder
