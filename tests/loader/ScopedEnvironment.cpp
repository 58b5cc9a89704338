#include "ScopedEnvironment.h"

#include <algorithm>
#include <cstdlib>

namespace quenra::test {

ScopedEnvironment::~ScopedEnvironment()
{
    for (auto it = saved.rbegin(); it != saved.rend(); ++it) {
        if (it->second) {
            setenv(it->first.c_str(), it->second->c_str(), 1);
        } else {
            unsetenv(it->first.c_str());
        }
    }
}

void ScopedEnvironment::Set(const std::string& name, const std::string& value)
{
    const bool known = std::any_of(saved.begin(), saved.end(), [&](const auto& entry) { return entry.first == name; });
    if (!known) {
        const char* before = std::getenv(name.c_str());
        saved.emplace_back(name, before != nullptr ? std::optional<std::string>(before) : std::nullopt);
    }
    setenv(name.c_str(), value.c_str(), 1);
}

} // namespace quenra::test
