// Engine XR trace interface: the one channel every plug-in logs through.
#pragma once

#include "UnityInterfaces.h"

enum UnityXRTraceLevel : int {
    kXRTraceLevelError = 0,
    kXRTraceLevelWarning = 2,
    kXRTraceLevelNotice = 5,
};

struct IUnityXRTrace : IUnityInterface {
    static constexpr uint64_t kIdentifierHigh = 0xc633a7c9398b4a95ULL;
    static constexpr uint64_t kIdentifierLow = 0xc225399ed5a2328fULL;

    // printf-style; the engine formats the message.
    void(UNITY_INTERFACE_API* Trace)(UnityXRTraceLevel level, const char* format, ...);
};
