#include "SceneObserver.h"

#include "TraceLog.h"
#include "XrBindings.h"

namespace kelbrin {

SceneObserver::SceneObserver(XrBindings& bindings, IUnityXRTrace* trace, IUnityXRMeshInterface* meshInterface)
    : bindings(bindings), trace(trace), guard(trace), reader(bindings, trace), registry(trace),
      cycle(bindings, trace, guard), planes(reader, trace), delivery(bindings, reader, trace, meshInterface)
{
}

SceneObserver::~SceneObserver()
{
    // Nothing can call back into an observer being destroyed, so the hold is never refused.
    const SceneGuard::Hold hold(guard, "~SceneObserver");
    while (registry.UnregisterAny()) {
        if (registry.Empty()) {
            ReleaseSceneObjects();
        }
    }
}

// --- Provider registry -------------------------------------------------------------------

bool SceneObserver::RegisterProvider(const char* name, int32_t features)
{
    const SceneGuard::Hold hold(guard, "RegisterProvider");
    if (!hold) {
        return false;
    }
    registry.Register(name, features);
    return true;
}

void SceneObserver::UnregisterProvider(const char* name)
{
    const SceneGuard::Hold hold(guard, "UnregisterProvider");
    if (!hold) {
        return;
    }
    if (registry.Unregister(name) && registry.Empty()) {
        ReleaseSceneObjects();
    }
}

void SceneObserver::ReleaseSceneObjects()
{
    // Those reported gone are forgotten, not destroyed; the results do not matter here.
    DropLostSceneObjects();
    cycle.DestroyScene();
    bindings.DestroyXrSceneObserver();
    // A compute in flight died with its observer; the next provider starts a new one.
    cycle.Reset();
}

void SceneObserver::UseInstance(uint64_t instance)
{
    const SceneGuard::Hold hold(guard, "UseInstance");
    if (!hold) {
        return;
    }
    bindings.SetInstanceHandle(instance);
    // The table and the scene handles change only while no acquisition reads them.
    if (guard.Replace([this] { return bindings.HookFunctions(); })) {
        cycle.Reset();
        TraceLog(trace, kXRTraceLevelNotice,
                 "Scene understanding functions looked up again for instance %llu; the old instance's scene "
                 "objects are dropped",
                 static_cast<unsigned long long>(instance));
    }
}

void SceneObserver::UseSession(uint64_t session)
{
    const SceneGuard::Hold hold(guard, "UseSession");
    if (!hold) {
        return;
    }
    const uint64_t previous = bindings.ExchangeSessionHandle(session);
    if (previous == session || !(bindings.HasXrSceneObserver() || bindings.HasCurrentScene())) {
        return;
    }
    if (session == 0) {
        ReleaseSceneObjects();
        TraceLog(trace, kXRTraceLevelNotice, "Session %llu is given up; the scene objects made on it are destroyed",
                 static_cast<unsigned long long>(previous));
        return;
    }
    cycle.ForgetSceneObjects();
    TraceLog(trace, kXRTraceLevelNotice,
             "Session %llu replaces the one the scene objects were made on; they are dropped with it",
             static_cast<unsigned long long>(session));
}

bool SceneObserver::DropLostSceneObjects()
{
    const XrBindings::LostSceneObjects lost = bindings.TakeLostSceneObjects();
    if (lost.sceneObserver != XR_SUCCESS) {
        cycle.ForgetSceneObjects();
        TraceLog(trace, kXRTraceLevelWarning,
                 "The runtime answered %d on the scene objects; they are dropped and the next compute makes them anew",
                 static_cast<int>(lost.sceneObserver));
    } else if (lost.scene != XR_SUCCESS) {
        cycle.ForgetScene();
        TraceLog(trace, kXRTraceLevelWarning,
                 "The runtime answered %d on the scene; it is dropped and the next compute makes one anew",
                 static_cast<int>(lost.scene));
    }
    return lost.sceneObserver != XR_SUCCESS || lost.scene != XR_SUCCESS;
}

bool SceneObserver::HasProviders() const
{
    const SceneGuard::Hold hold(guard, "HasProviders");
    if (!hold) {
        return false;
    }
    return !registry.Empty();
}

bool SceneObserver::HasRegisteredProvider(const char* name) const
{
    const SceneGuard::Hold hold(guard, "HasRegisteredProvider");
    if (!hold) {
        return false;
    }
    return registry.Has(name);
}

bool SceneObserver::CheckOrSetDrivingProvider(const char* name)
{
    const SceneGuard::Hold hold(guard, "CheckOrSetDrivingProvider");
    if (!hold) {
        return false;
    }
    return registry.CheckOrSetDriving(name);
}

bool SceneObserver::IsReadyWithProviders() const
{
    if (!bindings.IsOpenXrReady()) {
        TraceLog(trace, kXRTraceLevelError, "OpenXr not ready");
        return false;
    }
    if (registry.Empty()) {
        TraceLog(trace, kXRTraceLevelError, "No providers!");
        return false;
    }
    return true;
}

// Every compute asks for the whole scene around the base space, so the engine's
// density and bounding volume are accepted and not applied.
UnitySubsystemErrorCode SceneObserver::SetMeshDensity(float)
{
    const SceneGuard::Hold hold(guard, "SetMeshDensity");
    if (!hold) {
        return kUnitySubsystemErrorCodeFailure;
    }
    return IsReadyWithProviders() ? kUnitySubsystemErrorCodeSuccess : kUnitySubsystemErrorCodeFailure;
}

UnitySubsystemErrorCode SceneObserver::SetBoundingVolume(const UnityXRBoundingVolume*)
{
    const SceneGuard::Hold hold(guard, "SetBoundingVolume");
    if (!hold) {
        return kUnitySubsystemErrorCodeFailure;
    }
    return IsReadyWithProviders() ? kUnitySubsystemErrorCodeSuccess : kUnitySubsystemErrorCodeFailure;
}

// --- Scene compute cycle -----------------------------------------------------------------

void SceneObserver::SetWallClock(ComputeCycle::WallClock clock)
{
    const SceneGuard::Hold hold(guard, "SetWallClock");
    if (!hold) {
        return;
    }
    cycle.SetWallClock(clock);
}

bool SceneObserver::UpdateSceneObservations(const char* name)
{
    const SceneGuard::Hold hold(guard, "UpdateSceneObservations");
    return hold && StepCycle(name);
}

bool SceneObserver::StepCycle(const char* name)
{
    if (!IsReadyWithProviders()) {
        return false;
    }
    DropLostSceneObjects();
    if (!registry.CheckOrSetDriving(name)) {
        return true;
    }
    if (cycle.Step(registry.RequestedFeatures())) {
        delivery.MarkTransformsPending();
    }
    return true;
}

void SceneObserver::GetProviderRequestedFeatures(std::vector<XrSceneComputeFeatureMSFT>& features) const
{
    const SceneGuard::Hold hold(guard, "GetProviderRequestedFeatures");
    if (!hold) {
        return;
    }
    ComputeCycle::FeaturesOf(registry.RequestedFeatures(), features);
}

// --- Mesh delivery -----------------------------------------------------------------------

bool SceneObserver::UpdateMeshes(UnityXRMeshInfoAllocator* allocator)
{
    const SceneGuard::Hold hold(guard, "UpdateMeshes");
    return hold && ListMeshes(allocator);
}

UnitySubsystemErrorCode SceneObserver::StepAndListMeshes(const char* name, UnityXRMeshInfoAllocator* allocator)
{
    // One hold: an acquisition never pairs a mesh buffer of this listing with another scene.
    const SceneGuard::Hold hold(guard, "StepAndListMeshes");
    if (!hold) {
        return kUnitySubsystemErrorCodeFailure;
    }
    if (!StepCycle(name)) {
        TraceLog(trace, kXRTraceLevelError, "Failed to update scene observations");
        return kUnitySubsystemErrorCodeFailure;
    }
    return ListMeshes(allocator) ? kUnitySubsystemErrorCodeSuccess : kUnitySubsystemErrorCodeFailure;
}

bool SceneObserver::ListMeshes(UnityXRMeshInfoAllocator* allocator)
{
    if (!IsReadyWithProviders() || cycle.State() != ComputeCycle::SceneReady) {
        return false;
    }
    const MeshDelivery::Listing listing = delivery.List(allocator);
    if (listing == MeshDelivery::Listing::NoMeshes) {
        cycle.Reset();
    }
    return listing == MeshDelivery::Listing::Listed;
}

uint32_t SceneObserver::TryFindMeshBufferId(const UnityXRMeshId* id, uint64_t& meshBufferId) const
{
    const SceneGuard::Hold hold(guard, "TryFindMeshBufferId");
    if (!hold) {
        return MeshBufferNotFound;
    }
    return FindMeshBuffer(*id, meshBufferId);
}

uint32_t SceneObserver::FindMeshBuffer(const UnityXRMeshId& id, uint64_t& meshBufferId) const
{
    if (delivery.FindMeshBuffer(id, meshBufferId)) {
        return SceneMeshBuffer;
    }
    return planes.FindMeshBuffer(id, meshBufferId) ? PlaneMeshBuffer : MeshBufferNotFound;
}

UnitySubsystemErrorCode SceneObserver::AcquireByMeshId(const UnityXRMeshId* id, UnityXRMeshDataAllocator* allocator)
{
    MeshDelivery::PooledScratch pooled(delivery);
    MeshDelivery::Scratch& scratch = *pooled;
    uint64_t meshBufferId = 0;
    // The lock only to find the mesh; the scene it is in stays current while this reads it.
    SceneGuard::Hold finding(guard, "AcquireByMeshId");
    if (!finding || !IsReadyWithProviders()) {
        return kUnitySubsystemErrorCodeFailure;
    }
    const uint32_t kind = FindMeshBuffer(*id, meshBufferId);
    if (kind == MeshBufferNotFound) {
        // No mesh buffer id exists on this path: the number is the identifier's first four
        // bytes (the start of the component's uuid) as a little-endian 32-bit value.
        TraceLog(trace, kXRTraceLevelError, "Failed to find mesh buffer with id %u",
                 static_cast<unsigned>(id->idPart[0] & 0xFFFFFFFFu));
        return kUnitySubsystemErrorCodeFailure;
    }
    SceneGuard::Reader reading = guard.EnterReader();
    const uint64_t generation = guard.Generation();
    finding.Release();

    const bool read = delivery.Read(meshBufferId, scratch);
    // Released before the state lock is taken again: a scene replacement holds that lock while it waits for readers.
    reading.unlock();
    const UnitySubsystemErrorCode result =
        read ? delivery.Deliver(kind == SceneMeshBuffer, meshBufferId, scratch, allocator)
             : kUnitySubsystemErrorCodeFailure;
    const SceneGuard::Hold recording(guard, "AcquireByMeshId");
    // A count read from a scene replaced meanwhile says nothing about the current one.
    if (recording && generation == guard.Generation()) {
        if (result == kUnitySubsystemErrorCodeSuccess) {
            delivery.RecordVertexCount(meshBufferId, static_cast<uint32_t>(scratch.vertices.size()));
        } else {
            delivery.ForgetVertexCount(meshBufferId);
        }
    }
    return result;
}

UnitySubsystemErrorCode SceneObserver::ReleaseMesh(const UnityXRMeshId*, const UnityXRMeshDescriptor*, void*)
{
    const SceneGuard::Hold hold(guard, "ReleaseMesh");
    if (!hold) {
        return kUnitySubsystemErrorCodeFailure;
    }
    return IsReadyWithProviders() ? kUnitySubsystemErrorCodeSuccess : kUnitySubsystemErrorCodeFailure;
}

UnitySubsystemErrorCode SceneObserver::GetUpdatedTransforms(UnityXRMeshTransformList* list)
{
    const SceneGuard::Hold hold(guard, "GetUpdatedTransforms");
    if (!hold) {
        return kUnitySubsystemErrorCodeFailure;
    }
    delivery.SetTransforms(list);
    return kUnitySubsystemErrorCodeSuccess;
}

void SceneObserver::CalculateMeshNormals(const std::vector<XrVector3f>& vertices, const std::vector<uint32_t>& indices,
                                         std::vector<XrVector3f>& normals)
{
    delivery.CalculateNormals(vertices, indices, normals);
}

// --- Scene planes ------------------------------------------------------------------------

bool SceneObserver::UpdatePlanes()
{
    const SceneGuard::Hold hold(guard, "UpdatePlanes");
    if (!hold) {
        return false;
    }
    // Between scenes the planes read earlier stay available.
    return IsReadyWithProviders() && cycle.State() == ComputeCycle::SceneReady && planes.Update();
}

bool SceneObserver::CountScenePlanes(uint32_t* count) const
{
    const SceneGuard::Hold hold(guard, "CountScenePlanes");
    if (!hold) {
        return false;
    }
    return IsReadyWithProviders() && planes.Count(count);
}

bool SceneObserver::FetchScenePlanes(uint32_t count, ScenePlane* records) const
{
    const SceneGuard::Hold hold(guard, "FetchScenePlanes");
    if (!hold) {
        return false;
    }
    return IsReadyWithProviders() && planes.Fetch(count, records);
}

bool SceneObserver::FetchPlaneVertices(const ScenePlane* plane, XrVector3f* vertices, uint32_t* indices) const
{
    const SceneGuard::Hold hold(guard, "FetchPlaneVertices");
    if (!hold) {
        return false;
    }
    return IsReadyWithProviders() && planes.FetchVertices(plane, vertices, indices);
}

void SceneObserver::SetPlanesFilterFlags(uint32_t flags)
{
    const SceneGuard::Hold hold(guard, "SetPlanesFilterFlags");
    if (!hold) {
        return;
    }
    planes.SetFilterFlags(flags);
}

void SceneObserver::GetPlanesFilters(std::vector<XrScenePlaneAlignmentTypeMSFT>& filters) const
{
    const SceneGuard::Hold hold(guard, "GetPlanesFilters");
    if (!hold) {
        return;
    }
    planes.GetFilters(filters);
}

} // namespace kelbrin
