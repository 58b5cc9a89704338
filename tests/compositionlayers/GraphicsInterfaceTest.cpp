#include <gtest/gtest.h>

#include "CompositionLayerGraphicsInterface_D3D12.h"
#include "CompositionLayerGraphicsInterface_Vulkan.h"
#include "TraceRecorder.h"

namespace Skelder::test {
namespace {

using quenra::simengine::TraceRecorder;

TEST(GraphicsInterfaceFormat, VulkanTakesTheRuntimesFirstPreferredFormat)
{
    CompositionLayerGraphicsInterface_Vulkan vulkan(nullptr);
    EXPECT_EQ(vulkan.ChooseFormat({37, 50}), 37);
    EXPECT_EQ(vulkan.ChooseFormat({10, 44, 50}), 44);
    EXPECT_EQ(vulkan.ChooseFormat({43}), 43);
    // A Direct3D format means nothing to Vulkan.
    EXPECT_EQ(vulkan.ChooseFormat({87, 28}), 87) << "no preferred format: the runtime's first";
    EXPECT_EQ(vulkan.ChooseFormat({}), 0);
}

TEST(GraphicsInterfaceFormat, Direct3D12TakesTheRuntimesFirstPreferredFormat)
{
    CompositionLayerGraphicsInterface_D3D12 d3d12(nullptr);
    EXPECT_EQ(d3d12.ChooseFormat({29, 28}), 29);
    EXPECT_EQ(d3d12.ChooseFormat({10, 2}), 10);
    EXPECT_EQ(d3d12.ChooseFormat({2, 91, 87}), 91);
    EXPECT_EQ(d3d12.ChooseFormat({50, 37}), 50) << "Vulkan formats are not DXGI formats";
}

TEST(GraphicsInterfaceUsage, SwapchainsAreColourAttachmentsAndSampled)
{
    EXPECT_EQ(CompositionLayerGraphicsInterface_Vulkan(nullptr).GetUsageFlags(), 0x21u);
    EXPECT_EQ(CompositionLayerGraphicsInterface_D3D12(nullptr).GetUsageFlags(), 0x21u);
}

TEST(GraphicsInterfaceImages, NewRecordsAreTypedAndExistingOnesKeepTheirImages)
{
    CompositionLayerGraphicsInterface_Vulkan vulkan(nullptr);
    std::vector<XrSwapchainImageBaseHeader*> images = vulkan.EnumerateImages(2);
    ASSERT_EQ(images.size(), 2u);
    auto* first = reinterpret_cast<XrSwapchainImageVulkanKHR*>(images[0]);
    // The runtime fills the array through the first pointer, so the records are contiguous.
    EXPECT_EQ(reinterpret_cast<XrSwapchainImageVulkanKHR*>(images[1]), first + 1);
    EXPECT_EQ(first[0].type, XR_TYPE_SWAPCHAIN_IMAGE_VULKAN_KHR);
    EXPECT_EQ(first[0].next, nullptr);
    first[0].image = reinterpret_cast<VkImage>(0x1234);
    first[1].image = reinterpret_cast<VkImage>(0x5678);

    images = vulkan.EnumerateImages(3);
    ASSERT_EQ(images.size(), 3u);
    auto* records = reinterpret_cast<XrSwapchainImageVulkanKHR*>(images[0]);
    EXPECT_EQ(records[0].image, reinterpret_cast<VkImage>(0x1234));
    EXPECT_EQ(records[1].image, reinterpret_cast<VkImage>(0x5678));
    EXPECT_EQ(records[2].type, XR_TYPE_SWAPCHAIN_IMAGE_VULKAN_KHR);
    EXPECT_EQ(records[2].image, VK_NULL_HANDLE);

    EXPECT_EQ(vulkan.EnumerateImages(1).size(), 1u);
    EXPECT_EQ(vulkan.EnumerateImages(0).size(), 0u);
}

TEST(GraphicsInterfaceImages, SelectedImageIsRememberedUntilCleared)
{
    CompositionLayerGraphicsInterface_Vulkan vulkan(nullptr);
    std::vector<XrSwapchainImageBaseHeader*> images = vulkan.EnumerateImages(3);
    auto* records = reinterpret_cast<XrSwapchainImageVulkanKHR*>(images[0]);
    records[1].image = reinterpret_cast<VkImage>(0xabc);

    void* handle = vulkan.SelectImage(1);
    // Vulkan hands out the address of the VkImage, through which scripts read the handle.
    ASSERT_EQ(handle, &records[1].image);
    EXPECT_EQ(*static_cast<VkImage*>(handle), reinterpret_cast<VkImage>(0xabc));
    EXPECT_EQ(vulkan.CurrentImage(), images[1]);
    vulkan.ClearImage();
    EXPECT_EQ(vulkan.CurrentImage(), nullptr);

    CompositionLayerGraphicsInterface_D3D12 d3d12(nullptr);
    std::vector<XrSwapchainImageBaseHeader*> d3dImages = d3d12.EnumerateImages(2);
    auto* d3dRecords = reinterpret_cast<SwapchainImageD3D12*>(d3dImages[0]);
    EXPECT_EQ(d3dRecords[0].type, XR_TYPE_SWAPCHAIN_IMAGE_D3D12_KHR);
    d3dRecords[1].texture = reinterpret_cast<ID3D12Resource*>(0x4000);
    // Direct3D 12 hands out the resource itself.
    EXPECT_EQ(d3d12.SelectImage(1), reinterpret_cast<void*>(0x4000));
    EXPECT_EQ(d3d12.CurrentImage(), d3dImages[1]);
}

TEST(GraphicsInterfaceImages, IndexBeyondTheRecordsSelectsNothing)
{
    TraceRecorder trace;
    CompositionLayerGraphicsInterface_Vulkan vulkan(trace.Interface());
    vulkan.EnumerateImages(2);
    vulkan.SelectImage(0);
    EXPECT_EQ(vulkan.SelectImage(2), nullptr);
    EXPECT_EQ(vulkan.CurrentImage(), nullptr);
    EXPECT_TRUE(trace.Contains(
        kXRTraceLevelError, "CompositionLayerGraphicsInterface::SelectImage -- image index 2 is beyond the 2 images"));
}

TEST(GraphicsInterfaceCopy, VulkanAndDirect3D12CopyNoTexture)
{
    CompositionLayerGraphicsInterface_Vulkan vulkan(nullptr);
    CompositionLayerGraphicsInterface_D3D12 d3d12(nullptr);
    int texture = 0;
    // So their layers run no image cycle for a texture (SendToSwapchain).
    EXPECT_FALSE(vulkan.CanCopyTexture(&texture));
    EXPECT_FALSE(d3d12.CanCopyTexture(&texture));
}

} // namespace
} // namespace Skelder::test
