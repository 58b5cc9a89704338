#include "LoadedPlugin.h"

namespace kelbrin::test {

LoadedPlugin::LoadedPlugin()
{
    Load(meshes.Interface());
}

LoadedPlugin::~LoadedPlugin()
{
    Unload();
}

void LoadedPlugin::Reload()
{
    Unload();
    trace.Clear();
    Load(meshes.Interface());
}

std::vector<Message> LoadedPlugin::Messages() const
{
    std::vector<Message> messages;
    for (const auto& message : trace.Messages()) {
        messages.emplace_back(message.level, message.text);
    }
    return messages;
}

void LoadedPlugin::MakeCurrentScene()
{
    XrSceneObserverCreateInfoMSFT observerInfo{XR_TYPE_SCENE_OBSERVER_CREATE_INFO_MSFT};
    ASSERT_EQ(Bindings().CreateXrSceneObserver(&observerInfo), XR_SUCCESS);
    const XrSceneComputeFeatureMSFT feature = XR_SCENE_COMPUTE_FEATURE_VISUAL_MESH_MSFT;
    XrNewSceneComputeInfoMSFT compute{XR_TYPE_NEW_SCENE_COMPUTE_INFO_MSFT};
    compute.requestedFeatureCount = 1;
    compute.requestedFeatures = &feature;
    compute.consistency = XR_SCENE_COMPUTE_CONSISTENCY_SNAPSHOT_COMPLETE_MSFT;
    compute.bounds.space = Bindings().GetSpace();
    ASSERT_EQ(Bindings().ComputeNewScene(&compute), XR_SUCCESS);
    XrSceneComputeStateMSFT state{};
    ASSERT_EQ(Bindings().GetSceneComputeState(&state), XR_SUCCESS);
    ASSERT_EQ(state, XR_SCENE_COMPUTE_STATE_COMPLETED_MSFT);
    XrSceneCreateInfoMSFT sceneInfo{XR_TYPE_SCENE_CREATE_INFO_MSFT};
    ASSERT_EQ(Bindings().CreateSceneAsCurrent(&sceneInfo), XR_SUCCESS);
}

} // namespace kelbrin::test
