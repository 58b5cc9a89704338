#include "KelbrinLibrary.h"

#include <stdexcept>

namespace quenra::simulator {

KelbrinLibrary::KelbrinLibrary(const std::string& path) : library_(path)
{
    if (!library_.Loaded()) {
        throw std::runtime_error("cannot load " + path + ": " + library_.Error());
    }
    const std::vector<std::string> missing = ResolveKelbrinExports(library_, exports_);
    if (!missing.empty()) {
        throw std::runtime_error("libKelbrin exports no " + missing.front());
    }
}

} // namespace quenra::simulator
