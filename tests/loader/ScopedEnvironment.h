// Environment variables set for one test and put back as they were when it ends.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quenra::test {

class ScopedEnvironment {
public:
    ScopedEnvironment() = default;
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

    void Set(const std::string& name, const std::string& value);

private:
    // Each name with the value it had before the first Set, if any.
    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
};

} // namespace quenra::test
