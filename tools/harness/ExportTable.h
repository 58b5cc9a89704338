// How a plug-in's export table is declared: one member per exported function, typed from the
// plug-in's own declaration (so a changed signature fails to compile here, not to run), found
// by name in the built library as the engine finds it.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "PluginLibrary.h"

// One member per name of a list macro: `LIST(QUENRA_EXPORT_MEMBER)`.
#define QUENRA_EXPORT_MEMBER(name) decltype(&::name) name = nullptr;
// Inside ForEach: hands each member with its name to `visit`.
#define QUENRA_EXPORT_VISIT(name) visit(#name, name);
// Inside Linked: the functions of objects linked into this program.
#define QUENRA_EXPORT_LINK(name) table.name = &::name;

namespace quenra::harness {

// Looks every export of `table` up by name; returns the names the library lacks, in table order.
template <typename Table> std::vector<std::string> ResolveExports(const simengine::PluginLibrary& library, Table& table)
{
    std::vector<std::string> missing;
    table.ForEach([&](const char* name, auto& function) {
        if (!library.Resolve(name, function)) {
            missing.emplace_back(name);
        }
    });
    return missing;
}

// The exported names, in table order.
template <typename Table> std::vector<std::string> ExportNames()
{
    Table table;
    std::vector<std::string> names;
    table.ForEach([&](const char* name, auto&) { names.emplace_back(name); });
    return names;
}

// A built plug-in opened by file name with every export found, as the engine loads it; kept open
// for the object's life.
template <typename Table> class OpenedPlugin {
public:
    // Throws std::runtime_error naming the library or the first missing export.
    OpenedPlugin(const std::string& name, const std::string& path) : library(path)
    {
        if (!library.Loaded()) {
            throw std::runtime_error("cannot load " + path + ": " + library.Error());
        }
        const std::vector<std::string> missing = ResolveExports(library, exports);
        if (!missing.empty()) {
            throw std::runtime_error(name + " exports no " + missing.front());
        }
    }

    const Table& Exports() const { return exports; }

private:
    simengine::PluginLibrary library;
    Table exports;
};

} // namespace quenra::harness
