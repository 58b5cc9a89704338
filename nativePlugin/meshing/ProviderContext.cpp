#include "ProviderContext.h"

#include "SceneObserver.h"
#include "XrBindings.h"

ProviderContext::ProviderContext()
{
    sceneObserver = std::make_unique<SceneObserver>();
    xrBindings = std::make_unique<XrBindings>();
}

ProviderContext::~ProviderContext()
{
    sceneObserver.reset();
    xrBindings.reset();
}
