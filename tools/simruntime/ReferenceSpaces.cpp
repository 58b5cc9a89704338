#include "ReferenceSpaces.h"

#include <stdexcept>

namespace quenra::sim {
namespace {
ReferenceSpaces* current = nullptr;
} // namespace

ReferenceSpaces::ReferenceSpaces(Runtime& runtime) : runtime_(runtime)
{
    if (current != nullptr) {
        throw std::logic_error("only one ReferenceSpaces module may exist at a time");
    }
    PFN_xrVoidFunction function = runtime_.Function("xrCreateReferenceSpace");
    if (function == nullptr) {
        throw std::logic_error("the runtime has no xrCreateReferenceSpace to record");
    }
    next_ = reinterpret_cast<PFN_xrCreateReferenceSpace>(function);
    current = this;
    runtime_.AddFunction("xrCreateReferenceSpace",
                         reinterpret_cast<PFN_xrVoidFunction>(&ReferenceSpaces::CreateReferenceSpace));
}

ReferenceSpaces::~ReferenceSpaces()
{
    runtime_.AddFunction("xrCreateReferenceSpace", reinterpret_cast<PFN_xrVoidFunction>(next_));
    current = nullptr;
}

std::vector<XrReferenceSpaceCreateInfo> ReferenceSpaces::CreateInfos() const
{
    std::lock_guard<std::recursive_mutex> lock(runtime_.Mutex());
    return createInfos_;
}

XrResult XRAPI_CALL ReferenceSpaces::CreateReferenceSpace(XrSession session, const XrReferenceSpaceCreateInfo* info,
                                                          XrSpace* space)
{
    if (current == nullptr) {
        throw std::logic_error("no ReferenceSpaces module exists");
    }
    std::lock_guard<std::recursive_mutex> lock(current->runtime_.Mutex());
    if (info != nullptr) {
        current->createInfos_.push_back(*info);
    }
    return current->next_(session, info, space);
}

} // namespace quenra::sim
