#include "LayerTestWorld.h"

namespace Skelder::test {

LayerTestWorld::LayerTestWorld() : instance(runtime.MakeInstance()), session(runtime.MakeSession(instance))
{
    LookedUpNames().clear();
}

XrResult XRAPI_CALL LayerTestWorld::RecordingLookup(XrInstance instance, const char* name, PFN_xrVoidFunction* function)
{
    LookedUpNames().push_back(name);
    return quenra::simruntime::Runtime::GetInstanceProcAddr(instance, name, function);
}

std::vector<std::string>& LayerTestWorld::LookedUpNames()
{
    static std::vector<std::string> names;
    return names;
}

std::vector<uint64_t> LayerTestWorld::HandlesOf(const std::string& function) const
{
    std::vector<uint64_t> handles;
    for (const quenra::simruntime::RecordedCall& call : runtime.Calls(function)) {
        handles.push_back(call.handles.empty() ? 0 : call.handles.front());
    }
    return handles;
}

std::vector<XrCompositionLayerBaseHeader*> VisibleXrLayers(const CompositionLayerProvider& provider)
{
    std::vector<XrCompositionLayerBaseHeader*> visible;
    provider.GetVisibleXrLayers(visible);
    return visible;
}

std::vector<int32_t> VisibleLayerIds(const CompositionLayerProvider& provider)
{
    std::vector<int32_t> ids;
    for (XrCompositionLayerBaseHeader* header : VisibleXrLayers(provider)) {
        for (int32_t id = 1; id <= 16; ++id) {
            CompositionLayerBase* layer = provider.FindLayer(id);
            if (layer != nullptr && layer->GetXrLayer() == header) {
                ids.push_back(id);
            }
        }
    }
    return ids;
}

} // namespace Skelder::test
