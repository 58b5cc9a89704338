// A loaded libKelbrin (its objects linked in) in front of the engine and runtime stand-ins.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "EngineRegistry.h"
#include "FakeMeshSubsystem.h"
#include "FrameLoop.h"
#include "KelbrinModule.h"
#include "KelbrinPlugin.h"
#include "ProviderContext.h"
#include "SceneObserver.h"
#include "SceneUnderstanding.h"
#include "SimRuntime.h"
#include "TraceRecorder.h"
#include "XrBindings.h"

namespace kelbrin::test {

using Message = std::pair<int, std::string>;

class LoadedPlugin : public ::testing::Test {
protected:
    LoadedPlugin();
    ~LoadedPlugin() override;

    // Load again after the engine's interfaces changed.
    void Reload();
    ProviderContext& Context() { return *GetProviderContext(); }
    SceneObserver& Observer() { return *Context().sceneObserver; }
    XrBindings& Bindings() { return *Context().xrBindings; }
    std::vector<Message> Messages() const;

    // What a script does once OpenXR objects exist: chain the lookup, pass instance, session and space.
    void ConnectOpenXr();
    // Runs one compute to a current scene through the bindings' wrappers.
    void MakeCurrentScene();

    quenra::sim::Runtime runtime;
    quenra::sim::FrameLoop frames{runtime};
    quenra::sim::SceneUnderstanding sceneUnderstanding{runtime};
    quenra::engine::TraceRecorder trace;
    quenra::engine::FakeMeshSubsystem meshes;
    quenra::engine::EngineRegistry registry;
    XrInstance instance = XR_NULL_HANDLE;
    XrSession session = XR_NULL_HANDLE;
    XrSpace space = XR_NULL_HANDLE;
};

} // namespace kelbrin::test
