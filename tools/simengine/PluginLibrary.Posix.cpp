// The POSIX loader seam: dlopen serves every Linux and Android host.
#include "PluginLibrary.h"

#include <dlfcn.h>

namespace quenra::engine {

PluginLibrary::PluginLibrary(const std::string& path) : handle_(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL))
{
    if (handle_ == nullptr) {
        const char* reason = dlerror();
        error_ = reason != nullptr ? reason : "unknown reason";
    }
}

PluginLibrary::~PluginLibrary()
{
    if (handle_ != nullptr) {
        dlclose(handle_);
    }
}

void* PluginLibrary::Symbol(const char* name) const
{
    // A null handle would make dlsym search the whole process rather than fail.
    return handle_ != nullptr ? dlsym(handle_, name) : nullptr;
}

} // namespace quenra::engine
