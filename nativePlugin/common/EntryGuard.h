// No exception may unwind into the engine, a script or the OpenXR chain. Each plug-in wraps its
// entry points' bodies in GuardedCall and says how it reports an escaped exception: `report` gets
// the exception, or null for one that is not a std::exception, and must not throw.
#pragma once

#include <exception>
#include <type_traits>

// What an escaped exception says of itself; one that is no std::exception says nothing.
inline const char* ExceptionReason(const std::exception* error) noexcept
{
    return error != nullptr ? error->what() : "unknown exception";
}

// Runs body; an exception becomes a report and `failure`.
template <typename Report, typename Result, typename Body>
Result GuardedCall(Report&& report, Result failure, Body&& body) noexcept
{
    try {
        return body();
    } catch (const std::exception& error) {
        report(&error);
    } catch (...) {
        report(nullptr);
    }
    return failure;
}

// The same for a body whose failure value is its zero value (nothing, false, 0, null).
template <typename Report, typename Body> auto GuardedCall(Report&& report, Body&& body) noexcept -> decltype(body())
{
    using Result = decltype(body());
    if constexpr (std::is_void_v<Result>) {
        GuardedCall(report, true, [&] {
            body();
            return true;
        });
    } else {
        return GuardedCall(report, Result(), body);
    }
}
