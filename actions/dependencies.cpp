// The conditions that decide whether a menu entry is offered.
#include "actions/action_keys.h"
#include "actions/actions.h"
#include "shell/startup.h"

namespace actions {

namespace {

bool RegistryValueExists(shell::MenuWindow& menu, const core::DataGroup& record) {
    RecordKeys keys(menu, record);
    HKEY root = RegistryRootKey(keys.Int("Root"));
    const std::string key = keys.Text("Key"), name = keys.Text("Name");
    HKEY handle = nullptr;
    if (!root || ::RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
    DWORD type = 0;
    bool exists = ::RegQueryValueExA(handle, name.c_str(), nullptr, &type, nullptr, nullptr) == ERROR_SUCCESS &&
                  (type == REG_DWORD || type == REG_SZ);
    ::RegCloseKey(handle);
    return exists;
}

// The installed DirectX minor version, or -1 when it cannot be read.
int64_t DirectXMinorVersion() {
    const shell::DirectXLibrary& library = shell::DirectX();
    DWORD version = 0, revision = 0;
    if (!library.GetVersion || !library.GetVersion(&version, &revision)) return -1;
    return version & 0xFFFF;
}

bool HasDirectX(shell::MenuWindow& menu, const core::DataGroup& record) {
    int64_t minor = DirectXMinorVersion();
    return minor >= 0 && minor >= RecordKeys(menu, record).Int("Version");
}

bool PathExists(shell::MenuWindow& menu, const core::DataGroup& record) {
    return ::GetFileAttributesA(RecordKeys(menu, record).Text("Filename").c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool ProgramReturns(shell::MenuWindow& menu, const core::DataGroup& record) {
    RecordKeys keys(menu, record);
    const int32_t expected = keys.Int("ReturnCode");
    const std::string saved = shell::CurrentDirectory();
    const ProcessCommand command =
        BuildProcessCommand(saved, keys.Text("Directory"), keys.Text("Filename"), keys.Text("Parameters"));
    ::SetCurrentDirectoryA(command.workingFolder.c_str());
    DWORD exitCode = DWORD(expected) + 0x10000u;
    PROCESS_INFORMATION process = {};
    if (!StartProcess(command, &process)) {
        ::SetCurrentDirectoryA(saved.c_str());
        return false;
    }
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    if (::GetExitCodeProcess(process.hProcess, &code)) exitCode = code;
    ::CloseHandle(process.hProcess);
    ::CloseHandle(process.hThread);
    ::SetCurrentDirectoryA(saved.c_str());
    return exitCode == DWORD(expected);
}

bool IsCurrentLanguage(shell::MenuWindow& menu, const core::DataGroup& record) {
    return RecordKeys(menu, record).RawText("Language") == menu.CurrentLanguage();
}

bool IsInstalled(shell::MenuWindow& menu, const core::DataGroup&) {
    HKEY handle = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, menu.Settings().RegistryPath.c_str(), 0, KEY_READ, &handle) !=
        ERROR_SUCCESS)
        return false;
    DWORD type = 0, value = 0, size = sizeof value;
    bool installed = ::RegQueryValueExA(handle, "AppInstalled", nullptr, &type, reinterpret_cast<BYTE*>(&value),
                                        &size) == ERROR_SUCCESS &&
                     type == REG_DWORD && size == sizeof value && value == 1;
    ::RegCloseKey(handle);
    return installed;
}

bool HasRights(shell::MenuWindow& menu, const core::DataGroup&) { return menu.HasAdminRights(); }

using Test = bool (*)(shell::MenuWindow&, const core::DataGroup&);

// Each test in its positive form; the odd types up to 10 ask for its opposite.
struct DependencyTest {
    Test test;
    bool negate;
};
const DependencyTest kTests[] = {
    {RegistryValueExists, false}, {RegistryValueExists, true}, {HasDirectX, false},   {HasDirectX, true},
    {PathExists, false},          {PathExists, true},          {ProgramReturns, false}, {IsCurrentLanguage, false},
    {IsCurrentLanguage, true},    {IsInstalled, false},        {IsInstalled, true},     {HasRights, false},
};

}  // namespace

bool TestDependency(shell::MenuWindow& menu, int32_t type, const core::DataGroup& record) {
    if (type < 0 || type >= int32_t(sizeof kTests / sizeof kTests[0])) return true;
    return kTests[type].test(menu, record) != kTests[type].negate;
}

}  // namespace actions
