// Every function libWendrath exports, as the engine and engine scripts reach them by name.
#pragma once

#include "ExportTable.h"
#include "WendrathPlugin.h"

#define QUENRA_WENDRATH_EXPORTS(X) X(UnityPluginLoad) X(GetRenderEventFuncPtr) X(LockMutex) X(UnlockMutex)

namespace quenra::harness {

struct WendrathExportTable {
    QUENRA_WENDRATH_EXPORTS(QUENRA_EXPORT_MEMBER)

    template <typename Visit> void ForEach(Visit&& visit) { QUENRA_WENDRATH_EXPORTS(QUENRA_EXPORT_VISIT) }
};

} // namespace quenra::harness
