#include <gtest/gtest.h>

#include "Runtime.h"
#include "SceneUnderstanding.h"
#include "TestUuid.h"

namespace quenra::simruntime {
namespace {

using test::Uuid;

// A session with a base space and the nine functions, used as an application would.
class SceneRuntime : public ::testing::Test {
protected:
    SceneRuntime()
    {
        instance = runtime.MakeInstance();
        session = runtime.MakeSession(instance);
        space = runtime.MakeSpace(session);
        Look("xrCreateSceneObserverMSFT", createObserver);
        Look("xrDestroySceneObserverMSFT", destroyObserver);
        Look("xrComputeNewSceneMSFT", computeNewScene);
        Look("xrGetSceneComputeStateMSFT", getComputeState);
        Look("xrCreateSceneMSFT", createScene);
        Look("xrGetSceneComponentsMSFT", getComponents);
        Look("xrLocateSceneComponentsMSFT", locateComponents);
        Look("xrGetSceneMeshBuffersMSFT", getMeshBuffers);
    }

    template <typename Function> void Look(const char* name, Function& function)
    {
        PFN_xrVoidFunction found = nullptr;
        ASSERT_EQ(Runtime::GetInstanceProcAddr(instance, name, &found), XR_SUCCESS) << name;
        function = reinterpret_cast<Function>(found);
    }

    XrSceneObserverMSFT NewObserver()
    {
        XrSceneObserverCreateInfoMSFT info{XR_TYPE_SCENE_OBSERVER_CREATE_INFO_MSFT};
        XrSceneObserverMSFT observer = XR_NULL_HANDLE;
        EXPECT_EQ(createObserver(session, &info, &observer), XR_SUCCESS);
        return observer;
    }

    XrResult Compute(XrSceneObserverMSFT observer, std::vector<XrSceneComputeFeatureMSFT> features)
    {
        XrSceneSphereBoundMSFT sphere{{0, 0, 0}, 5.0f};
        XrNewSceneComputeInfoMSFT info{XR_TYPE_NEW_SCENE_COMPUTE_INFO_MSFT};
        info.requestedFeatureCount = static_cast<uint32_t>(features.size());
        info.requestedFeatures = features.data();
        info.consistency = XR_SCENE_COMPUTE_CONSISTENCY_SNAPSHOT_COMPLETE_MSFT;
        info.bounds.space = space;
        info.bounds.time = 500;
        info.bounds.sphereCount = 1;
        info.bounds.spheres = &sphere;
        return computeNewScene(observer, &info);
    }

    XrSceneComputeStateMSFT Poll(XrSceneObserverMSFT observer)
    {
        XrSceneComputeStateMSFT state{};
        EXPECT_EQ(getComputeState(observer, &state), XR_SUCCESS);
        return state;
    }

    XrResult NewScene(XrSceneObserverMSFT observer, XrSceneMSFT* scene)
    {
        XrSceneCreateInfoMSFT info{XR_TYPE_SCENE_CREATE_INFO_MSFT};
        return createScene(observer, &info, scene);
    }

    // Ids of the components of a type, through the two-call idiom.
    std::vector<uint8_t> ComponentIds(XrSceneMSFT scene, XrSceneComponentTypeMSFT type, const void* filter = nullptr)
    {
        XrSceneComponentsGetInfoMSFT info{XR_TYPE_SCENE_COMPONENTS_GET_INFO_MSFT, filter, type};
        XrSceneComponentsMSFT components{XR_TYPE_SCENE_COMPONENTS_MSFT};
        EXPECT_EQ(getComponents(scene, &info, &components), XR_SUCCESS);
        std::vector<XrSceneComponentMSFT> list(components.componentCountOutput);
        components.componentCapacityInput = static_cast<uint32_t>(list.size());
        components.components = list.data();
        EXPECT_EQ(getComponents(scene, &info, &components), XR_SUCCESS);
        std::vector<uint8_t> ids;
        for (const auto& component : list) {
            ids.push_back(component.id.bytes[0]);
        }
        return ids;
    }

    Runtime runtime;
    SceneUnderstanding scenes{runtime};
    XrInstance instance{};
    XrSession session{};
    XrSpace space{};
    PFN_xrCreateSceneObserverMSFT createObserver{};
    PFN_xrDestroySceneObserverMSFT destroyObserver{};
    PFN_xrComputeNewSceneMSFT computeNewScene{};
    PFN_xrGetSceneComputeStateMSFT getComputeState{};
    PFN_xrCreateSceneMSFT createScene{};
    PFN_xrGetSceneComponentsMSFT getComponents{};
    PFN_xrLocateSceneComponentsMSFT locateComponents{};
    PFN_xrGetSceneMeshBuffersMSFT getMeshBuffers{};
};

TEST_F(SceneRuntime, ComputeReportsUpdatingForQueuedPollsThenCompletesAndIsRecorded)
{
    XrSceneObserverMSFT observer = NewObserver();
    EXPECT_EQ(Poll(observer), XR_SCENE_COMPUTE_STATE_NONE_MSFT);
    scenes.QueueComputeOutcome({2, XR_SCENE_COMPUTE_STATE_COMPLETED_MSFT});
    ASSERT_EQ(Compute(observer, {XR_SCENE_COMPUTE_FEATURE_PLANE_MSFT, XR_SCENE_COMPUTE_FEATURE_VISUAL_MESH_MSFT}),
              XR_SUCCESS);
    EXPECT_EQ(Poll(observer), XR_SCENE_COMPUTE_STATE_UPDATING_MSFT);
    EXPECT_EQ(Poll(observer), XR_SCENE_COMPUTE_STATE_UPDATING_MSFT);
    EXPECT_EQ(Poll(observer), XR_SCENE_COMPUTE_STATE_COMPLETED_MSFT);

    const auto requests = scenes.ComputeRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].observer, HandleValue(observer));
    EXPECT_EQ(requests[0].features,
              (std::vector<XrSceneComputeFeatureMSFT>{XR_SCENE_COMPUTE_FEATURE_PLANE_MSFT,
                                                      XR_SCENE_COMPUTE_FEATURE_VISUAL_MESH_MSFT}));
    EXPECT_EQ(requests[0].consistency, XR_SCENE_COMPUTE_CONSISTENCY_SNAPSHOT_COMPLETE_MSFT);
    EXPECT_EQ(requests[0].boundsSpace, HandleValue(space));
    EXPECT_EQ(requests[0].boundsTime, 500);
    ASSERT_EQ(requests[0].spheres.size(), 1u);
    EXPECT_EQ(requests[0].spheres[0].radius, 5.0f);
}

TEST_F(SceneRuntime, WithRecordingOffRequestsAreServedButNotKept)
{
    runtime.ClearCalls();
    runtime.SetRecording(false);
    SimWorld world;
    world.meshes.push_back({Uuid({1}), {}, {}, {}, 100});
    scenes.SetWorld(world);
    XrSceneObserverMSFT observer = NewObserver();
    ASSERT_EQ(Compute(observer, {XR_SCENE_COMPUTE_FEATURE_VISUAL_MESH_MSFT}), XR_SUCCESS);
    ASSERT_EQ(Poll(observer), XR_SCENE_COMPUTE_STATE_COMPLETED_MSFT);
    XrSceneMSFT scene = XR_NULL_HANDLE;
    ASSERT_EQ(NewScene(observer, &scene), XR_SUCCESS);
    EXPECT_EQ(ComponentIds(scene, XR_SCENE_COMPONENT_TYPE_VISUAL_MESH_MSFT), std::vector<uint8_t>{1});
    EXPECT_TRUE(scenes.ComputeRequests().empty());
    EXPECT_TRUE(scenes.ComponentsQueries().empty());
    EXPECT_TRUE(runtime.Calls().empty());
}

TEST_F(SceneRuntime, OutOfOrderComputesAndScenesAreRefused)
{
    XrSceneObserverMSFT observer = NewObserver();
    XrSceneMSFT scene = XR_NULL_HANDLE;
    EXPECT_EQ(NewScene(observer, &scene), XR_ERROR_CALL_ORDER_INVALID);
    scenes.QueueComputeOutcome({1, XR_SCENE_COMPUTE_STATE_COMPLETED_MSFT});
    ASSERT_EQ(Compute(observer, {XR_SCENE_COMPUTE_FEATURE_VISUAL_MESH_MSFT}), XR_SUCCESS);
    EXPECT_EQ(Compute(observer, {XR_SCENE_COMPUTE_FEATURE_VISUAL_MESH_MSFT}),
              XR_ERROR_COMPUTE_NEW_SCENE_NOT_COMPLETED_MSFT);
    EXPECT_EQ(NewScene(observer, &scene), XR_ERROR_COMPUTE_NEW_SCENE_NOT_COMPLETED_MSFT);
    Poll(observer);
    // Completed only once a poll has seen it.
    EXPECT_EQ(NewScene(observer, &scene), XR_ERROR_COMPUTE_NEW_SCENE_NOT_COMPLETED_MSFT);
    EXPECT_EQ(Poll(observer), XR_SCENE_COMPUTE_STATE_COMPLETED_MSFT);
    EXPECT_EQ(NewScene(observer, &scene), XR_SUCCESS);
    EXPECT_TRUE(runtime.IsLive(HandleKind::Scene, HandleValue(scene)));
}

TEST_F(SceneRuntime, InvalidRequestsAreRefusedLikeAConformantRuntime)
{
    XrSceneObserverMSFT observer = NewObserver();
    EXPECT_EQ(Compute(observer, {}), XR_ERROR_VALIDATION_FAILURE);
    space = XR_NULL_HANDLE;
    EXPECT_EQ(Compute(observer, {XR_SCENE_COMPUTE_FEATURE_PLANE_MSFT}), XR_ERROR_HANDLE_INVALID);
    // Both refused requests are recorded, so a test can see what was asked for.
    EXPECT_EQ(scenes.ComputeRequests().size(), 2u);

    XrSceneObserverCreateInfoMSFT wrongType{XR_TYPE_SCENE_CREATE_INFO_MSFT};
    XrSceneObserverMSFT other = XR_NULL_HANDLE;
    EXPECT_EQ(createObserver(session, &wrongType, &other), XR_ERROR_VALIDATION_FAILURE);
    EXPECT_EQ(destroyObserver(observer), XR_SUCCESS);
    EXPECT_EQ(destroyObserver(observer), XR_ERROR_HANDLE_INVALID);
    EXPECT_EQ(Compute(observer, {XR_SCENE_COMPUTE_FEATURE_PLANE_MSFT}), XR_ERROR_HANDLE_INVALID);
}

TEST_F(SceneRuntime, CompletedWithErrorLeavesNoSceneToCreate)
{
    XrSceneObserverMSFT observer = NewObserver();
    scenes.QueueComputeOutcome({0, XR_SCENE_COMPUTE_STATE_COMPLETED_WITH_ERROR_MSFT});
    ASSERT_EQ(Compute(observer, {XR_SCENE_COMPUTE_FEATURE_VISUAL_MESH_MSFT}), XR_SUCCESS);
    EXPECT_EQ(Poll(observer), XR_SCENE_COMPUTE_STATE_COMPLETED_WITH_ERROR_MSFT);
    XrSceneMSFT scene = XR_NULL_HANDLE;
    EXPECT_EQ(NewScene(observer, &scene), XR_ERROR_COMPUTE_NEW_SCENE_NOT_COMPLETED_MSFT);
    // The next compute, without a queued outcome, completes at its first poll.
    ASSERT_EQ(Compute(observer, {XR_SCENE_COMPUTE_FEATURE_VISUAL_MESH_MSFT}), XR_SUCCESS);
    EXPECT_EQ(Poll(observer), XR_SCENE_COMPUTE_STATE_COMPLETED_MSFT);
}

TEST_F(SceneRuntime, ScenesHoldTheRequestedPartOfTheWorldAsItWasAtTheCompute)
{
    SimWorld world;
    world.meshes.push_back({Uuid({1}), Uuid({9}), {}, {}, 100});
    world.planes.push_back({Uuid({2}), {}, {}, {}, XR_SCENE_PLANE_ALIGNMENT_TYPE_HORIZONTAL_MSFT, {2, 3}, 200});
    world.planes.push_back({Uuid({3}), {}, {}, {}, XR_SCENE_PLANE_ALIGNMENT_TYPE_VERTICAL_MSFT, {1, 1}, 300});
    scenes.SetWorld(world);
    XrSceneObserverMSFT observer = NewObserver();
    ASSERT_EQ(Compute(observer, {XR_SCENE_COMPUTE_FEATURE_PLANE_MSFT}), XR_SUCCESS);
    world.planes.clear();
    scenes.SetWorld(world);
    Poll(observer);
    XrSceneMSFT planesOnly = XR_NULL_HANDLE;
    ASSERT_EQ(NewScene(observer, &planesOnly), XR_SUCCESS);
    EXPECT_EQ(ComponentIds(planesOnly, XR_SCENE_COMPONENT_TYPE_VISUAL_MESH_MSFT), std::vector<uint8_t>{});
    EXPECT_EQ(ComponentIds(planesOnly, XR_SCENE_COMPONENT_TYPE_PLANE_MSFT), (std::vector<uint8_t>{2, 3}));
    const XrScenePlaneAlignmentTypeMSFT vertical = XR_SCENE_PLANE_ALIGNMENT_TYPE_VERTICAL_MSFT;
    XrScenePlaneAlignmentFilterInfoMSFT filter{XR_TYPE_SCENE_PLANE_ALIGNMENT_FILTER_INFO_MSFT, nullptr, 1, &vertical};
    EXPECT_EQ(ComponentIds(planesOnly, XR_SCENE_COMPONENT_TYPE_PLANE_MSFT, &filter), std::vector<uint8_t>{3});
    filter.alignmentCount = 0;
    EXPECT_EQ(ComponentIds(planesOnly, XR_SCENE_COMPONENT_TYPE_PLANE_MSFT, &filter), std::vector<uint8_t>{});
    ASSERT_TRUE(scenes.ComponentsQueries().back().alignmentFilter.has_value());
    EXPECT_TRUE(scenes.ComponentsQueries().back().alignmentFilter->empty());

    // Plane data, with the mesh buffer withheld because plane meshes were not asked for.
    XrSceneComponentsGetInfoMSFT info{XR_TYPE_SCENE_COMPONENTS_GET_INFO_MSFT, nullptr,
                                      XR_SCENE_COMPONENT_TYPE_PLANE_MSFT};
    std::vector<XrSceneComponentMSFT> list(2);
    std::vector<XrScenePlaneMSFT> planes(2);
    XrScenePlanesMSFT planeList{XR_TYPE_SCENE_PLANES_MSFT, nullptr, 2, planes.data()};
    XrSceneComponentsMSFT components{XR_TYPE_SCENE_COMPONENTS_MSFT, &planeList, 2, 0, list.data()};
    ASSERT_EQ(getComponents(planesOnly, &info, &components), XR_SUCCESS);
    EXPECT_EQ(planes[0].alignment, XR_SCENE_PLANE_ALIGNMENT_TYPE_HORIZONTAL_MSFT);
    EXPECT_EQ(planes[0].size.height, 3.0f);
    EXPECT_EQ(planes[0].meshBufferId, 0u);
    EXPECT_EQ(list[0].updateTime, 500);
    info.componentType = XR_SCENE_COMPONENT_TYPE_VISUAL_MESH_MSFT;
    EXPECT_EQ(getComponents(planesOnly, &info, &components), XR_ERROR_SCENE_COMPONENT_TYPE_MISMATCH_MSFT);

    // The next compute sees the world as it is now.
    ASSERT_EQ(Compute(observer, {XR_SCENE_COMPUTE_FEATURE_PLANE_MSFT, XR_SCENE_COMPUTE_FEATURE_VISUAL_MESH_MSFT}),
              XR_SUCCESS);
    Poll(observer);
    XrSceneMSFT next = XR_NULL_HANDLE;
    ASSERT_EQ(NewScene(observer, &next), XR_SUCCESS);
    EXPECT_EQ(ComponentIds(next, XR_SCENE_COMPONENT_TYPE_PLANE_MSFT), std::vector<uint8_t>{});
    EXPECT_EQ(ComponentIds(next, XR_SCENE_COMPONENT_TYPE_VISUAL_MESH_MSFT), std::vector<uint8_t>{1});
    EXPECT_EQ(ComponentIds(planesOnly, XR_SCENE_COMPONENT_TYPE_PLANE_MSFT), (std::vector<uint8_t>{2, 3}));

    // Destroying the observer destroys its scenes.
    ASSERT_EQ(destroyObserver(observer), XR_SUCCESS);
    EXPECT_TRUE(runtime.LiveHandles(HandleKind::Scene).empty());
    XrSceneComponentsMSFT count{XR_TYPE_SCENE_COMPONENTS_MSFT};
    EXPECT_EQ(getComponents(next, &info, &count), XR_ERROR_HANDLE_INVALID);
}

TEST_F(SceneRuntime, LocationsNeedALiveSpaceAndAPredictedTime)
{
    SimWorld world;
    world.meshes.push_back({Uuid({1}), {}, XR_SPACE_LOCATION_POSITION_VALID_BIT, {{0, 0, 0, 1}, {1, 2, 3}}, 7});
    scenes.SetWorld(world);
    XrSceneObserverMSFT observer = NewObserver();
    ASSERT_EQ(Compute(observer, {XR_SCENE_COMPUTE_FEATURE_VISUAL_MESH_MSFT}), XR_SUCCESS);
    Poll(observer);
    XrSceneMSFT scene = XR_NULL_HANDLE;
    ASSERT_EQ(NewScene(observer, &scene), XR_SUCCESS);

    const XrUuidMSFT ids[] = {Uuid({1}), Uuid({4})};
    XrSceneComponentsLocateInfoMSFT info{XR_TYPE_SCENE_COMPONENTS_LOCATE_INFO_MSFT, nullptr, space, 0, 2, ids};
    XrSceneComponentLocationMSFT found[2]{};
    XrSceneComponentLocationsMSFT locations{XR_TYPE_SCENE_COMPONENT_LOCATIONS_MSFT, nullptr, 2, found};
    EXPECT_EQ(locateComponents(scene, &info, &locations), XR_ERROR_TIME_INVALID);
    info.time = 800;
    ASSERT_EQ(locateComponents(scene, &info, &locations), XR_SUCCESS);
    EXPECT_EQ(found[0].flags, XR_SPACE_LOCATION_POSITION_VALID_BIT);
    EXPECT_EQ(found[0].pose.position.z, 3.0f);
    EXPECT_EQ(found[1].flags, 0u);
    const auto requests = scenes.LocateRequests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].time, 800);
    EXPECT_EQ(requests[1].baseSpace, HandleValue(space));
}

TEST_F(SceneRuntime, MeshBuffersAreReadWithTheTwoCallIdiom)
{
    SimWorld world;
    world.meshes.push_back({Uuid({1}), {}, {}, {}, 7});
    world.buffers[7] = {{{0, 0, 0}, {1, 0, 0}, {0, 1, 1}}, {0, 1, 2}, true};
    scenes.SetWorld(world);
    XrSceneObserverMSFT observer = NewObserver();
    ASSERT_EQ(Compute(observer, {XR_SCENE_COMPUTE_FEATURE_VISUAL_MESH_MSFT}), XR_SUCCESS);
    Poll(observer);
    XrSceneMSFT scene = XR_NULL_HANDLE;
    ASSERT_EQ(NewScene(observer, &scene), XR_SUCCESS);

    XrSceneMeshBuffersGetInfoMSFT info{XR_TYPE_SCENE_MESH_BUFFERS_GET_INFO_MSFT, nullptr, 7};
    XrSceneMeshIndicesUint32MSFT indices{XR_TYPE_SCENE_MESH_INDICES_UINT32_MSFT};
    XrSceneMeshVertexBufferMSFT vertices{XR_TYPE_SCENE_MESH_VERTEX_BUFFER_MSFT, &indices};
    XrSceneMeshBuffersMSFT buffers{XR_TYPE_SCENE_MESH_BUFFERS_MSFT, &vertices};
    ASSERT_EQ(getMeshBuffers(scene, &info, &buffers), XR_SUCCESS);
    EXPECT_EQ(vertices.vertexCountOutput, 3u);
    EXPECT_EQ(indices.indexCountOutput, 3u);

    std::vector<XrVector3f> vertexData(2);
    std::vector<uint32_t> indexData(3);
    vertices.vertexCapacityInput = 2;
    vertices.vertices = vertexData.data();
    indices.indexCapacityInput = 3;
    indices.indices = indexData.data();
    EXPECT_EQ(getMeshBuffers(scene, &info, &buffers), XR_ERROR_SIZE_INSUFFICIENT);
    vertexData.resize(3);
    vertices.vertexCapacityInput = 3;
    vertices.vertices = vertexData.data();
    ASSERT_EQ(getMeshBuffers(scene, &info, &buffers), XR_SUCCESS);
    EXPECT_EQ(vertexData[2].z, 1.0f);
    EXPECT_EQ(indexData, (std::vector<uint32_t>{0, 1, 2}));

    // The same buffer with 16-bit indices, which it supports.
    std::vector<uint16_t> shortIndices(3);
    XrSceneMeshIndicesUint16MSFT indices16{XR_TYPE_SCENE_MESH_INDICES_UINT16_MSFT, nullptr, 3, 0, shortIndices.data()};
    buffers.next = &indices16;
    ASSERT_EQ(getMeshBuffers(scene, &info, &buffers), XR_SUCCESS);
    EXPECT_EQ(shortIndices, (std::vector<uint16_t>{0, 1, 2}));

    info.meshBufferId = 8;
    EXPECT_EQ(getMeshBuffers(scene, &info, &buffers), XR_ERROR_SCENE_MESH_BUFFER_ID_INVALID_MSFT);
    const auto requests = scenes.MeshBuffersRequests();
    ASSERT_EQ(requests.size(), 5u);
    EXPECT_EQ(requests[0].vertexCapacity, 0u);
    EXPECT_EQ(requests[0].uint32IndexCapacity, 0u);
    EXPECT_FALSE(requests[0].uint16IndexCapacity.has_value());
    EXPECT_EQ(requests[4].meshBufferId, 8u);
}

} // namespace
} // namespace quenra::simruntime
