#include "LoaderWorld.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <sstream>
#include <thread>

#include "TestUuid.h"

namespace quenra::test {
namespace {
std::string PerTestFileName()
{
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = test != nullptr ? std::string(test->test_suite_name()) + "." + test->name() : "outside-a-test";
    for (char& c : name) {
        if (c == '/') {
            c = '_';
        }
    }
    return std::string(QUENRA_VALIDATION_DIR) + "/" + name + ".txt";
}
// The last byte set too, so an id passed through whole is told from one cut short.
XrUuidMSFT ComponentId(uint8_t first)
{
    XrUuidMSFT uuid = Uuid({first});
    uuid.bytes[15] = 0x5a;
    return uuid;
}

// A square of two triangles, `size` metres wide, around the origin of its component.
simruntime::SimMeshBuffer Square(float size)
{
    simruntime::SimMeshBuffer buffer;
    const float h = size / 2;
    buffer.vertices = {{-h, 0, -h}, {h, 0, -h}, {h, 0, h}, {-h, 0, h}};
    buffer.indices = {0, 1, 2, 0, 2, 3};
    return buffer;
}
} // namespace

LoaderWorld::LoaderWorld() : validationFile(PerTestFileName()), library(QUENRA_SIMRUNTIME_LIBRARY)
{
    // The layer appends: each test starts from an empty file.
    std::remove(validationFile.c_str());
    environment.Set("XR_RUNTIME_JSON", QUENRA_SIMRUNTIME_MANIFEST);
    environment.Set("XR_CORE_VALIDATION_EXPORT_TYPE", "text");
    environment.Set("XR_CORE_VALIDATION_FILE_NAME", validationFile);
    engine.meshes.SetClearedMeshInfos(true);
}

void LoaderWorld::ShowRoom()
{
    simruntime::SimWorld world;
    for (uint8_t i = 0; i < kRoomMeshes; ++i) {
        simruntime::SimVisualMesh mesh;
        mesh.id = ComponentId(static_cast<uint8_t>(0x10 + i));
        mesh.pose.position = {static_cast<float>(i), 0, -1};
        mesh.meshBufferId = 100 + i;
        world.meshes.push_back(mesh);
        world.buffers[mesh.meshBufferId] = Square(1.0f + i);
    }
    const XrScenePlaneAlignmentTypeMSFT alignments[kRoomPlanes] = {XR_SCENE_PLANE_ALIGNMENT_TYPE_HORIZONTAL_MSFT,
                                                                   XR_SCENE_PLANE_ALIGNMENT_TYPE_VERTICAL_MSFT};
    for (uint8_t i = 0; i < kRoomPlanes; ++i) {
        simruntime::SimPlane plane;
        plane.id = ComponentId(static_cast<uint8_t>(0x20 + i));
        plane.alignment = alignments[i];
        plane.size = {2, 3};
        plane.meshBufferId = 200 + i;
        world.planes.push_back(plane);
        world.buffers[plane.meshBufferId] = Square(2);
    }
    library.Runtime().scene.SetWorld(world);
}

size_t LoaderWorld::RunUntilScenes(harness::Application& app, harness::KelbrinSession& kelbrin,
                                   harness::KelbrinSession::Tally& tally, size_t scenes, const FrameEnd& endFrame)
{
    size_t made = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2 * scenes + 4);
    for (int frame = 1; made < scenes && std::chrono::steady_clock::now() < deadline; ++frame) {
        const XrFrameState state = app.BeginFrame();
        kelbrin.UpdateMeshes(tally, harness::KelbrinSession::Acquire::Updated);
        if (frame % 10 == 0) {
            kelbrin.ReadPlanes(tally);
        }
        if (endFrame) {
            endFrame(state);
        } else {
            app.EndFrame(state, {});
        }
        made = library.Runtime().runtime.CallCount("xrCreateSceneMSFT");
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kelbrin.UpdateMeshes(tally, harness::KelbrinSession::Acquire::Updated);
    kelbrin.ReadPlanes(tally);
    return made;
}

PFN_xrGetInstanceProcAddr LoaderWorld::LoaderLookup() { return &xrGetInstanceProcAddr; }

ValidationReport LoaderWorld::Validation() const
{
    return ValidationReport(validationFile, QUENRA_VALIDATION_ALLOWLIST);
}

std::vector<std::string> LoaderWorld::LiveHandles() const { return LiveHandlesBesides({}); }

std::vector<std::string> LoaderWorld::LiveHandlesBesides(const std::set<uint64_t>& applications) const
{
    std::vector<std::string> live;
    for (const simruntime::LiveHandle& handle : library.Runtime().runtime.LiveHandles()) {
        if (applications.count(handle.handle) != 0) {
            continue;
        }
        std::ostringstream text;
        text << simruntime::HandleKindName(handle.kind) << " 0x" << std::hex << handle.handle;
        live.push_back(text.str());
    }
    return live;
}

} // namespace quenra::test
