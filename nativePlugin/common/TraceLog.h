// Logging through the engine's trace interface, which may be missing: then nothing is logged.
// Shared by the plug-ins.
#pragma once

#include "UnityXRTrace.h"

template <typename... Args>
void TraceLog(IUnityXRTrace* trace, UnityXRTraceLevel level, const char* format, Args... args)
{
    if (trace != nullptr && trace->Trace != nullptr) {
        trace->Trace(level, format, args...);
    }
}
