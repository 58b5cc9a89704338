// Planes for scripts: the part itself on bindings bound to the simulated runtime (filtered by
// alignment, in identifier order, in the OpenXR convention, never written past what the script
// made room for), and what the exports add (the cycle's state, OpenXR and a provider).
#include <algorithm>
#include <cstring>
#include <vector>

#include "BoundParts.h"
#include "SceneCycle.h"
#include "ScenePlanes.h"

namespace kelbrin::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const char* const kScript = "PlaneScript";
constexpr uint8_t kSentinel = 0xAB;

// Sorted by identifier B, C, A: A's first word is 2^56, B's is 1, C's is 2.
const XrUuidMSFT kPlaneA = Uuid({0, 0, 0, 0, 0, 0, 0, 1});
const XrUuidMSFT kPlaneB = Uuid({1});
const XrUuidMSFT kPlaneC = Uuid({2});

SimPlane Plane(const XrUuidMSFT& id, XrScenePlaneAlignmentTypeMSFT alignment, uint64_t meshBufferId, XrPosef pose,
               XrExtent2Df size)
{
    SimPlane plane;
    plane.id = id;
    plane.alignment = alignment;
    plane.meshBufferId = meshBufferId;
    plane.pose = pose;
    plane.size = size;
    return plane;
}

SimMeshBuffer Triangle(float z)
{
    return {{{0, 0, z}, {1, 0, z}, {0, 1, z}}, {0, 1, 2}};
}

SimMeshBuffer Quad()
{
    return {{{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}}, {0, 1, 2, 0, 2, 3}};
}

SimWorld ThreePlanes()
{
    SimWorld world;
    world.planes.push_back(Plane(kPlaneA, XR_SCENE_PLANE_ALIGNMENT_TYPE_HORIZONTAL_MSFT, 2001,
                                 {{0.1f, 0.2f, 0.3f, 0.9273618f}, {1.0f, 2.0f, -3.0f}}, {2.0f, 3.0f}));
    world.planes.back().locationFlags = XR_SPACE_LOCATION_POSITION_VALID_BIT;
    world.planes.push_back(
        Plane(kPlaneB, XR_SCENE_PLANE_ALIGNMENT_TYPE_VERTICAL_MSFT, 2002, {{0, 0, 0, 1}, {0, 1.3f, -2}}, {5, 2.6f}));
    world.planes.push_back(Plane(kPlaneC, XR_SCENE_PLANE_ALIGNMENT_TYPE_NON_ORTHOGONAL_MSFT, 2003,
                                 {{-0.5f, 0, 0, 0.8660254f}, {1.5f, 0.6f, -1.7f}}, {0.8f, 1.3f}));
    world.buffers[2001] = Triangle(1.0f);
    world.buffers[2002] = Quad();
    world.buffers[2003] = Triangle(0.5f);
    return world;
}

std::vector<ScenePlane> Sentinels(size_t count)
{
    std::vector<ScenePlane> planes(count);
    std::memset(planes.data(), kSentinel, planes.size() * sizeof(ScenePlane));
    return planes;
}

bool AllBytes(const void* data, size_t size, uint8_t value)
{
    const auto* bytes = static_cast<const uint8_t*>(data);
    return std::all_of(bytes, bytes + size, [value](uint8_t byte) { return byte == value; });
}

// Every plane read, as a script fetches them: counted, then into records filled with sentinels.
template <typename Planes> std::vector<ScenePlane> FetchAll(const Planes& planes)
{
    uint32_t count = 0;
    EXPECT_TRUE(planes.Count(&count));
    std::vector<ScenePlane> records = Sentinels(count);
    EXPECT_TRUE(planes.Fetch(count, records.data()));
    return records;
}

// The alignment filter the runtime received with the last components read.
std::vector<XrScenePlaneAlignmentTypeMSFT> LastFilter(const quenra::simruntime::SceneUnderstanding& sceneUnderstanding)
{
    const auto queries = sceneUnderstanding.ComponentsQueries();
    EXPECT_FALSE(queries.empty());
    EXPECT_TRUE(queries.back().alignmentFilter.has_value()) << "filter not chained";
    return queries.back().alignmentFilter.value_or(std::vector<XrScenePlaneAlignmentTypeMSFT>{});
}

// The part itself: a scene asked for planes and their meshes made current by the compute cycle.
class PlanesOnBindings : public BoundParts {
protected:
    void MakeScene(SimWorld world)
    {
        BoundParts::MakeScene(std::move(world),
                              kelbrin::ComputeCycle::FeaturePlane | kelbrin::ComputeCycle::FeaturePlaneMesh);
    }

    kelbrin::ScenePlanes planes{reader, trace.Interface()};
};

// The planes behind the exports, a script driving the cycle.
class ScenePlanes : public SceneCycle {
protected:
    // A script that asks for planes and their meshes, driving the cycle to a current scene.
    void MakeScene(SimWorld world)
    {
        sceneUnderstanding.SetWorld(std::move(world));
        RegisterProviderWithSceneObserver(kScript, ComputeCycle::FeaturePlane | ComputeCycle::FeaturePlaneMesh);
        ASSERT_TRUE(UpdateObservedScene(kScript));
        ASSERT_TRUE(Bindings().HasCurrentScene());
        trace.Clear();
    }

    // What a script reaches through the exports.
    struct Exports {
        bool Count(uint32_t* count) const { return CountScenePlanes(count); }
        bool Fetch(uint32_t count, ScenePlane* planes) const { return FetchScenePlanes(count, planes); }
    };
    std::vector<ScenePlane> FetchAll() { return test::FetchAll(Exports{}); }
    std::vector<XrScenePlaneAlignmentTypeMSFT> LastFilter() { return test::LastFilter(sceneUnderstanding); }
};

TEST_F(PlanesOnBindings, FilterListFollowsTheThreeLowBitsInHorizontalVerticalNonOrthogonalOrder)
{
    std::vector<XrScenePlaneAlignmentTypeMSFT> filters;
    planes.GetFilters(filters);
    EXPECT_THAT(filters,
                ElementsAre(XR_SCENE_PLANE_ALIGNMENT_TYPE_HORIZONTAL_MSFT, XR_SCENE_PLANE_ALIGNMENT_TYPE_VERTICAL_MSFT,
                            XR_SCENE_PLANE_ALIGNMENT_TYPE_NON_ORTHOGONAL_MSFT));
    planes.SetFilterFlags(5);
    filters.clear();
    planes.GetFilters(filters);
    EXPECT_THAT(filters, ElementsAre(XR_SCENE_PLANE_ALIGNMENT_TYPE_HORIZONTAL_MSFT,
                                     XR_SCENE_PLANE_ALIGNMENT_TYPE_NON_ORTHOGONAL_MSFT));
    planes.SetFilterFlags(0xFFFFFFF8u);
    filters.clear();
    planes.GetFilters(filters);
    EXPECT_THAT(filters, IsEmpty());
}

TEST_F(PlanesOnBindings, ReadsTheComponentsTwiceWithTheFilterAndLocatesThemAtThePredictedTime)
{
    MakeScene(ThreePlanes());
    const XrTime predicted = frames.LastPredictedDisplayTime() + 11;
    bindings.SetPredictedDisplayTime(predicted);
    ASSERT_TRUE(planes.Update());
    const auto queries = sceneUnderstanding.ComponentsQueries();
    ASSERT_GE(queries.size(), 2u);
    const auto& countQuery = queries[queries.size() - 2];
    const auto& fillQuery = queries.back();
    EXPECT_EQ(countQuery.componentType, XR_SCENE_COMPONENT_TYPE_PLANE_MSFT);
    EXPECT_EQ(countQuery.capacity, 0u);
    EXPECT_FALSE(countQuery.planesChained);
    EXPECT_EQ(fillQuery.capacity, 3u);
    EXPECT_TRUE(fillQuery.planesChained);
    EXPECT_TRUE(fillQuery.alignmentFilter.has_value());
    const auto locate = sceneUnderstanding.LocateRequests().back();
    EXPECT_EQ(locate.baseSpace, quenra::simruntime::HandleValue(space));
    EXPECT_EQ(locate.time, predicted);
    ASSERT_EQ(locate.ids.size(), 3u);
    EXPECT_EQ(MeshIdOf(locate.ids[0]).idPart[0], MeshIdOf(kPlaneA).idPart[0]);
}

TEST_F(PlanesOnBindings, RecordsComeInIdentifierOrderWithTheRuntimesValuesUnconverted)
{
    MakeScene(ThreePlanes());
    ASSERT_TRUE(planes.Update());
    const std::vector<ScenePlane> records = FetchAll(planes);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].id.idPart[0], 1u);
    EXPECT_EQ(records[1].id.idPart[0], 2u);
    EXPECT_EQ(records[2].id.idPart[0], uint64_t{1} << 56);
    EXPECT_EQ(records[2].id.idPart[1], 0u);

    const ScenePlane& a = records[2];
    EXPECT_EQ(a.alignment, XR_SCENE_PLANE_ALIGNMENT_TYPE_HORIZONTAL_MSFT);
    EXPECT_EQ(a.size.width, 2.0f);
    EXPECT_EQ(a.size.height, 3.0f);
    EXPECT_EQ(a.locationFlags, XrSpaceLocationFlags{XR_SPACE_LOCATION_POSITION_VALID_BIT});
    // OpenXR convention: z and w keep their signs.
    EXPECT_EQ(a.pose.orientation.z, 0.3f);
    EXPECT_EQ(a.pose.orientation.w, 0.9273618f);
    EXPECT_EQ(a.pose.position.z, -3.0f);
    EXPECT_EQ(a.vertexCount, 3u);
    EXPECT_EQ(a.indexCount, 3u);
    EXPECT_EQ(records[0].vertexCount, 4u);
    EXPECT_EQ(records[0].indexCount, 6u);
    // The padding is written as zeros, not left with what the array held.
    const auto* bytes = reinterpret_cast<const uint8_t*>(&a);
    EXPECT_TRUE(AllBytes(bytes + 28, 4, 0));
    EXPECT_TRUE(AllBytes(bytes + 76, 4, 0));
}

TEST_F(PlanesOnBindings, CountOneOffIsRefusedWithBothNumbersAndNothingWritten)
{
    MakeScene(ThreePlanes());
    ASSERT_TRUE(planes.Update());
    for (const uint32_t count : {2u, 4u}) {
        std::vector<ScenePlane> records = Sentinels(4);
        EXPECT_FALSE(planes.Fetch(count, records.data()));
        EXPECT_TRUE(AllBytes(records.data(), records.size() * sizeof(ScenePlane), kSentinel));
    }
    EXPECT_THAT(Messages(),
                ElementsAre(Message{2, "SceneObserver::FetchScenePlanes attempting to fetch 2 planes, but 3 found"},
                            Message{2, "SceneObserver::FetchScenePlanes attempting to fetch 4 planes, but 3 found"}));
}

TEST_F(PlanesOnBindings, SkippedPlaneIsLoggedAndLeavesZeroedRecordsAfterTheCollectedOnes)
{
    MakeScene(ThreePlanes());
    ASSERT_TRUE(planes.Update());
    // The first plane in identifier order is B, buffer 2002.
    runtime.FailNext("xrGetSceneMeshBuffersMSFT", XR_ERROR_RUNTIME_FAILURE);
    std::vector<ScenePlane> records = Sentinels(3);
    ASSERT_TRUE(planes.Fetch(3, records.data()));
    EXPECT_EQ(records[0].id.idPart[0], 2u);
    EXPECT_EQ(records[1].id.idPart[0], uint64_t{1} << 56);
    EXPECT_TRUE(AllBytes(&records[2], sizeof(ScenePlane), 0));
    EXPECT_THAT(Messages(), ElementsAre(Message{0, "Failed to get vertex count output: -2"},
                                        Message{0, "SceneObserver::FetchScenePlanes Failed to read mesh buffers for "
                                                   "2002"}));
}

TEST_F(PlanesOnBindings, GrownPlaneMeshIsRefusedWithoutWritingPastTheRecordsCounts)
{
    struct Case {
        SimMeshBuffer grown;
        const char* message;
    };
    const Case cases[] = {
        {Quad(), "Plane mesh 2001 has grown to 4 vertices and 6 indices since its record was fetched (3 and 3)"},
        // The same vertices, more triangles: the index array alone would overrun.
        {{Triangle(1.0f).vertices, {0, 1, 2, 0, 2, 1}},
         "Plane mesh 2001 has grown to 3 vertices and 6 indices since its record was fetched (3 and 3)"},
        {{Quad().vertices, {0, 1, 2}},
         "Plane mesh 2001 has grown to 4 vertices and 3 indices since its record was fetched (3 and 3)"},
    };
    for (const Case& c : cases) {
        MakeScene(ThreePlanes());
        ASSERT_TRUE(planes.Update());
        const ScenePlane a = FetchAll(planes)[2];
        SimWorld grown = ThreePlanes();
        grown.buffers[2001] = c.grown;
        MakeScene(std::move(grown));

        std::vector<XrVector3f> vertices(a.vertexCount + 1, XrVector3f{7, 7, 7});
        std::vector<uint32_t> indices(a.indexCount + 1, 7);
        EXPECT_FALSE(planes.FetchVertices(&a, vertices.data(), indices.data())) << c.message;
        EXPECT_THAT(indices, ElementsAre(7u, 7u, 7u, 7u)) << c.message;
        EXPECT_EQ(vertices[0].x, 7.0f);
        EXPECT_EQ(vertices[a.vertexCount].x, 7.0f);
        EXPECT_THAT(Messages(), ElementsAre(Message{2, c.message}));
        Advance(1600ms);
    }
}

TEST_F(PlanesOnBindings, UnknownRecordAndUnreadableMeshAreWarnings)
{
    MakeScene(ThreePlanes());
    ASSERT_TRUE(planes.Update());
    const ScenePlane b = FetchAll(planes)[0];
    ScenePlane stranger = b;
    stranger.id.idPart[0] = 42;
    XrVector3f vertices[4];
    uint32_t indices[6];
    EXPECT_FALSE(planes.FetchVertices(&stranger, vertices, indices));
    runtime.FailNext("xrGetSceneMeshBuffersMSFT", XR_ERROR_RUNTIME_FAILURE);
    EXPECT_FALSE(planes.FetchVertices(&b, vertices, indices));
    EXPECT_THAT(Messages(),
                ElementsAre(Message{2, "Could not find plane!"}, Message{0, "Failed to get vertex count output: -2"},
                            Message{2, "Failed to read mesh buffers for id 2002!"}));
}

TEST_F(PlanesOnBindings, NullArgumentsAreLoggedFailures)
{
    MakeScene(ThreePlanes());
    ASSERT_TRUE(planes.Update());
    EXPECT_FALSE(planes.Count(nullptr));
    EXPECT_FALSE(planes.Fetch(3, nullptr));
    EXPECT_FALSE(planes.Fetch(0, nullptr));
    EXPECT_FALSE(planes.FetchVertices(nullptr, nullptr, nullptr));
    const ScenePlane b = FetchAll(planes)[0];
    EXPECT_FALSE(planes.FetchVertices(&b, nullptr, nullptr));
    EXPECT_THAT(Messages(),
                ElementsAre(Message{0, "Invalid count pointer!"}, Message{0, "Invalid scene planes collection!"},
                            Message{0, "Invalid scene planes collection!"}, Message{0, "Invalid scene plane!"},
                            Message{0, "Invalid plane vertex or index array!"}));
}

TEST_F(PlanesOnBindings, FailedReadsAreLoggedWithTheResultAndLeaveNoPlanes)
{
    MakeScene(ThreePlanes());
    ASSERT_TRUE(planes.Update());
    uint32_t count = 0;
    runtime.FailNext("xrGetSceneComponentsMSFT", XR_ERROR_RUNTIME_FAILURE);
    EXPECT_FALSE(planes.Update());
    ASSERT_TRUE(planes.Count(&count));
    EXPECT_EQ(count, 0u);
    runtime.FailNext("xrLocateSceneComponentsMSFT", XR_ERROR_TIME_INVALID);
    EXPECT_FALSE(planes.Update());
    ASSERT_TRUE(planes.Count(&count));
    EXPECT_EQ(count, 0u);
    EXPECT_THAT(Messages(), ElementsAre(Message{0, "Failed to get scene components count: -2"},
                                        Message{0, "Failed to locate scene components: -30"}));
}

TEST_F(ScenePlanes, FlagsFiveReachTheRuntimeAsHorizontalThenNonOrthogonalAndOnlyThosePlanesComeBack)
{
    MakeScene(ThreePlanes());
    SetPlanesFilterFlags(5);
    ASSERT_TRUE(UpdatePlanes());
    EXPECT_THAT(LastFilter(), ElementsAre(XR_SCENE_PLANE_ALIGNMENT_TYPE_HORIZONTAL_MSFT,
                                          XR_SCENE_PLANE_ALIGNMENT_TYPE_NON_ORTHOGONAL_MSFT));
    const std::vector<ScenePlane> planes = FetchAll();
    ASSERT_EQ(planes.size(), 2u);
    EXPECT_EQ(planes[0].alignment, XR_SCENE_PLANE_ALIGNMENT_TYPE_NON_ORTHOGONAL_MSFT);
    EXPECT_EQ(planes[1].alignment, XR_SCENE_PLANE_ALIGNMENT_TYPE_HORIZONTAL_MSFT);
}

TEST_F(ScenePlanes, FlagsZeroChainAnEmptyFilterAndTheEmptyAnswerIsNoFailure)
{
    MakeScene(ThreePlanes());
    SetPlanesFilterFlags(0);
    ASSERT_TRUE(UpdatePlanes());
    EXPECT_THAT(LastFilter(), IsEmpty());
    uint32_t count = 99;
    ASSERT_TRUE(CountScenePlanes(&count));
    EXPECT_EQ(count, 0u);
    ScenePlane untouched = Sentinels(1)[0];
    EXPECT_TRUE(FetchScenePlanes(0, &untouched));
    EXPECT_TRUE(AllBytes(&untouched, sizeof(untouched), kSentinel));
    // No planes is no failure: the scene stays ready to read.
    EXPECT_TRUE(SceneReadable());
    EXPECT_THAT(Messages(), IsEmpty());
}

TEST_F(ScenePlanes, PlaneMeshReachesTheScriptAsTheRuntimeGaveIt)
{
    MakeScene(ThreePlanes());
    ASSERT_TRUE(UpdatePlanes());
    const ScenePlane a = FetchAll()[2];
    std::vector<XrVector3f> vertices(a.vertexCount);
    std::vector<uint32_t> indices(a.indexCount);
    ASSERT_TRUE(FetchPlaneVertices(&a, vertices.data(), indices.data()));
    EXPECT_EQ(vertices[1].x, 1.0f);
    EXPECT_EQ(vertices[1].z, 1.0f);
    EXPECT_EQ(vertices[2].y, 1.0f);
    EXPECT_EQ(vertices[2].z, 1.0f);
    EXPECT_THAT(indices, ElementsAre(0u, 1u, 2u));
}

TEST_F(ScenePlanes, OutsideSceneReadyTheEarlierPlanesStay)
{
    MakeScene(ThreePlanes());
    ASSERT_TRUE(UpdatePlanes());
    // The next compute stays in flight for a while.
    sceneUnderstanding.QueueComputeOutcome({5, XR_SCENE_COMPUTE_STATE_COMPLETED_MSFT});
    Advance(1600ms);
    ASSERT_TRUE(UpdateObservedScene(kScript));
    // Started and polled, not yet made into a scene.
    ASSERT_EQ(sceneUnderstanding.ComputeRequests().size(), 2u);
    ASSERT_EQ(runtime.CallCount("xrCreateSceneMSFT"), 1u);
    trace.Clear();
    EXPECT_FALSE(UpdatePlanes());
    uint32_t count = 0;
    ASSERT_TRUE(CountScenePlanes(&count));
    EXPECT_EQ(count, 3u);
    EXPECT_THAT(Messages(), IsEmpty());
}

TEST_F(LoadedPlugin, PlaneCallsNeedOpenXrAndAProvider)
{
    trace.Clear();
    uint32_t count = 0;
    ScenePlane plane{};
    EXPECT_FALSE(UpdatePlanes());
    EXPECT_FALSE(CountScenePlanes(&count));
    EXPECT_FALSE(FetchScenePlanes(0, &plane));
    EXPECT_FALSE(FetchPlaneVertices(&plane, nullptr, nullptr));
    ConnectOpenXr();
    EXPECT_FALSE(UpdatePlanes());
    const Message notReady{0, "OpenXr not ready"};
    EXPECT_THAT(Messages(), ElementsAre(notReady, notReady, notReady, notReady, Message{0, "No providers!"}));
}

} // namespace
} // namespace kelbrin::test
