// A built plug-in opened by path and its exports found by name, as the engine loads it.
#pragma once

#include <string>

namespace quenra::simengine {

class PluginLibrary {
public:
    // Never throws for a library that cannot be opened: Loaded() and Error() tell.
    explicit PluginLibrary(const std::string& path);
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    bool Loaded() const { return handle != nullptr; }
    // The loader's reason when the library did not open; empty when it did.
    const std::string& Error() const { return error; }

    // Sets function to the export of that name, or to null when there is none.
    template <typename Function> bool Resolve(const char* name, Function& function) const
    {
        function = reinterpret_cast<Function>(Symbol(name));
        return function != nullptr;
    }

private:
    void* Symbol(const char* name) const;

    void* handle;
    std::string error;
};

} // namespace quenra::simengine
