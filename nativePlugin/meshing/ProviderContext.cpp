#include "ProviderContext.h"

namespace kelbrin {

ProviderContext::ProviderContext(IUnityXRTrace* trace, IUnityXRMeshInterface* meshInterface, ChainedFunctions& chain)
    : trace(trace), meshInterface(meshInterface), xrBindings(std::make_unique<XrBindings>(chain)),
      sceneObserver(std::make_unique<SceneObserver>(*xrBindings, trace, meshInterface))
{
}

} // namespace kelbrin
