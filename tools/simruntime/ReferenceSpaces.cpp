#include "ReferenceSpaces.h"

#include <stdexcept>

namespace quenra::simruntime {
namespace {
ReferenceSpaces* current = nullptr;
} // namespace

ReferenceSpaces::ReferenceSpaces(Runtime& runtime) : runtime(runtime)
{
    if (current != nullptr) {
        throw std::logic_error("only one ReferenceSpaces module may exist at a time");
    }
    PFN_xrVoidFunction function = runtime.Function("xrCreateReferenceSpace");
    if (function == nullptr) {
        throw std::logic_error("the runtime has no xrCreateReferenceSpace to record");
    }
    next = reinterpret_cast<PFN_xrCreateReferenceSpace>(function);
    current = this;
    runtime.AddFunction("xrCreateReferenceSpace",
                        reinterpret_cast<PFN_xrVoidFunction>(&ReferenceSpaces::CreateReferenceSpace));
}

ReferenceSpaces::~ReferenceSpaces()
{
    runtime.AddFunction("xrCreateReferenceSpace", reinterpret_cast<PFN_xrVoidFunction>(next));
    current = nullptr;
}

std::vector<XrReferenceSpaceCreateInfo> ReferenceSpaces::CreateInfos() const
{
    std::lock_guard<std::recursive_mutex> lock(runtime.Mutex());
    return createInfos;
}

XrResult XRAPI_CALL ReferenceSpaces::CreateReferenceSpace(XrSession session, const XrReferenceSpaceCreateInfo* info,
                                                          XrSpace* space)
{
    if (current == nullptr) {
        throw std::logic_error("no ReferenceSpaces module exists");
    }
    std::lock_guard<std::recursive_mutex> lock(current->runtime.Mutex());
    if (info != nullptr) {
        current->createInfos.push_back(*info);
    }
    return current->next(session, info, space);
}

} // namespace quenra::simruntime
