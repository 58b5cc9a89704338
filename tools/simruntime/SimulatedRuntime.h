// The whole simulated runtime, every module on one Runtime: what the runtime library serves
// to the OpenXR loader, and what a test or the simulator may also build in its own process.
// Its members are reached the same way in both cases, so a test configures the runtime
// (scene, failures, what is offered) and inspects it (calls, live handles) without caring
// whether the loader stands in between.
#pragma once

#include <openxr/openxr.h>

#include <cstdint>

#include "Foveation.h"
#include "FrameLoop.h"
#include "InstanceProperties.h"
#include "Passthrough.h"
#include "ReferenceSpaces.h"
#include "Runtime.h"
#include "SceneUnderstanding.h"
#include "Swapchains.h"

namespace quenra::simruntime {

class SimulatedRuntime {
public:
    // Offers every extension the modules implement and both the opaque and the alpha-blend
    // environment modes (so passthrough is available).
    SimulatedRuntime();
    SimulatedRuntime(const SimulatedRuntime&) = delete;
    SimulatedRuntime& operator=(const SimulatedRuntime&) = delete;

    // In order of construction: later modules wrap functions of earlier ones.
    Runtime runtime;
    FrameLoop frameLoop{runtime};
    Swapchains swapchains{runtime, frameLoop};
    Foveation foveation{runtime};
    Passthrough passthrough{runtime};
    ReferenceSpaces spaces{runtime};
    SceneUnderstanding scene{runtime};
    InstanceProperties properties{runtime};
};

// The runtime library's one export besides the negotiation, found by name. A program with the
// runtime linked in may call any member of the result; one without (the script-binding test host)
// has only the members its headers define inline: live handles and their kind names, the scene,
// the frame observer and the last predicted display time.
inline constexpr const char* kRuntimeControlName = "quenraSimRuntimeControl";
enum class RuntimeControlRequest : uint32_t {
    // The library's runtime, made if there is none.
    Get = 0,
    // A fresh runtime in place of the current one; pointers to the old one dangle.
    Reset = 1,
    // The runtime is destroyed; the result is null.
    Release = 2,
};
using PFN_quenraSimRuntimeControl = SimulatedRuntime* (*)(RuntimeControlRequest request);

} // namespace quenra::simruntime
