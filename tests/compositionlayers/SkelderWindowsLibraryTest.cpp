// Skelder.dll as the Windows engine loads it: by its bare file name through LoadLibraryW, with
// an export table that names the 32 functions and nothing else; and as Windows describes it: its
// version resource carries the project's version and product name.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>

#include <winver.h>

#include "SkelderExportTable.h"

namespace Skelder::test {
namespace {


// The names in a loaded module's export table, read from its PE headers in memory.
std::vector<std::string> ExportedNames(HMODULE module, DWORD* functionCount)
{
    const auto* base = reinterpret_cast<const BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    *functionCount = 0;
    if (directory.VirtualAddress == 0) {
        return {};
    }
    const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
    const auto* names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    std::vector<std::string> result;
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
        result.emplace_back(reinterpret_cast<const char*>(base + names[i]));
    }
    *functionCount = exports->NumberOfFunctions;
    return result;
}

std::wstring Folder(const std::wstring& path) { return path.substr(0, path.find_last_of(L"/\\")); }

TEST(SkelderWindowsLibrary, LoadedByFileNameItExportsTheFunctionsAndNothingElse)
{
    ASSERT_TRUE(SetDllDirectoryW(Folder(SKELDER_LIBRARY_WIDE_PATH).c_str()));
    const HMODULE module = LoadLibraryW(L"Skelder.dll");
    ASSERT_NE(module, nullptr) << "error " << GetLastError();

    DWORD functionCount = 0;
    std::vector<std::string> exported = ExportedNames(module, &functionCount);
    const std::vector<std::string> names = quenra::harness::ExportNames<quenra::harness::SkelderExportTable>();
    std::vector<std::string> expected = names;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(exported, expected) << "the table is sorted by name, as the loader's binary search needs";
    EXPECT_EQ(functionCount, 32u) << "no export by ordinal only";
    for (const std::string& name : names) {
        EXPECT_NE(GetProcAddress(module, name.c_str()), nullptr) << name;
    }
    EXPECT_EQ(GetProcAddress(module, "DllMain"), nullptr);

    ASSERT_TRUE(FreeLibrary(module));
    EXPECT_EQ(GetModuleHandleW(L"Skelder.dll"), nullptr) << "unloaded when the last reference went";
    SetDllDirectoryW(nullptr);
}

// The file's version resource, as Windows reads it from the file on disk.
std::vector<BYTE> VersionResource(const wchar_t* path)
{
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
    std::vector<BYTE> data(size);
    if (size == 0 || !GetFileVersionInfoW(path, 0, size, data.data())) {
        data.clear();
    }
    return data;
}

std::wstring StringValue(std::vector<BYTE>& resource, const std::wstring& name)
{
    void* value = nullptr;
    UINT length = 0;
    const std::wstring query = L"\\StringFileInfo\\040904b0\\" + name;
    if (!VerQueryValueW(resource.data(), query.c_str(), &value, &length) || length == 0) {
        return L"(none)";
    }
    return std::wstring(static_cast<const wchar_t*>(value), length - 1);
}

TEST(SkelderWindowsLibrary, ItsVersionResourceCarriesTheProjectVersion)
{
    std::vector<BYTE> resource = VersionResource(SKELDER_LIBRARY_WIDE_PATH);
    ASSERT_FALSE(resource.empty()) << "no version resource, error " << GetLastError();

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(resource.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    const DWORD major = QUENRA_VERSION_MAJOR;
    const DWORD minor = QUENRA_VERSION_MINOR;
    const DWORD patch = QUENRA_VERSION_PATCH;
    for (const auto& [high, low] : {std::pair{fixed->dwFileVersionMS, fixed->dwFileVersionLS},
                                    std::pair{fixed->dwProductVersionMS, fixed->dwProductVersionLS}}) {
        EXPECT_EQ(high, MAKELONG(minor, major));
        EXPECT_EQ(low, MAKELONG(0, patch));
    }
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));

    const std::pair<const wchar_t*, const wchar_t*> strings[] = {
        {L"FileVersion", QUENRA_VERSION_WIDE},
        {L"ProductVersion", QUENRA_VERSION_WIDE},
        {L"ProductName", QUENRA_PRODUCT_NAME_WIDE},
        {L"OriginalFilename", L"Skelder.dll"},
    };
    for (const auto& [name, expected] : strings) {
        EXPECT_EQ(StringValue(resource, name), expected) << std::string(name, name + wcslen(name));
    }
}

} // namespace
} // namespace Skelder::test
