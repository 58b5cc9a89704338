// A loaded libKelbrin (its objects linked in) in front of the engine and runtime stand-ins.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "FakeMeshSubsystem.h"
#include "KelbrinModule.h"
#include "KelbrinPlugin.h"
#include "KelbrinWorld.h"
#include "ProviderContext.h"
#include "SceneObserver.h"
#include "XrBindings.h"

namespace kelbrin::test {

using Message = std::pair<int, std::string>;

class LoadedPlugin : public ::testing::Test, protected KelbrinWorld {
protected:
    LoadedPlugin();
    ~LoadedPlugin() override;

    // Load again after the engine's interfaces changed.
    void Reload();
    ProviderContext& Context() { return *GetProviderContext(); }
    SceneObserver& Observer() { return *Context().sceneObserver; }
    XrBindings& Bindings() { return *Context().xrBindings; }
    std::vector<Message> Messages() const;

    // Runs one compute to a current scene through the bindings' wrappers.
    void MakeCurrentScene();

    quenra::simengine::FakeMeshSubsystem meshes;
};

} // namespace kelbrin::test
