// The native side of the script-binding tests: the engine and the application around the plug-ins
// (the application harness's), the OpenXR runtime (the simulated runtime library, opened by
// HostRuntime) and the recording EGL/GL ES, behind a C API the tests reach through P/Invoke; the
// native sizes and offsets of the records the bindings declare and the exports of each plug-in's
// export table. No plug-in or runtime code is linked in: the tests load the built plug-ins themselves.
#include <dlfcn.h>
#include <openxr/openxr.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <stdexcept>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "Application.h"
#include "Engine.h"
#include "HostRuntime.h"
#include "KelbrinExportTable.h"
#include "RecordingGl.h"
#include "RenderHwBuffersEventArgs.h"
#include "Runtime.h"
#include "ScenePlane.h"
#include "SkelderExportTable.h"
#include "UnityGraphics.h"
#include "WendrathExportTable.h"

namespace {

using quenra::harness::Application;
using quenra::simruntime::HandleValue;
using quenra::test::HostRuntime;
using quenra::test::ReceivedLayer;
using wendrath::RenderHwBuffersEventArgs;

struct HostWorld {
    explicit HostWorld(UnityGfxRenderer renderer) : engine(renderer) { engine.meshes.SetClearedMeshInfos(true); }

    quenra::harness::Engine engine;
    quenra::simgl::RecordingGl gl;
    HostRuntime runtime;
    // The application, started from the lookup its instance was made through; torn down before
    // the runtime goes.
    std::unique_ptr<quenra::harness::Application> application;
    // Between the plug-ins and the loader (RecordingLookup): the foveation the plug-ins applied.
    PFN_xrGetInstanceProcAddr recordedNext = nullptr;
    PFN_xrCreateFoveationProfileFB createProfile = nullptr;
    PFN_xrUpdateSwapchainFB updateSwapchain = nullptr;
    std::map<uint64_t, XrFoveationLevelFB> profileLevels;
    std::vector<XrFoveationLevelFB> appliedLevels;
};

std::unique_ptr<HostWorld>& World()
{
    static std::unique_ptr<HostWorld> world;
    return world;
}

// The library's own EGL and GL ES entry points (the recording stand-in) must be the ones a
// plug-in loaded later binds to, ahead of the platform libraries it names: put this library
// in the global symbol scope. The handle is kept: the library stays loaded with the process.
void ExposeGlStandIn()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&ExposeGlStandIn), &info) != 0) {
        dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_GLOBAL);
    }
}

XRAPI_ATTR XrResult XRAPI_CALL RecordCreateFoveationProfile(XrSession session, const XrFoveationProfileCreateInfoFB* info,
                                                            XrFoveationProfileFB* profile)
{
    HostWorld& world = *World();
    const XrResult result = world.createProfile(session, info, profile);
    for (auto* next = static_cast<const XrBaseInStructure*>(info->next); next != nullptr; next = next->next) {
        if (result == XR_SUCCESS && next->type == XR_TYPE_FOVEATION_LEVEL_PROFILE_CREATE_INFO_FB) {
            world.profileLevels[(uint64_t)(*profile)] =
                reinterpret_cast<const XrFoveationLevelProfileCreateInfoFB*>(next)->level;
        }
    }
    return result;
}

XRAPI_ATTR XrResult XRAPI_CALL RecordUpdateSwapchain(XrSwapchain swapchain, const XrSwapchainStateBaseHeaderFB* state)
{
    HostWorld& world = *World();
    const XrResult result = world.updateSwapchain(swapchain, state);
    if (result == XR_SUCCESS && state->type == XR_TYPE_SWAPCHAIN_STATE_FOVEATION_FB) {
        const auto* foveation = reinterpret_cast<const XrSwapchainStateFoveationFB*>(state);
        world.appliedLevels.push_back(world.profileLevels[(uint64_t)(foveation->profile)]);
    }
    return result;
}

// The lookup RecordingLookup hands out: the next one's functions, the foveation ones recorded.
XRAPI_ATTR XrResult XRAPI_CALL RecordingGetInstanceProcAddr(XrInstance instance, const char* name,
                                                            PFN_xrVoidFunction* function)
{
    HostWorld& world = *World();
    const XrResult result = world.recordedNext(instance, name, function);
    if (result != XR_SUCCESS || *function == nullptr) {
        return result;
    }
    if (std::strcmp(name, "xrCreateFoveationProfileFB") == 0) {
        world.createProfile = reinterpret_cast<PFN_xrCreateFoveationProfileFB>(*function);
        *function = reinterpret_cast<PFN_xrVoidFunction>(&RecordCreateFoveationProfile);
    } else if (std::strcmp(name, "xrUpdateSwapchainFB") == 0) {
        world.updateSwapchain = reinterpret_cast<PFN_xrUpdateSwapchainFB>(*function);
        *function = reinterpret_cast<PFN_xrVoidFunction>(&RecordUpdateSwapchain);
    }
    return result;
}

#define RECORD_FIELD(record, field)                                                                                    \
    std::make_pair(std::make_pair(std::string(#record), std::string(#field)), offsetof(record, field))
const std::map<std::pair<std::string, std::string>, size_t>& Offsets()
{
    static const std::map<std::pair<std::string, std::string>, size_t> offsets{
        RECORD_FIELD(ScenePlane, id),
        RECORD_FIELD(ScenePlane, alignment),
        RECORD_FIELD(ScenePlane, size),
        RECORD_FIELD(ScenePlane, locationFlags),
        RECORD_FIELD(ScenePlane, pose),
        RECORD_FIELD(ScenePlane, vertexCount),
        RECORD_FIELD(ScenePlane, indexCount),
        RECORD_FIELD(UnityXRMeshId, idPart[0]),
        RECORD_FIELD(UnityXRMeshId, idPart[1]),
        RECORD_FIELD(RenderHwBuffersEventArgs, bufferCount),
        RECORD_FIELD(RenderHwBuffersEventArgs, width),
        RECORD_FIELD(RenderHwBuffersEventArgs, height),
        RECORD_FIELD(RenderHwBuffersEventArgs, hardwareBuffers),
        RECORD_FIELD(RenderHwBuffersEventArgs, targetTextures),
        RECORD_FIELD(XrVector3f, x),
        RECORD_FIELD(XrVector3f, y),
        RECORD_FIELD(XrVector3f, z),
        RECORD_FIELD(XrQuaternionf, x),
        RECORD_FIELD(XrQuaternionf, y),
        RECORD_FIELD(XrQuaternionf, z),
        RECORD_FIELD(XrQuaternionf, w),
        RECORD_FIELD(XrPosef, orientation),
        RECORD_FIELD(XrPosef, position),
        RECORD_FIELD(XrExtent2Df, width),
        RECORD_FIELD(XrExtent2Df, height),
        RECORD_FIELD(XrFrameState, type),
        RECORD_FIELD(XrFrameState, next),
        RECORD_FIELD(XrFrameState, predictedDisplayTime),
        RECORD_FIELD(XrFrameState, predictedDisplayPeriod),
        RECORD_FIELD(XrFrameState, shouldRender),
    };
    return offsets;
}
#undef RECORD_FIELD

// Each plug-in's exports as its export table names them, by the binding class that declares them.
const std::map<std::string, std::vector<std::string>>& ExportNames()
{
    namespace harness = quenra::harness;
    static const std::map<std::string, std::vector<std::string>> names{
        {"Kelbrin", harness::ExportNames<harness::KelbrinExportTable>()},
        {"Skelder", harness::ExportNames<harness::SkelderExportTable>()},
        {"Wendrath", harness::ExportNames<harness::WendrathExportTable>()},
    };
    return names;
}

#define RECORD_SIZE(record) std::make_pair(std::string(#record), sizeof(record))
const std::map<std::string, size_t>& Sizes()
{
    static const std::map<std::string, size_t> sizes{
        RECORD_SIZE(ScenePlane),  RECORD_SIZE(UnityXRMeshId), RECORD_SIZE(RenderHwBuffersEventArgs),
        RECORD_SIZE(XrVector3f),  RECORD_SIZE(XrQuaternionf), RECORD_SIZE(XrPosef),
        RECORD_SIZE(XrExtent2Df), RECORD_SIZE(XrFrameState),
    };
    return sizes;
}
#undef RECORD_SIZE

std::vector<std::string> Words(const std::string& text)
{
    std::vector<std::string> words;
    std::istringstream stream(text);
    for (std::string word; stream >> word;) {
        words.push_back(word);
    }
    return words;
}

// Runs body here, or on a thread of its own when asked (as the engine's frame and render threads do).
template <typename Body> void Run(bool onOtherThread, Body body)
{
    if (onOtherThread) {
        std::thread thread(body);
        thread.join();
    } else {
        body();
    }
}

} // namespace

extern "C" {

// --- World ---------------------------------------------------------------------------------
// A fresh world: engine registry (trace, meshing, graphics with this renderer), a fresh runtime
// in the runtime library, GL.
void TestHost_Create(int32_t renderer)
{
    ExposeGlStandIn();
    World().reset();
    World() = std::make_unique<HostWorld>(static_cast<UnityGfxRenderer>(renderer));
}

void TestHost_Destroy()
{
    World().reset();
}

IUnityInterfaces* TestHost_Interfaces()
{
    return World()->engine.registry.Interfaces();
}

void TestHost_FireDeviceEvent(int32_t type)
{
    World()->engine.graphics.FireDeviceEvent(static_cast<UnityGfxDeviceEventType>(type));
}

uint32_t TestHost_TraceCount(const char* text)
{
    return static_cast<uint32_t>(World()->engine.trace.Count(text));
}

// --- Records -------------------------------------------------------------------------------
// -1 for a record or field the host does not know.
int64_t TestHost_SizeOf(const char* record)
{
    const auto found = Sizes().find(record);
    return found != Sizes().end() ? static_cast<int64_t>(found->second) : -1;
}

int64_t TestHost_OffsetOf(const char* record, const char* field)
{
    const auto found = Offsets().find({record, field});
    return found != Offsets().end() ? static_cast<int64_t>(found->second) : -1;
}

// The plug-in's export of that index (see ExportNames); null past the end or for an unknown plug-in.
const char* TestHost_ExportName(const char* plugin, uint32_t index)
{
    const auto found = ExportNames().find(plugin);
    return found != ExportNames().end() && index < found->second.size() ? found->second[index].c_str() : nullptr;
}

// --- Runtime -------------------------------------------------------------------------------
PFN_xrGetInstanceProcAddr TestHost_RuntimeLookup()
{
    return World()->runtime.Lookup();
}

// `next` behind a lookup that records the foveation applied through it.
PFN_xrGetInstanceProcAddr TestHost_RecordingLookup(PFN_xrGetInstanceProcAddr next)
{
    World()->recordedNext = next;
    return &RecordingGetInstanceProcAddr;
}

// The levels of the foveation profiles applied to swapchains, in order; their count.
uint32_t TestHost_AppliedFoveationLevels(int32_t* levels, uint32_t capacity)
{
    const std::vector<XrFoveationLevelFB>& applied = World()->appliedLevels;
    std::copy_n(applied.begin(), std::min<size_t>(capacity, applied.size()), levels);
    return static_cast<uint32_t>(applied.size());
}

// --- The application, through the lookup it was handed ----------------------------------------
// Starts the application from `lookup` (the runtime's, or the chain the plug-ins built in front
// of it) with an instance of these extensions (separated by spaces); its handle, 0 on failure.
uint64_t TestHost_MakeInstance(PFN_xrGetInstanceProcAddr lookup, const char* extensions)
{
    auto& application = World()->application;
    application = std::make_unique<Application>(lookup, quenra::harness::OnFailure::Count);
    application->CreateInstance({}, Words(extensions));
    return HandleValue(application->instance);
}

uint64_t TestHost_MakeSession()
{
    Application& application = *World()->application;
    application.CreateSession(std::nullopt);
    return HandleValue(application.session);
}

uint64_t TestHost_MakeSpace()
{
    Application& application = *World()->application;
    application.CreateReferenceSpace();
    return HandleValue(application.space);
}

// Destroys the session with its swapchains and space, or then the instance; the first failure.
int32_t TestHost_DestroySession()
{
    return World()->application->DestroySession();
}

int32_t TestHost_DestroyInstance()
{
    return World()->application->Teardown();
}

uint32_t TestHost_LiveHandleCount(const char* kind)
{
    return static_cast<uint32_t>(World()->runtime.LiveCount(kind));
}

int64_t TestHost_LastPredictedDisplayTime()
{
    return World()->runtime.LastPredictedDisplayTime();
}

void TestHost_AddMesh(const uint8_t* id, float x, float y, float z, float size)
{
    XrUuidMSFT uuid{};
    std::memcpy(uuid.bytes, id, sizeof(uuid.bytes));
    World()->runtime.AddMesh(uuid, {x, y, z}, size);
}

// poseAndSize: orientation x, y, z, w, position x, y, z, width, height.
void TestHost_AddPlane(const uint8_t* id, int32_t alignment, const float* poseAndSize, uint64_t locationFlags,
                       const float* vertices, uint32_t vertexCount, const uint32_t* indices, uint32_t indexCount)
{
    XrUuidMSFT uuid{};
    std::memcpy(uuid.bytes, id, sizeof(uuid.bytes));
    const float* p = poseAndSize;
    const XrPosef pose{{p[0], p[1], p[2], p[3]}, {p[4], p[5], p[6]}};
    std::vector<XrVector3f> points;
    for (uint32_t i = 0; i < vertexCount; ++i) {
        points.push_back({vertices[3 * i], vertices[3 * i + 1], vertices[3 * i + 2]});
    }
    World()->runtime.AddPlane(uuid, static_cast<XrScenePlaneAlignmentTypeMSFT>(alignment), pose, {p[7], p[8]},
                              locationFlags, std::move(points), std::vector<uint32_t>(indices, indices + indexCount));
}

// --- Frames -------------------------------------------------------------------------------
int32_t TestHost_WaitFrame(uint8_t onOtherThread)
{
    XrResult result = XR_ERROR_RUNTIME_FAILURE;
    Run(onOtherThread != 0, [&] {
        Application& application = *World()->application;
        const XrFrameWaitInfo info{XR_TYPE_FRAME_WAIT_INFO};
        XrFrameState state{XR_TYPE_FRAME_STATE};
        result = application.Call<PFN_xrWaitFrame>("xrWaitFrame", application.session, &info, &state);
    });
    return result;
}

int32_t TestHost_BeginFrame()
{
    Application& application = *World()->application;
    const XrFrameBeginInfo info{XR_TYPE_FRAME_BEGIN_INFO};
    return application.Call<PFN_xrBeginFrame>("xrBeginFrame", application.session, &info);
}

// Ends the frame with no application layers.
int32_t TestHost_EndFrame()
{
    XrFrameState state{XR_TYPE_FRAME_STATE};
    state.predictedDisplayTime = World()->runtime.LastPredictedDisplayTime();
    return World()->application->TryEndFrame(state, {});
}

// An application swapchain (64 x 64, the runtime's first format) created on a thread of its own;
// its handle, 0 if creation failed.
uint64_t TestHost_CreateSwapchain()
{
    XrSwapchain swapchain = XR_NULL_HANDLE;
    Run(true, [&] {
        Application& application = *World()->application;
        try {
            swapchain = application.CreateSwapchain(64, 64, application.FirstSwapchainFormat(), 1);
        } catch (const std::runtime_error&) {
            // No format offered: no swapchain, which the test reports.
        }
    });
    return HandleValue(swapchain);
}

uint32_t TestHost_ReceivedLayerCount()
{
    return static_cast<uint32_t>(World()->runtime.LastFrameLayers().size());
}

// The layer's structure type; its values (see ReceivedLayer) go to values, at most capacity.
int32_t TestHost_ReceivedLayer(uint32_t index, float* values, uint32_t capacity)
{
    const std::vector<ReceivedLayer> layers = World()->runtime.LastFrameLayers();
    if (index >= layers.size()) {
        return 0;
    }
    const ReceivedLayer& layer = layers[index];
    std::memcpy(values, layer.values.data(), std::min<size_t>(capacity, layer.values.size()) * sizeof(float));
    return layer.type;
}

// --- Meshing subsystem, run as the engine runs it ------------------------------------------
// The lifecycle registrations the plug-ins made: their count, and the plugin name or id (field
// 0 or 1) of one; null past the end.
uint32_t TestHost_LifecycleRegistrationCount()
{
    return static_cast<uint32_t>(World()->engine.meshes.LifecycleRegistrations().size());
}

const char* TestHost_LifecycleRegistration(uint32_t index, int32_t field)
{
    const auto& registrations = World()->engine.meshes.LifecycleRegistrations();
    if (index >= registrations.size()) {
        return nullptr;
    }
    return field == 0 ? registrations[index].pluginName.c_str() : registrations[index].id.c_str();
}

// Creates the subsystem from the registration of that provider and id, as the engine does for a
// descriptor of its manifest: false when none was registered or its initialization failed.
uint8_t TestHost_CreateMeshSubsystem(const char* pluginName, const char* id)
{
    auto& meshes = World()->engine.meshes;
    const auto& registrations = meshes.LifecycleRegistrations();
    // The stand-in runs the last registration: the one asked for must be it.
    if (registrations.empty() || registrations.back().pluginName != pluginName || registrations.back().id != id) {
        return 0;
    }
    return meshes.Initialize() == kUnitySubsystemErrorCodeSuccess ? 1 : 0;
}

uint8_t TestHost_StartMeshSubsystem()
{
    return World()->engine.meshes.Start() == kUnitySubsystemErrorCodeSuccess ? 1 : 0;
}

void TestHost_StopMeshSubsystem()
{
    World()->engine.meshes.Stop();
}

void TestHost_DestroyMeshSubsystem()
{
    World()->engine.meshes.Shutdown();
}

// One engine update of the meshing subsystem: lists the meshes (their count in listed, 0 when
// the provider failed) and acquires and releases each updated one; the meshes acquired whole.
uint32_t TestHost_UpdateMeshes(uint32_t* listed)
{
    quenra::harness::Engine::MeshTally tally;
    World()->engine.UpdateMeshes(tally, quenra::harness::Engine::Acquire::Updated, false);
    *listed = static_cast<uint32_t>(tally.meshesListed);
    return static_cast<uint32_t>(tally.meshesAcquired);
}

// --- Render thread -------------------------------------------------------------------------
void TestHost_RunRenderEvent(UnityRenderingEventAndData function, int32_t eventId, void* data)
{
    Run(true, [&] { function(eventId, data); });
}

// Recorded GL and EGL calls whose text contains text ("glDrawElements(", "glViewport(0, 0, 64, 48)").
uint32_t TestHost_GlCallCount(const char* text)
{
    uint32_t count = 0;
    for (const std::string& call : World()->gl.Calls()) {
        count += call.find(text) != std::string::npos ? 1 : 0;
    }
    return count;
}

uint32_t TestHost_GlMisuseCount()
{
    return static_cast<uint32_t>(World()->gl.Misuses().size());
}

} // extern "C"
