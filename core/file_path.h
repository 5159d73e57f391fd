// A file path split into drive, folder, name and extension, and the
// well-known folders.
#pragma once

#include <string>
#include <string_view>

namespace core {

enum SpecialFolder : int {
    kFolderProgramFile = 1,      // full path of the running program
    kFolderProgram = 2,          // its folder
    kFolderCurrent = 3,
    kFolderWindows = 4,
    kFolderSystem = 5,
    kFolderTemp = 6,
    kFolderDesktop = 7,
    kFolderProgramFiles = 8,
    kFolderStartMenu = 9,
    kFolderPrograms = 10,
    kFolderStartup = 11,
    kFolderCommonPrograms = 12,
    kFolderCommonStartup = 13,
};

class FilePath {
public:
    FilePath() = default;
    explicit FilePath(std::string_view text) { Set(text); }

    // Fills the path from a special folder; false (path left empty) for an
    // unknown kind or when the folder cannot be found.
    bool SetSpecialFolder(int kind);
    void Set(std::string_view text);

    std::string FullPath() const;
    std::string Folder() const { return drive + directory; }

    std::string drive;      // "C:\"
    std::string directory;  // "Games\Demo": no leading or trailing backslash
    std::string name;
    std::string extension;  // without the dot
};

// The folder text of a special folder kind, before it is split; false when unknown.
bool SpecialFolderText(int kind, std::string* text);

}  // namespace core
