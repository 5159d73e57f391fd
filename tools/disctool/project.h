// Disc projects: a readable YAML source and the files it names, compiled into
// the binary project tree that Setup.exe carries, the entries of Setup.pac and
// the files of the disc folder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/data_group.h"
#include "core/package_writer.h"

namespace disctool {

// The source file of a project given as its folder or as the file itself.
std::string ProjectSourcePath(const std::string& project);

struct DiscFile {
    std::string name;  // in the disc folder, "/" between folders
    std::string path;  // on this machine
};

struct CompiledProject {
    core::DataGroup tree;
    std::vector<core::PackInput> package;  // Setup.pac entries, in a stable order
    std::vector<DiscFile> discFiles;       // copied into the disc folder as they are
    std::string label;                     // volume label for autorun.inf (ANSI)
    bool bringsDsetup = false;             // the project's disc files hold dsetup.dll
};

struct CompileOptions {
    bool warnings = true;
};

// Reads and checks the project. Every problem goes to standard error as one
// line "file:line:column: message" (warnings say "warning:"); returns false
// when there was at least one error.
bool CompileProject(const std::string& project, const CompileOptions& options, CompiledProject* out,
                    int* warningCount = nullptr);

// The controller ID made from a name when the author gives none: a braced GUID
// text, always the same for the same name.
std::string ControllerIdFromName(const std::string& name);

// Type codes and readable names of actions and dependencies.
struct KeySpec {
    const char* name;
    enum Kind { Text, Bool, Int, Root, RegType, Color } kind;
};
struct TypeSpec {
    int code;
    const char* name;
    std::vector<KeySpec> keys;
};
const std::vector<TypeSpec>& ActionTypes();
const std::vector<TypeSpec>& DependencyTypes();
const TypeSpec* FindType(const std::vector<TypeSpec>& table, int code);

// Texts the runtime and its installer wizard look up in every language.
extern const char* const kMenuTextKeys[];
extern const char* const kInstallerTextKeys[];

// Settings of the project root: source key, kind and default (as it reads in a source).
struct SettingSpec {
    const char* name;
    enum Kind { Text, Bool, Int, Sound, LongText } kind;
    bool required;
};
const std::vector<SettingSpec>& RootSettings();

}  // namespace disctool

namespace disctool {

// A project tree from a tree file or from a Windows program that carries one
// (resource "VGF" 157); false after printing one line saying what is wrong.
bool LoadProjectTree(const std::string& path, core::DataGroup* tree);

// Pictures of the menu of each language: "<language>.png" with every object
// at rest and "<language>-hot.png" with every object hot. Returns the files written.
bool WritePreview(const core::DataGroup& tree, const std::string& dir, std::vector<std::string>* written);

// Writes project.yaml and the pictures, sounds and payload files it names into
// dir. package (may be empty) is the Setup.pac whose entries fill the payload.
bool Decompile(const core::DataGroup& tree, const std::string& package, const std::string& dir);

}  // namespace disctool
