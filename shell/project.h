// The project as the menu reads it: scalar settings, controllers, language
// texts, background pictures and the objects of every language. Reading is
// portable; the window work that follows it lives with the menu window.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "core/binary_buffer.h"
#include "core/data_group.h"
#include "installer/operation_list.h"
#include "shell/texts.h"

namespace shell {

// The name the project tree is read from: the program's own resource when
// it carries one, else a file of that name through the mount table.
inline constexpr const char kProjectName[] = "$:$Config_Runtime$:$";
inline constexpr const char kRegistryBranch[] = "Software\\Trelvo\\Autorun\\";
inline constexpr const char kUnknownLanguage[] = "<unknown language>";
// Control ids of the objects: 4700 for object number 1, and so on.
inline constexpr int kFirstObjectId = 4700;

// One menu entry's logic.
struct MenuController {
    core::DataGroup Settings;  // the controller's group, for actions and dependencies
    bool UseSound = false;
    core::BinaryBuffer Sound;
    bool Available = true;
    bool Selectable = true;
    bool Invisible = false;

    std::string ID() const;
};

// One object of a language, as read from its numbered group.
struct ObjectEntry {
    uint32_t number = 0;  // 1-based number in the Objects group
    int32_t x = 0, y = 0, width = 0, height = 0;
    std::string controllerId;
    const core::DataGroup* group = nullptr;  // for Image1..Image4; owned by the ObjectTable
};

struct ProjectSettings {
    bool ShowCaption = true;
    bool ShowBorder = true;
    bool LangDialogAllowed = false;
    bool LangDialogAlways = false;
    bool UseInstaller = false;
    bool UseInstallerStartMenu = false;
    // The "Install Target" groups of the three installer lists, read only
    // with UseInstaller; the operation list is built from them.
    core::DataGroup InstallFilesFolders;
    core::DataGroup InstallRegistry;
    core::DataGroup InstallStartMenu;
    // The install lines built from them once, at load.
    installer::OperationList Operations;
    std::vector<installer::RejectedNode> RejectedInstallNodes;
    std::string ApplicationName;
    std::string AltApplicationName;
    std::string ApplicationID;
    std::string RegistryPath;
    bool RightAligned = false;
    std::string WizardVersion;
    std::string DefaultLanguage;
    bool TestMode = false;
    bool PlayIntroSound = false;
    bool LoopIntroSound = false;
    core::BinaryBuffer IntroSound;
    bool ShowLicense = false;
    std::string LicenseText;
    bool ShowRegistration = false;
    int32_t Width = 640;
    int32_t Height = 480;
};

// Byte blocks of Width x Height x 4 bytes, per language name.
using BackgroundTable = std::map<std::string, std::vector<uint8_t>>;
// Each language's Objects group without its Background.
using ObjectTable = std::map<std::string, core::DataGroup>;

class Project {
public:
    // Reads everything from a parsed tree. False when a required key or
    // group is missing or unusable; missing then names it by its path.
    bool Read(const core::DataGroup& root, std::string* missing);

    // First controller whose ID equals id exactly (case significant).
    MenuController* FindController(std::string_view id);
    const MenuController* FindController(std::string_view id) const;

    // The objects of a language in the order of their numbers; numbers that
    // are missing are skipped, so control ids keep following the numbers.
    std::vector<ObjectEntry> ObjectsOf(const std::string& language) const;

    ProjectSettings settings;
    std::vector<MenuController> controllers;
    LanguageTable languages;
    BackgroundTable backgrounds;
    ObjectTable objects;
};

// The right-to-left flag of the project, read by the wizard pages.
bool RightAligned();
void SetRightAligned(bool on);

// The numbered entries of a group ("1", "2", ...; decimal, no leading zero)
// in the order of their numbers; other names are ignored.
std::vector<std::pair<uint32_t, const core::DataGroup*>> NumberedGroups(const core::DataGroup& group);

// A group stored as a child group or as a group value under name.
const core::DataGroup* FindSubgroup(const core::DataGroup& group, std::string_view name);

}  // namespace shell
