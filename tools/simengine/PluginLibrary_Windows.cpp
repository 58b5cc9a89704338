// The Windows loader seam: the DLL opened by file name with LoadLibraryW, as the engine
// opens its plug-ins, and its exports found with GetProcAddress.
#include "PluginLibrary.h"

#include <windows.h>

namespace quenra::simengine {
namespace {
std::wstring Widened(const std::string& utf8)
{
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    std::wstring wide(length > 0 ? length : 1, L'\0');
    if (length > 0) {
        MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, wide.data(), length);
    }
    wide.resize(wide.size() - 1);
    return wide;
}

// The loader's reason, led by the path as dlerror's is.
std::string LoadFailure(const std::string& path, DWORD code)
{
    char* text = nullptr;
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string reason = length > 0 ? std::string(text, length) : "error " + std::to_string(code);
    LocalFree(text);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r')) {
        reason.pop_back();
    }
    return path + ": " + reason;
}
} // namespace

PluginLibrary::PluginLibrary(const std::string& path) : handle(LoadLibraryW(Widened(path).c_str()))
{
    if (handle == nullptr) {
        error = LoadFailure(path, GetLastError());
    }
}

PluginLibrary::~PluginLibrary()
{
    if (handle != nullptr) {
        FreeLibrary(static_cast<HMODULE>(handle));
    }
}

void* PluginLibrary::Symbol(const char* name) const
{
    return handle != nullptr ? reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name)) : nullptr;
}

} // namespace quenra::simengine
