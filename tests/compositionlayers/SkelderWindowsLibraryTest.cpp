// Skelder.dll as the Windows engine loads it: by its bare file name through LoadLibraryW, with
// an export table that names the 32 functions and nothing else.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

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

} // namespace
} // namespace Skelder::test
