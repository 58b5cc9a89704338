#include <cmath>

#include "BoundParts.h"
#include "MeshDelivery.h"
#include "SceneCycle.h"

namespace kelbrin::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const XrUuidMSFT kFirst = Uuid({0x01});                                            // words 1, 0
const XrUuidMSFT kSecond = Uuid({0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01}); // words 2^56, 0

MATCHER_P3(Vec, x, y, z, "")
{
    return arg.x == x && arg.y == y && arg.z == z;
}

MATCHER_P3(NearVec, x, y, z, "")
{
    return std::abs(arg.x - x) < 1e-6f && std::abs(arg.y - y) < 1e-6f && std::abs(arg.z - z) < 1e-6f;
}

// The one triangle (0,0,0), (1,0,0), (0,1,0) in OpenXR coordinates, counter-clockwise seen from +z.
SimMeshBuffer Triangle()
{
    return {{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0, 1, 2}};
}

// A world of one mesh per (uuid, mesh buffer) pair, the buffer ids counting from 7.
SimWorld MeshWorld(std::vector<std::pair<XrUuidMSFT, SimMeshBuffer>> meshList)
{
    SimWorld world;
    uint64_t bufferId = 7;
    for (auto& [uuid, buffer] : meshList) {
        world.meshes.push_back(VisualMesh(uuid, bufferId));
        world.buffers[bufferId++] = std::move(buffer);
    }
    return world;
}

// The part itself: the visual meshes of a scene the compute cycle made current, listed and
// delivered into the engine stand-in's allocations.
class DeliveryOnBindings : public BoundParts {
protected:
    void MakeScene(std::vector<std::pair<XrUuidMSFT, SimMeshBuffer>> meshList)
    {
        BoundParts::MakeScene(MeshWorld(std::move(meshList)), kelbrin::ComputeCycle::FeatureVisualMesh);
    }
    quenra::simengine::MeshInfosResult List()
    {
        return meshes.GetMeshInfos([this](UnityXRMeshInfoAllocator* allocator) {
            return delivery.List(allocator) == kelbrin::MeshDelivery::Listing::Listed ? kUnitySubsystemErrorCodeSuccess
                                                                                      : kUnitySubsystemErrorCodeFailure;
        });
    }
    // A scene mesh's buffer read and delivered, as an acquisition does once it found the buffer.
    quenra::simengine::AcquiredMesh Acquire(uint64_t meshBufferId)
    {
        return meshes.AcquireMesh([this, meshBufferId](UnityXRMeshDataAllocator* allocator) {
            kelbrin::MeshDelivery::Scratch scratch;
            return delivery.Read(meshBufferId, scratch) ? delivery.Deliver(true, meshBufferId, scratch, allocator)
                                                        : kUnitySubsystemErrorCodeFailure;
        });
    }

    quenra::simengine::FakeMeshSubsystem meshes;
    kelbrin::MeshDelivery delivery{bindings, reader, trace.Interface(), meshes.Interface()};
};

// The meshes behind the engine's meshing subsystem, which drives the cycle.
class MeshDelivery : public SceneCycle {
protected:
    MeshDelivery() { StartMeshingSubsystem(); }

    void SetMeshes(std::vector<std::pair<XrUuidMSFT, SimMeshBuffer>> meshList)
    {
        sceneUnderstanding.SetWorld(MeshWorld(std::move(meshList)));
    }
    // The engine update that makes the next scene current.
    quenra::simengine::MeshInfosResult NextScene()
    {
        Advance(1501ms);
        return EngineUpdate();
    }
};

TEST_F(DeliveryOnBindings, ListComesInIdentifierOrderWithNewMeshesFlagged)
{
    MakeScene({{kSecond, Triangle()}, {kFirst, Triangle()}});
    const auto list = List();
    ASSERT_EQ(list.result, kUnitySubsystemErrorCodeSuccess);
    ASSERT_EQ(list.infos.size(), 2u);
    EXPECT_TRUE(list.guardsIntact);
    EXPECT_EQ(list.infos[0].meshId.idPart[0], 1u);
    EXPECT_EQ(list.infos[1].meshId.idPart[0], 1ull << 56);
    EXPECT_EQ(list.infos[1].meshId.idPart[1], 0u);
    EXPECT_EQ(UpdatedByte(list.infos[0]), 1);
    EXPECT_EQ(UpdatedByte(list.infos[1]), 1);
    // The priority hint is never written.
    EXPECT_EQ(list.infos[0].priorityHint, static_cast<int32_t>(0xCDCDCDCD));
    EXPECT_THAT(Messages(), IsEmpty());
}

TEST_F(DeliveryOnBindings, ListingAsksTheRuntimeForSizesOnlyAndLocatesAtThePredictedTime)
{
    MakeScene({{kFirst, Strip(5)}});
    const XrTime predicted = frames.LastPredictedDisplayTime() + 11;
    bindings.SetPredictedDisplayTime(predicted);
    List();
    const auto queries = sceneUnderstanding.ComponentsQueries();
    ASSERT_EQ(queries.size(), 2u);
    EXPECT_EQ(queries[0].componentType, XR_SCENE_COMPONENT_TYPE_VISUAL_MESH_MSFT);
    EXPECT_EQ(queries[0].capacity, 0u);
    EXPECT_EQ(queries[1].capacity, 1u);
    EXPECT_TRUE(queries[1].meshesChained);
    const auto locates = sceneUnderstanding.LocateRequests();
    ASSERT_EQ(locates.size(), 1u);
    EXPECT_EQ(locates[0].baseSpace, quenra::simruntime::HandleValue(space));
    EXPECT_EQ(locates[0].time, predicted);
    const auto reads = sceneUnderstanding.MeshBuffersRequests();
    ASSERT_EQ(reads.size(), 1u);
    EXPECT_EQ(reads[0].meshBufferId, 7u);
    EXPECT_EQ(reads[0].vertexCapacity, 0u);
    EXPECT_EQ(reads[0].uint32IndexCapacity, 0u);
    EXPECT_FALSE(reads[0].uint16IndexCapacity.has_value());
}

TEST_F(DeliveryOnBindings, OneTriangleArrivesMirroredWithReversedIndicesAndUnitNormals)
{
    MakeScene({{kFirst, Triangle()}});
    List();
    const auto mesh = Acquire(7);
    ASSERT_EQ(mesh.result, kUnitySubsystemErrorCodeSuccess);
    ASSERT_TRUE(mesh.request.has_value());
    EXPECT_EQ(mesh.request->vertexCount, 3u);
    EXPECT_EQ(mesh.request->indexCount, 3u);
    EXPECT_EQ(mesh.request->indexFormat, kUnityXRIndexFormat32Bit);
    EXPECT_EQ(mesh.request->attributes, kUnityXRMeshVertexAttributeFlagsNormals);
    EXPECT_EQ(mesh.request->topology, kUnityXRMeshTopologyTriangles);
    EXPECT_THAT(mesh.positions, ElementsAre(Vec(0, 0, 0), Vec(1, 0, 0), Vec(0, 1, 0)));
    EXPECT_TRUE(std::signbit(mesh.positions[1].z));
    EXPECT_THAT(mesh.normals, ElementsAre(Vec(0, 0, -1), Vec(0, 0, -1), Vec(0, 0, -1)));
    EXPECT_THAT(mesh.indices, ElementsAre(2u, 1u, 0u));
    EXPECT_TRUE(mesh.guardsIntact);
    EXPECT_THAT(Messages(), IsEmpty());

    // The acquisition read the buffer in two calls: sizes, then exactly that room.
    const auto reads = sceneUnderstanding.MeshBuffersRequests();
    ASSERT_EQ(reads.size(), 3u);
    EXPECT_EQ(reads[1].vertexCapacity, 0u);
    EXPECT_EQ(reads[2].vertexCapacity, 3u);
    EXPECT_EQ(reads[2].uint32IndexCapacity, 3u);
}

TEST_F(DeliveryOnBindings, SharedVertexGetsTheAreaWeightedMeanOfItsFaces)
{
    // Face normals (0,0,1) and (0,2,0); vertex 0 is in both.
    MakeScene({{kFirst, SimMeshBuffer{{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 2}}, {0, 1, 2, 0, 3, 1}}}});
    List();
    const auto mesh = Acquire(7);
    ASSERT_EQ(mesh.result, kUnitySubsystemErrorCodeSuccess);
    const float half = 1.0f / std::sqrt(1.25f);
    EXPECT_THAT(mesh.normals[0], NearVec(0.0f, half, -0.5f * half));
    EXPECT_THAT(mesh.normals[1], NearVec(0.0f, half, -0.5f * half));
    EXPECT_THAT(mesh.normals[2], Vec(0, 0, -1));
    EXPECT_THAT(mesh.normals[3], Vec(0, 1, -0.0f));
    EXPECT_THAT(mesh.indices, ElementsAre(1u, 3u, 0u, 2u, 1u, 0u));
}

TEST_F(DeliveryOnBindings, TriangleNamingAVertexPastTheEndIsSkippedAndLogged)
{
    MakeScene({{kFirst, SimMeshBuffer{{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0, 1, 2, 5, 0, 1, 0, 2, 3}}}});
    List();
    const auto mesh = Acquire(7);
    ASSERT_EQ(mesh.result, kUnitySubsystemErrorCodeSuccess);
    EXPECT_THAT(mesh.normals, ElementsAre(Vec(0, 0, -1), Vec(0, 0, -1), Vec(0, 0, -1)));
    EXPECT_THAT(Messages(), ElementsAre(Message{0, "Index Not valid in Vertices: 5"},
                                        Message{0, "Index Not valid in Vertices: 0"}));
    // The index list itself goes to the engine as the runtime gave it, reversed.
    EXPECT_THAT(mesh.indices, ElementsAre(3u, 2u, 0u, 1u, 0u, 5u, 2u, 1u, 0u));
}

TEST_F(DeliveryOnBindings, VertexWithoutADirectionGetsTheFiniteFallbackNormal)
{
    // Vertex 3 is in no triangle; vertices 0 to 2 carry the same face twice, wound both ways.
    MakeScene({{kFirst, SimMeshBuffer{{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {5, 5, 5}}, {0, 1, 2, 0, 2, 1}}}});
    List();
    const auto mesh = Acquire(7);
    ASSERT_EQ(mesh.result, kUnitySubsystemErrorCodeSuccess);
    for (const UnityXRVector3& normal : mesh.normals) {
        EXPECT_THAT(normal, Vec(0, 1, -0.0f));
    }
}

TEST_F(DeliveryOnBindings, OptionalBuffersAreWarnedAboutInOrderAndLeftUntouched)
{
    MakeScene({{kFirst, Triangle()}});
    List();
    meshes.SetOptionalBuffers(true);
    const auto mesh = Acquire(7);
    EXPECT_EQ(mesh.result, kUnitySubsystemErrorCodeSuccess);
    EXPECT_TRUE(mesh.optionalBuffersUntouched);
    EXPECT_THAT(trace.Texts(2),
                ElementsAre("Allocated buffer for colors but the Tolvane Quenra Meshing provider does not support "
                            "them at this time.",
                            "Allocated buffer for tangents but the Tolvane Quenra Meshing provider does not support "
                            "them at this time.",
                            "Allocated buffer for texture coordinates but the Tolvane Quenra Meshing provider does not "
                            "support them at this time."));
}

TEST_F(DeliveryOnBindings, UnreadableBufferFailsWithoutAllocating)
{
    MakeScene({{kFirst, Triangle()}});
    List();
    runtime.FailNext("xrGetSceneMeshBuffersMSFT", XR_ERROR_RUNTIME_FAILURE);
    const auto mesh = Acquire(7);
    EXPECT_EQ(mesh.result, kUnitySubsystemErrorCodeFailure);
    EXPECT_FALSE(mesh.request.has_value());
    EXPECT_THAT(Messages(), ElementsAre(Message{0, "Failed to get vertex count output: -2"},
                                        Message{0, "Failed to read mesh buffer with id 7"}));
}

TEST_F(DeliveryOnBindings, EngineThatAllocatesNothingGetsAFailure)
{
    MakeScene({{kFirst, Triangle()}});
    List();
    meshes.FailNextMeshAllocation();
    const auto mesh = Acquire(7);
    EXPECT_EQ(mesh.result, kUnitySubsystemErrorCodeFailure);
    EXPECT_THAT(Messages(), ElementsAre(Message{0, "Failed to allocate mesh for mesh buffer with id 7"}));
}

TEST_F(MeshDelivery, UpdatedFlagFollowsTheVertexCountAcrossScenes)
{
    SetMeshes({{kFirst, Strip(4)}, {kSecond, Strip(4)}});
    EngineUpdate();
    // Same scene listed again, then a new scene where only the second mesh grew.
    auto list = EngineUpdate();
    EXPECT_EQ(UpdatedByte(list.infos[0]), 0xCD);
    EXPECT_EQ(UpdatedByte(list.infos[1]), 0xCD);
    SetMeshes({{kFirst, Strip(4)}, {kSecond, Strip(6)}});
    list = NextScene();
    ASSERT_EQ(list.infos.size(), 2u);
    EXPECT_EQ(UpdatedByte(list.infos[0]), 0xCD);
    EXPECT_EQ(UpdatedByte(list.infos[1]), 1);
    // The changed count was kept: listed again, unacquired, the grown mesh is no longer new.
    list = EngineUpdate();
    ASSERT_EQ(list.infos.size(), 2u);
    EXPECT_EQ(UpdatedByte(list.infos[1]), 0xCD);
}

TEST_F(MeshDelivery, AcquisitionRemembersTheCountSoTheNextListingDoesNotFlagIt)
{
    // A script drives, so a new scene becomes current without the engine listing it.
    meshes.Stop();
    RegisterProviderWithSceneObserver("planes", ComputeCycle::FeaturePlane);
    meshes.Start();
    ASSERT_TRUE(Observer().CheckOrSetDrivingProvider("planes"));
    SetMeshes({{kFirst, Strip(4)}});
    UpdateObservedScene("planes");
    EngineUpdate();
    SetMeshes({{kFirst, Strip(6)}});
    Advance(1501ms);
    ASSERT_TRUE(UpdateObservedScene("planes"));

    const auto mesh = meshes.AcquireMesh(MeshIdOf(kFirst));
    ASSERT_EQ(mesh.result, kUnitySubsystemErrorCodeSuccess);
    EXPECT_EQ(mesh.positions.size(), 6u);
    const auto list = EngineUpdate();
    ASSERT_EQ(list.infos.size(), 1u);
    EXPECT_EQ(UpdatedByte(list.infos[0]), 0xCD);
}

// The listing is kept between calls: a scene whose identifiers name other buffers, or repeat,
// must still be listed and acquired as the runtime now gives it.
TEST_F(MeshDelivery, ListingFollowsIdentifiersThatChangeBuffersOrRepeat)
{
    const auto setWorld = [this](std::vector<std::pair<XrUuidMSFT, uint64_t>> components) {
        SimWorld world;
        for (const auto& [uuid, bufferId] : components) {
            world.meshes.push_back(VisualMesh(uuid, bufferId));
        }
        world.buffers[7] = Strip(4);
        world.buffers[8] = Strip(6);
        sceneUnderstanding.SetWorld(std::move(world));
    };
    const auto acquiredVertices = [this](const XrUuidMSFT& uuid) {
        return meshes.AcquireMesh(MeshIdOf(uuid)).positions.size();
    };
    setWorld({{kFirst, 7}, {kSecond, 8}});
    ASSERT_EQ(EngineUpdate().infos.size(), 2u);
    EXPECT_EQ(acquiredVertices(kFirst), 4u);

    setWorld({{kFirst, 8}, {kSecond, 7}});
    auto list = NextScene();
    ASSERT_EQ(list.infos.size(), 2u);
    EXPECT_EQ(acquiredVertices(kFirst), 6u);
    EXPECT_EQ(acquiredVertices(kSecond), 4u);

    // Of a repeated identifier, the component read last stands.
    setWorld({{kSecond, 8}, {kFirst, 7}, {kSecond, 7}});
    list = NextScene();
    ASSERT_EQ(list.infos.size(), 2u);
    EXPECT_EQ(list.infos[0].meshId.idPart[0], 1u);
    EXPECT_EQ(acquiredVertices(kSecond), 4u);
    list = EngineUpdate();
    ASSERT_EQ(list.infos.size(), 2u);
    EXPECT_EQ(acquiredVertices(kSecond), 4u);
    EXPECT_THAT(Messages(), IsEmpty());
}

TEST_F(MeshDelivery, PlaneIdentifierIsAcquiredConvertedWithNormalsAndNoWarnings)
{
    const XrUuidMSFT plane = Uuid({0x50});
    SimWorld world;
    world.meshes.push_back(VisualMesh(kFirst, 7));
    world.buffers[7] = Triangle();
    quenra::simruntime::SimPlane floor;
    floor.id = plane;
    floor.meshBufferId = 9;
    world.planes.push_back(floor);
    world.buffers[9] = SimMeshBuffer{{{0, 0, 1}, {1, 0, 1}, {0, 1, 1}}, {0, 1, 2}};
    sceneUnderstanding.SetWorld(world);
    RegisterProviderWithSceneObserver("planes", ComputeCycle::FeaturePlane | ComputeCycle::FeaturePlaneMesh);
    EngineUpdate();
    ASSERT_TRUE(Observer().UpdatePlanes());

    meshes.SetOptionalBuffers(true);
    const auto mesh = meshes.AcquireMesh(MeshIdOf(plane));
    ASSERT_EQ(mesh.result, kUnitySubsystemErrorCodeSuccess);
    EXPECT_THAT(mesh.positions, ElementsAre(Vec(0, 0, -1), Vec(1, 0, -1), Vec(0, 1, -1)));
    EXPECT_THAT(mesh.indices, ElementsAre(2u, 1u, 0u));
    // Every vertex the engine receives has its normal, mirrored like the positions.
    EXPECT_THAT(mesh.normals, ElementsAre(Vec(0, 0, -1), Vec(0, 0, -1), Vec(0, 0, -1)));
    EXPECT_TRUE(mesh.optionalBuffersUntouched);
    EXPECT_THAT(Messages(), IsEmpty());
}

TEST_F(MeshDelivery, NullMeshIdIsAFailureNeverRead)
{
    SetMeshes({{kFirst, Triangle()}});
    EngineUpdate();
    void* const userData = GetProviderContext();
    EXPECT_EQ(AcquireMesh(meshes.Handle(), userData, nullptr, nullptr), kUnitySubsystemErrorCodeFailure);
    EXPECT_EQ(ReleaseMesh(meshes.Handle(), userData, nullptr, nullptr, nullptr), kUnitySubsystemErrorCodeFailure);
    EXPECT_THAT(Messages(), ElementsAre(Message{0, "Mesh id is null"}, Message{0, "Mesh id is null"}));
}

TEST_F(MeshDelivery, UnknownIdentifierFailsNamingItsLeadingBytes)
{
    SetMeshes({{kFirst, Triangle()}});
    EngineUpdate();
    const auto mesh = meshes.AcquireMesh(MeshIdOf(Uuid({0x78, 0x56, 0x34, 0x12, 0xFF})));
    EXPECT_EQ(mesh.result, kUnitySubsystemErrorCodeFailure);
    EXPECT_FALSE(mesh.request.has_value());
    EXPECT_THAT(Messages(), ElementsAre(Message{0, "Failed to find mesh buffer with id 305419896"}));
}

TEST_F(MeshDelivery, TransformsAreDeliveredOncePerSceneIncludingMeshesThatLeft)
{
    SimWorld world;
    world.meshes.push_back(VisualMesh(kSecond, 7, {{0.1f, 0.2f, 0.3f, 0.9f}, {1, 2, 3}}));
    world.meshes.push_back(VisualMesh(kFirst, 8, {{0, 0, 0, 1}, {-1, 0, 4}}));
    world.buffers[7] = Triangle();
    world.buffers[8] = Triangle();
    sceneUnderstanding.SetWorld(world);
    const XrTime predicted = WaitFrame();
    EngineUpdate();

    auto transforms = meshes.GetUpdatedTransforms();
    EXPECT_EQ(transforms.result, kUnitySubsystemErrorCodeSuccess);
    ASSERT_TRUE(transforms.set);
    ASSERT_EQ(transforms.transforms.size(), 2u);
    const UnityXRMeshTransform& first = transforms.transforms[0];
    const UnityXRMeshTransform& second = transforms.transforms[1];
    EXPECT_EQ(first.meshId.idPart[0], 1u);
    EXPECT_EQ(first.timestamp, static_cast<uint64_t>(predicted));
    EXPECT_THAT(first.position, Vec(-1, 0, -4));
    EXPECT_EQ(second.meshId.idPart[0], 1ull << 56);
    EXPECT_THAT(second.position, Vec(1, 2, -3));
    EXPECT_EQ(second.rotation.x, 0.1f);
    EXPECT_EQ(second.rotation.y, 0.2f);
    EXPECT_EQ(second.rotation.z, -0.3f);
    EXPECT_EQ(second.rotation.w, -0.9f);
    EXPECT_THAT(second.scale, Vec(1, 1, 1));

    transforms = meshes.GetUpdatedTransforms();
    EXPECT_EQ(transforms.result, kUnitySubsystemErrorCodeSuccess);
    EXPECT_FALSE(transforms.set);

    // The next scene holds only the second mesh; the first keeps its last pose.
    world.meshes.erase(world.meshes.begin() + 1);
    sceneUnderstanding.SetWorld(world);
    EXPECT_EQ(NextScene().infos.size(), 1u);
    transforms = meshes.GetUpdatedTransforms();
    ASSERT_TRUE(transforms.set);
    EXPECT_EQ(transforms.transforms.size(), 2u);
    EXPECT_THAT(transforms.transforms[0].position, Vec(-1, 0, -4));
}

TEST_F(MeshDelivery, SceneWithoutVisualMeshesFailsAndSendsTheCycleBackToIdle)
{
    const auto list = EngineUpdate();
    EXPECT_EQ(list.result, kUnitySubsystemErrorCodeFailure);
    EXPECT_FALSE(list.allocated);
    EXPECT_THAT(Messages(), ElementsAre(Message{0, "Meshes map is empty!"}));
    EXPECT_FALSE(SceneReadable());
}

TEST_F(MeshDelivery, NoListingWhileNoSceneIsReady)
{
    SetMeshes({{kFirst, Triangle()}});
    sceneUnderstanding.QueueComputeOutcome(ComputeOutcome{1, XR_SCENE_COMPUTE_STATE_COMPLETED_MSFT});
    const auto list = EngineUpdate();
    EXPECT_EQ(list.result, kUnitySubsystemErrorCodeFailure);
    EXPECT_FALSE(list.allocated);
    EXPECT_THAT(Messages(), IsEmpty());
    EXPECT_EQ(EngineUpdate().result, kUnitySubsystemErrorCodeSuccess);
}

TEST_F(MeshDelivery, FailedComponentCallsAreLoggedWithTheirResult)
{
    SetMeshes({{kFirst, Triangle()}});
    runtime.FailNext("xrGetSceneComponentsMSFT", XR_ERROR_RUNTIME_FAILURE);
    EXPECT_EQ(EngineUpdate().result, kUnitySubsystemErrorCodeFailure);
    runtime.FailNext("xrLocateSceneComponentsMSFT", XR_ERROR_TIME_INVALID);
    EXPECT_EQ(EngineUpdate().result, kUnitySubsystemErrorCodeFailure);
    // A failed listing leaves no mesh to acquire.
    EXPECT_EQ(meshes.AcquireMesh(MeshIdOf(kFirst)).result, kUnitySubsystemErrorCodeFailure);
    EXPECT_THAT(Messages(), ElementsAre(Message{0, "Failed to get scene components count: -2"},
                                        Message{0, "Failed to locate scene components: -30"},
                                        Message{0, "Failed to find mesh buffer with id 1"}));
}

TEST_F(MeshDelivery, ReleaseSucceedsForAnyIdentifierOnceReady)
{
    EXPECT_EQ(meshes.ReleaseMesh(MeshIdOf(Uuid({0x42}))), kUnitySubsystemErrorCodeSuccess);
    meshes.Stop();
    EXPECT_EQ(meshes.ReleaseMesh(MeshIdOf(Uuid({0x42}))), kUnitySubsystemErrorCodeFailure);
    EXPECT_THAT(Messages(), ElementsAre(Message{0, "No providers!"}));
}

// An engine callback made under the state lock that calls back into the plug-in on the same thread:
// refused with a logged failure, never let in to rebuild the list the outer call is filling, never
// left to deadlock.
UnitySubsystemErrorCode nestedResult = kUnitySubsystemErrorCodeSuccess;
decltype(IUnityXRMeshInterface::MeshInfoAllocator_Allocate) engineAllocate = nullptr;

UnityXRMeshInfo* UNITY_INTERFACE_API AllocateCallingBack(UnityXRMeshInfoAllocator* allocator, size_t count)
{
    nestedResult = GetMeshInfos(nullptr, GetProviderContext(), allocator);
    return engineAllocate(allocator, count);
}

TEST_F(MeshDelivery, ACallBackIntoThePluginUnderItsLockIsRefused)
{
    SetMeshes({{kFirst, Triangle()}, {kSecond, Strip(4)}});
    engineAllocate = meshes.Interface()->MeshInfoAllocator_Allocate;
    meshes.Interface()->MeshInfoAllocator_Allocate = &AllocateCallingBack;
    const auto list = EngineUpdate();
    meshes.Interface()->MeshInfoAllocator_Allocate = engineAllocate;
    EXPECT_EQ(nestedResult, kUnitySubsystemErrorCodeFailure);
    ASSERT_EQ(list.result, kUnitySubsystemErrorCodeSuccess);
    ASSERT_EQ(list.infos.size(), 2u);
    EXPECT_EQ(UpdatedByte(list.infos[0]), 1);
    EXPECT_EQ(UpdatedByte(list.infos[1]), 1);
    EXPECT_THAT(Messages(), ElementsAre(Message{0, "StepAndListMeshes was called back while the scene state is held "
                                                   "on the same thread; refused"}));
}

class MeshDeliveryBeforeOpenXr : public LoadedPlugin {};

TEST_F(MeshDeliveryBeforeOpenXr, EveryOperationButTransformsFailsWithOpenXrNotReady)
{
    ASSERT_TRUE(RegisterMeshingLifecycleProvider());
    meshes.Initialize();
    meshes.Start();
    trace.Clear();
    EXPECT_EQ(meshes.GetMeshInfos().result, kUnitySubsystemErrorCodeFailure);
    EXPECT_EQ(meshes.AcquireMesh(MeshIdOf(kFirst)).result, kUnitySubsystemErrorCodeFailure);
    EXPECT_EQ(meshes.ReleaseMesh(MeshIdOf(kFirst)), kUnitySubsystemErrorCodeFailure);
    const auto transforms = meshes.GetUpdatedTransforms();
    EXPECT_EQ(transforms.result, kUnitySubsystemErrorCodeSuccess);
    EXPECT_FALSE(transforms.set);
    EXPECT_THAT(Messages(),
                ElementsAre(Message{0, "OpenXr not ready"}, Message{0, "Failed to update scene observations"},
                            Message{0, "OpenXr not ready"}, Message{0, "OpenXr not ready"}));
}

} // namespace
} // namespace kelbrin::test
