#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "core/busy_cursor.h"
#include "core/file_list.h"
#include "core/file_path.h"
#include "core/guid.h"
#include "core/os_version.h"
#include "../core/test_util.h"

using namespace core;

TEST(OsVersion, KindAndText) {
    OsVersion v;
    v.kind = 0xDEADBEEF;
    GetOsVersion(v);
    EXPECT_LE(v.kind, uint32_t(kOsWindowsXP));
    EXPECT_EQ(std::strncmp(v.text, "Microsoft Windows ", 18), 0) << v.text;
    if (v.kind >= kOsWindowsNT) {
        std::string numbers = " " + std::to_string(v.major) + "." + std::to_string(v.minor);
        EXPECT_NE(std::string(v.text).find(numbers), std::string::npos) << v.text;
    }
}

TEST(SpecialFolders, EveryKindResolves) {
    for (int kind = kFolderProgramFile; kind <= kFolderCommonStartup; ++kind) {
        FilePath p;
        EXPECT_TRUE(p.SetSpecialFolder(kind)) << "kind " << kind;
        EXPECT_FALSE(p.FullPath().empty()) << "kind " << kind;
        if (kind != kFolderProgramFile) {
            EXPECT_TRUE(p.name.empty() || GetFileAttributesA(p.FullPath().c_str()) != INVALID_FILE_ATTRIBUTES)
                << "kind " << kind << ": " << p.FullPath();
        }
    }
    FilePath program;
    ASSERT_TRUE(program.SetSpecialFolder(kFolderProgramFile));
    EXPECT_EQ(program.extension, "exe");
    FilePath folder;
    ASSERT_TRUE(folder.SetSpecialFolder(kFolderProgram));
    EXPECT_EQ(folder.FullPath(), program.Folder());
    FilePath none;
    EXPECT_FALSE(none.SetSpecialFolder(14));
    EXPECT_TRUE(none.FullPath().empty());
}

TEST(FilePath, ExistingFolderIsAllDirectory) {
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, MAX_PATH);  // e.g. C:\windows
    FilePath p(windows);
    EXPECT_EQ(p.drive, std::string(windows, 3));
    EXPECT_EQ(p.directory, std::string(windows + 3));
    EXPECT_TRUE(p.name.empty());
    EXPECT_TRUE(p.extension.empty());
}

TEST(BusyCursor, NestedScopesShowTheCursorOnce) {
    HCURSOR arrow = LoadCursor(nullptr, IDC_ARROW);
    SetCursor(arrow);
    {
        BusyCursor outer;
        EXPECT_EQ(BusyCursor::Depth(), 1);
        EXPECT_EQ(GetCursor(), LoadCursor(nullptr, IDC_WAIT));
        {
            BusyCursor inner(false);  // already showing: stays the wait cursor
            EXPECT_EQ(BusyCursor::Depth(), 2);
            EXPECT_EQ(GetCursor(), LoadCursor(nullptr, IDC_WAIT));
        }
        EXPECT_EQ(GetCursor(), LoadCursor(nullptr, IDC_WAIT));
    }
    EXPECT_EQ(BusyCursor::Depth(), 0);
    EXPECT_EQ(GetCursor(), arrow);
}

TEST(FileList, RecursiveSearchListsFoldersBeforeTheirContent) {
    testutil::TempFolder dir("list");
    testutil::WriteFile(dir.File("a.txt"), "a");
    testutil::WriteFile(dir.File("skip.bin"), "s");
    CreateDirectoryA(dir.File("b").c_str(), nullptr);
    testutil::WriteFile(dir.File("b\\c.txt"), "c");

    FileList list;
    ASSERT_TRUE(list.Search(dir.Str(), "*.txt", true, FileList::kFiles | FileList::kFolders));
    std::vector<std::string> names;
    for (size_t i = 0; i < list.Count(); ++i) names.push_back(list[i].name);
    ASSERT_EQ(names.size(), 3u);
    auto b = std::find(names.begin(), names.end(), "b");
    ASSERT_NE(b, names.end());
    ASSERT_NE(b + 1, names.end());
    EXPECT_EQ(*(b + 1), "c.txt");
    EXPECT_NE(std::find(names.begin(), names.end(), "a.txt"), names.end());
    const FileEntry& folder = list[size_t(b - names.begin())];
    EXPECT_TRUE(folder.IsFolder());
    EXPECT_EQ(folder.sortKey, "ab");
    EXPECT_EQ(folder.fullPath, dir.File("b"));

    // Folders only, no recursion: the way the product lists subfolders.
    FileList folders;
    ASSERT_TRUE(folders.Search(dir.Str(), "*", false, FileList::kFolders));
    ASSERT_EQ(folders.Count(), 1u);
    EXPECT_EQ(folders[0].name, "b");

    // A callback that says stop cancels the search.
    FileList stopped;
    int asked = 0;
    stopped.Search(dir.Str(), "*", true, FileList::kFiles, [&](const FileEntry&) { return ++asked < 2; });
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(stopped.Count(), 1u);

    FileList missing;
    EXPECT_FALSE(missing.Search(dir.File("nowhere"), "*", false, FileList::kFiles));
}

TEST(Guid, PlatformConversionAgreesWithTheLayout) {
    uint8_t bytes[16];
    ASSERT_TRUE(ParseGuidText("6b29fc40-ca47-1067-b31d-00dd010662da", bytes));
    CQmGUID viaWindows("{6B29FC40-CA47-1067-B31D-00DD010662DA}");
    EXPECT_EQ(std::memcmp(viaWindows.Bytes(), bytes, 16), 0);
}
