// The POSIX loader seam: dlopen serves every Linux and Android host.
#include "PluginLibrary.h"

#include <dlfcn.h>

namespace quenra::simengine {

PluginLibrary::PluginLibrary(const std::string& path) : handle(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL))
{
    if (handle == nullptr) {
        const char* reason = dlerror();
        error = reason != nullptr ? reason : "unknown reason";
    }
}

PluginLibrary::~PluginLibrary()
{
    if (handle != nullptr) {
        dlclose(handle);
    }
}

void* PluginLibrary::Symbol(const char* name) const
{
    // A null handle would make dlsym search the whole process rather than fail.
    return handle != nullptr ? dlsym(handle, name) : nullptr;
}

} // namespace quenra::simengine
