#pragma once

#include "UnityXRTrace.h"

namespace wendrath {

// Every message goes to the engine's trace; without one, nothing is logged.
template <typename... Args> void Log(IUnityXRTrace* trace, UnityXRTraceLevel level, const char* format, Args... args)
{
    if (trace != nullptr) {
        trace->Trace(level, format, args...);
    }
}

} // namespace wendrath
