// The functions libWendrath exports, as the engine and engine scripts reach them by name.
#pragma once

#include <string>
#include <vector>

#include "PluginLibrary.h"
#include "UnityInterfaces.h"

namespace quenra::sim {

using RenderEventFunction = void (*)(int, void*);

struct WendrathFunctions {
    void (*UnityPluginLoad)(IUnityInterfaces*);
    RenderEventFunction (*GetRenderEventFuncPtr)();
    void (*LockMutex)();
    void (*UnlockMutex)();
};

std::vector<std::string> ResolveWendrathFunctions(const simengine::PluginLibrary& library,
                                                  WendrathFunctions& functions);

} // namespace quenra::sim
