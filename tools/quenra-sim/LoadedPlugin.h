// A built plug-in opened by file name with every export found, as the engine loads it, or an
// exception saying why not.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "PluginLibrary.h"

namespace quenra::simulator {

// Looks exports up by name one after another, collecting the names the library lacks.
class ExportLookup {
public:
    explicit ExportLookup(const engine::PluginLibrary& library) : library_(library) {}

    template <typename Function> void operator()(const char* name, Function& function)
    {
        if (!library_.Resolve(name, function)) {
            missing_.emplace_back(name);
        }
    }
    const std::vector<std::string>& Missing() const { return missing_; }

private:
    const engine::PluginLibrary& library_;
    std::vector<std::string> missing_;
};

template <typename Exports> class LoadedPlugin {
public:
    // Looks every export up by name; returns the names the library lacks.
    using Resolver = std::vector<std::string> (*)(const engine::PluginLibrary&, Exports&);

    // Throws std::runtime_error naming the library or the missing export.
    LoadedPlugin(const std::string& name, const std::string& path, Resolver resolve) : library_(path)
    {
        if (!library_.Loaded()) {
            throw std::runtime_error("cannot load " + path + ": " + library_.Error());
        }
        const std::vector<std::string> missing = resolve(library_, exports_);
        if (!missing.empty()) {
            throw std::runtime_error(name + " exports no " + missing.front());
        }
    }

    const Exports& Functions() const { return exports_; }

private:
    engine::PluginLibrary library_;
    Exports exports_{};
};

} // namespace quenra::simulator
