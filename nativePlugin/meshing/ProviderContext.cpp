#include "ProviderContext.h"

ProviderContext::ProviderContext(IUnityXRTrace* trace, IUnityXRMeshInterface* meshInterface)
    : trace(trace), meshInterface(meshInterface), xrBindings(std::make_unique<XrBindings>()),
      sceneObserver(std::make_unique<SceneObserver>(*xrBindings, trace, meshInterface))
{
}
