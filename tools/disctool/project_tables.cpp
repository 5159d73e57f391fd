// The vocabulary of project sources: settings, action and dependency types with
// their keys, and the texts the runtime looks up.
#include <cstring>

#include "core/guid.h"
#include "tools/disctool/project.h"

namespace disctool {

using K = KeySpec;

const std::vector<TypeSpec>& ActionTypes() {
    static const std::vector<TypeSpec> table = {
        {0, "launch",
         {{"Directory", K::Text}, {"Filename", K::Text}, {"Parameters", K::Text}, {"Wait", K::Bool},
          {"Minimize", K::Bool}, {"UseReturncode", K::Bool}, {"ReturnCode", K::Int}, {"WaitForAtom", K::Bool},
          {"AtomName", K::Text}, {"Exit", K::Bool}}},
        {1, "delete", {{"Filename", K::Text}}},
        {2, "open", {{"URL", K::Text}}},
        {3, "registry-write",
         {{"Root", K::Root}, {"Key", K::Text}, {"Name", K::Text}, {"RegType", K::RegType}, {"Value", K::Text}}},
        {4, "registry-delete", {{"Root", K::Root}, {"Key", K::Text}, {"Name", K::Text}}},
        {5, "directx", {{"Folder", K::Text}, {"Prompt", K::Text}}},
        {6, "language", {{"Language", K::Text}}},
        {7, "exit", {}},
        {8, "install", {}},
        {9, "uninstall", {}},
        {10, "copy", {{"Source", K::Text}, {"Target", K::Text}}},
        {11, "info", {{"Title", K::Text}, {"Text", K::Text}, {"TextColor", K::Color}, {"BackColor", K::Color}}},
        {12, "require-admin", {}},
    };
    return table;
}

const std::vector<TypeSpec>& DependencyTypes() {
    static const std::vector<KeySpec> registry = {{"Root", K::Root}, {"Key", K::Text}, {"Name", K::Text}};
    static const std::vector<TypeSpec> table = {
        {0, "registry-exists", registry},
        {1, "registry-missing", registry},
        {2, "directx-at-least", {{"Version", K::Int}}},
        {3, "directx-below", {{"Version", K::Int}}},
        {4, "file-exists", {{"Filename", K::Text}}},
        {5, "file-missing", {{"Filename", K::Text}}},
        {6, "program-returns",
         {{"Directory", K::Text}, {"Filename", K::Text}, {"Parameters", K::Text}, {"ReturnCode", K::Int}}},
        {7, "language-is", {{"Language", K::Text}}},
        {8, "language-is-not", {{"Language", K::Text}}},
        {9, "installed", {}},
        {10, "not-installed", {}},
        {11, "admin", {}},
    };
    return table;
}

const TypeSpec* FindType(const std::vector<TypeSpec>& table, int code) {
    for (const TypeSpec& t : table)
        if (t.code == code) return &t;
    return nullptr;
}

const char* const kMenuTextKeys[] = {
    "AUTORUN_ERROR", "AUTORUN_ERROR_ADMINRIGHTS", "AUTORUN_ERROR_STARTING_FILE", "AUTORUN_LANGUAGE_SELECT",
    "AUTORUN_LANGUAGE_OK", "AUTORUN_LANGUAGE_CANCEL", nullptr};

const char* const kInstallerTextKeys[] = {
    "INSTALL_GENERAL_BACKBUTTON", "INSTALL_GENERAL_NEXTBUTTON", "INSTALL_GENERAL_CANCELBUTTON",
    "INSTALL_GENERAL_CLOSEBUTTON", "INSTALL_GENERAL_OKBUTTON", "INSTALL_GENERAL_YESBUTTON",
    "INSTALL_GENERAL_NOBUTTON", "INSTALL_GENERAL_ABORTINSTALL", "INSTALL_GENERAL_ABORTUNINSTALL",
    "INSTALL_GENERAL_UNINSTALL_WARNING", "INSTALL_GENERAL_ERRORCREATEFOLDER", "INSTALL_GENERAL_ERRORCREATEFILE",
    "INSTALL_GENERAL_ERROROPENFILE", "INSTALL_GENERAL_ERRORCREATEREGISTRY", "INSTALL_WELCOME_TITLE",
    "INSTALL_WELCOME_MESSAGE", "INSTALL_WELCOME_INFO", "INSTALL_LICENSE_TITLE", "INSTALL_LICENSE_MESSAGE",
    "INSTALL_LICENSE_INFO", "INSTALL_LICENSE_ACCEPTED", "INSTALL_REGISTRATION_TITLE",
    "INSTALL_REGISTRATION_MESSAGE", "INSTALL_REGISTRATION_NAME", "INSTALL_REGISTRATION_COMPANY",
    "INSTALL_TARGET_TITLE", "INSTALL_TARGET_MESSAGE", "INSTALL_TARGET_INFO", "INSTALL_TARGET_PATH",
    "INSTALL_TARGET_BROWSE", "INSTALL_TARGET_CAPTION", "INSTALL_TARGET_DESTINATIONDIRECTORY",
    "INSTALL_TARGET_FOLDERS", "INSTALL_TARGET_DRIVES", "INSTALL_STARTMENU_TITLE", "INSTALL_STARTMENU_MESSAGE",
    "INSTALL_STARTMENU_PROGRAMFOLDER", "INSTALL_STARTMENU_EXISTINGFOLDERS", "INSTALL_READY_TITLE",
    "INSTALL_READY_MESSAGE", "INSTALL_READY_CURRENTSETTINGS", "INSTALL_INSTALLING_TITLE",
    "INSTALL_INSTALLING_MESSAGE", "INSTALL_DONE_TITLE", "INSTALL_DONE_MESSAGE", "INSTALL_DONE_TITLE_ERROR",
    "INSTALL_DONE_MESSAGE_ERROR", "INSTALL_UNINST_WELCOME_MESSAGE", "INSTALL_UNINST_UNINSTALLING_TITLE",
    "INSTALL_UNINST_UNINSTALLING_MESSAGE", "INSTALL_UNINST_DONE_TITLE", "INSTALL_UNINST_DONE_MESSAGE", nullptr};

const std::vector<SettingSpec>& RootSettings() {
    using S = SettingSpec;
    static const std::vector<SettingSpec> table = {
        {"ApplicationName", S::Text, true},     {"AltApplicationName", S::Text, false},
        {"ApplicationID", S::Text, true},       {"WizardVer", S::Text, false},
        {"DefaultLanguage", S::Text, true},     {"Width", S::Int, true},
        {"Height", S::Int, true},               {"RuntimeCaption", S::Bool, false},
        {"RuntimeBorder", S::Bool, false},      {"RuntimeShowLangDlgAtAll", S::Bool, false},
        {"RuntimeShowLangDlg", S::Bool, false}, {"UseInstaller", S::Bool, false},
        {"UseInstallerStartMenu", S::Bool, false}, {"RightAligned", S::Bool, false},
        {"TestMode", S::Bool, false},           {"PlayIntroSound", S::Bool, false},
        {"LoopIntroSound", S::Bool, false},     {"IntroSound", S::Sound, false},
        {"ShowLicense", S::Bool, false},        {"License", S::LongText, false},
        {"ShowRegistration", S::Bool, false},
        // Written into Setup.exe's manifest and version resource, not read
        // by the runtime.
        {"ExecutionLevel", S::Text, false}, {"Publisher", S::Text, false},
        {"Version", S::Text, false},        {"Description", S::Text, false},
        {"Copyright", S::Text, false},
    };
    return table;
}

// A name-based GUID: two 64-bit FNV-1a hashes of the name (with different
// starting values), stamped as version 5, variant 1.
std::string ControllerIdFromName(const std::string& name) {
    uint8_t bytes[16];
    const uint64_t seeds[2] = {0xcbf29ce484222325ull, 0x84222325cbf29ce4ull};
    for (int half = 0; half < 2; ++half) {
        uint64_t h = seeds[half];
        for (unsigned char c : "disc controller:" + name) h = (h ^ c) * 0x100000001b3ull;
        for (int k = 0; k < 8; ++k) bytes[half * 8 + k] = uint8_t(h >> (8 * k));
    }
    bytes[7] = uint8_t((bytes[7] & 0x0F) | 0x50);  // Data3's high byte: version 5
    bytes[8] = uint8_t((bytes[8] & 0x3F) | 0x80);
    return core::CQmGUID(bytes).ToString();
}

}  // namespace disctool
