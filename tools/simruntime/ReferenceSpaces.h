// Records what the simulated runtime's xrCreateReferenceSpace is asked for, so tests can check
// the space type and pose each caller requests. The core runtime still creates the space.
#pragma once

#include <vector>

#include "Runtime.h"

namespace quenra::simruntime {

class ReferenceSpaces {
public:
    explicit ReferenceSpaces(Runtime& runtime);
    // Puts the core runtime's function back.
    ~ReferenceSpaces();
    ReferenceSpaces(const ReferenceSpaces&) = delete;
    ReferenceSpaces& operator=(const ReferenceSpaces&) = delete;

    // Copies of the create infos of every call, accepted or not, in call order (null infos are skipped).
    std::vector<XrReferenceSpaceCreateInfo> CreateInfos() const;

private:
    static XrResult XRAPI_CALL CreateReferenceSpace(XrSession session, const XrReferenceSpaceCreateInfo* info,
                                                    XrSpace* space);

    Runtime& runtime;
    PFN_xrCreateReferenceSpace next = nullptr;
    std::vector<XrReferenceSpaceCreateInfo> createInfos;
};

} // namespace quenra::simruntime
