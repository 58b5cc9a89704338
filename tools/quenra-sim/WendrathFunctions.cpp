#include "WendrathFunctions.h"

#include "LoadedPlugin.h"

namespace quenra::sim {

std::vector<std::string> ResolveWendrathFunctions(const simengine::PluginLibrary& library, WendrathFunctions& functions)
{
    ExportLookup resolve(library);
    resolve("UnityPluginLoad", functions.UnityPluginLoad);
    resolve("GetRenderEventFuncPtr", functions.GetRenderEventFuncPtr);
    resolve("LockMutex", functions.LockMutex);
    resolve("UnlockMutex", functions.UnlockMutex);
    return resolve.Missing();
}

} // namespace quenra::sim
