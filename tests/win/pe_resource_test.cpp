// The portable resource editor checked by Windows itself: a copy of this test
// program gets a new project tree resource, and the loader finds it, and the
// uninstaller resource beside it, byte for byte.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/disctool/pe_resources.h"

namespace {

std::vector<uint8_t> ResourceBytes(HMODULE module, const char* type, int id) {
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), type);
    if (!found) return {};
    HGLOBAL loaded = LoadResource(module, found);
    const uint8_t* data = static_cast<const uint8_t*>(LockResource(loaded));
    DWORD size = SizeofResource(module, found);
    return data ? std::vector<uint8_t>(data, data + size) : std::vector<uint8_t>();
}

}  // namespace

TEST(PeResource, EditedProgramLoadsWithTheNewTreeAndKeepsTheUninstaller) {
    char self[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(nullptr, self, MAX_PATH), 0u);
    std::ifstream in(self, std::ios::binary);
    std::vector<uint8_t> exe((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(exe.empty());

    const std::vector<uint8_t> uninstaller = ResourceBytes(GetModuleHandleA(nullptr), "EXE", 153);
    ASSERT_FALSE(uninstaller.empty()) << "this program carries EXE 153";
    static const size_t sizes[] = {1, 4097, 300000};
    for (size_t i = 0; i < std::size(sizes); ++i) {
        std::vector<uint8_t> tree(sizes[i]);
        for (size_t k = 0; k < tree.size(); ++k) tree[k] = uint8_t(k * 31 + i);
        std::vector<uint8_t> edited = exe;
        std::string error;
        ASSERT_TRUE(pe::SetResource(&edited, pe::ResourceId::Name("VGF"), pe::ResourceId::Number(157), tree, &error))
            << "case " << i << ": " << error;

        char folder[MAX_PATH], path[MAX_PATH];
        GetTempPathA(MAX_PATH, folder);
        std::snprintf(path, sizeof path, "%sdisc_pe_resource_%u.exe", folder, unsigned(i));
        {
            std::ofstream out(path, std::ios::binary | std::ios::trunc);
            out.write(reinterpret_cast<const char*>(edited.data()), std::streamsize(edited.size()));
        }
        HMODULE module = LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(module, nullptr) << "case " << i << ": error " << GetLastError();
        EXPECT_EQ(ResourceBytes(module, "VGF", 157), tree) << "case " << i;
        EXPECT_EQ(ResourceBytes(module, "EXE", 153), uninstaller) << "case " << i;
        FreeLibrary(module);
        DeleteFileA(path);
    }
}
