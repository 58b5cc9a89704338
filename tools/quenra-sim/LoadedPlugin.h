// A built plug-in opened by file name with every export found, as the engine loads it, or an
// exception saying why not.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "PluginLibrary.h"

namespace quenra::sim {

// Looks exports up by name one after another, collecting the names the library lacks.
class ExportLookup {
public:
    explicit ExportLookup(const simengine::PluginLibrary& library) : library(library) {}

    template <typename Function> void operator()(const char* name, Function& function)
    {
        if (!library.Resolve(name, function)) {
            missing.emplace_back(name);
        }
    }
    const std::vector<std::string>& Missing() const { return missing; }

private:
    const simengine::PluginLibrary& library;
    std::vector<std::string> missing;
};

template <typename Exports> class LoadedPlugin {
public:
    // Looks every export up by name; returns the names the library lacks.
    using Resolver = std::vector<std::string> (*)(const simengine::PluginLibrary&, Exports&);

    // Throws std::runtime_error naming the library or the missing export.
    LoadedPlugin(const std::string& name, const std::string& path, Resolver resolve) : library(path)
    {
        if (!library.Loaded()) {
            throw std::runtime_error("cannot load " + path + ": " + library.Error());
        }
        const std::vector<std::string> missing = resolve(library, exports);
        if (!missing.empty()) {
            throw std::runtime_error(name + " exports no " + missing.front());
        }
    }

    const Exports& Functions() const { return exports; }

private:
    simengine::PluginLibrary library;
    Exports exports{};
};

} // namespace quenra::sim
