// libKelbrin opened by file name with every export found, or an exception saying why not.
#pragma once

#include <string>

#include "KelbrinExports.h"
#include "PluginLibrary.h"

namespace quenra::simulator {

class KelbrinLibrary {
public:
    // Throws std::runtime_error naming the library or the missing export.
    explicit KelbrinLibrary(const std::string& path);

    const KelbrinExports& Exports() const { return exports_; }

private:
    engine::PluginLibrary library_;
    KelbrinExports exports_{};
};

} // namespace quenra::simulator
