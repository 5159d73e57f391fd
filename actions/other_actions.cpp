// The actions other than launching a program: files, the shell, the
// registry, DirectX, the language, install and uninstall, copies and the
// information box.
#include <windows.h>
#include <shellapi.h>

#include <memory>

#include "actions/action_keys.h"
#include "actions/actions.h"
#include "core/mount_table.h"
#include "core/registry.h"
#include "installer/executor.h"
#include "installer/uninstall_run.h"
#include "shell/startup.h"
#include "ui/message_box.h"
#include "wizard/info_box.h"
#include "wizard/wizard_frame.h"

namespace actions {

namespace {

constexpr DWORD kDirectXComponents = 0x00010018;  // core, display and sound drivers
constexpr char kTestModeOpenText[] =
    "Due to unknown behaviors in the Win32 API, this function does not work in test mode - sorry :(";

RestartFunction g_restart = RestartWindows;

// "12abc" -> 12, "  -7" -> -7, "x" -> 0: leading blanks and a sign, then digits.
uint32_t DecimalPrefix(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    uint32_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) value = value * 10 + uint32_t(text[i] - '0');
    return negative ? 0u - value : value;
}

bool DeletePath(shell::MenuWindow& menu, const core::DataGroup& record) {
    const std::string path = RecordKeys(menu, record).Text("Filename");
    DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return true;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) ::RemoveDirectoryA(path.c_str());
    else ::DeleteFileA(path.c_str());
    return true;
}

bool OpenWithShell(shell::MenuWindow& menu, const core::DataGroup& record) {
    const std::string url = RecordKeys(menu, record).Text("URL");
    if (menu.Settings().TestMode) {
        ui::ShowMessage(menu.Handle(), kTestModeOpenText, "Information", MB_OK | MB_ICONERROR);
        return true;
    }
    ::ShellExecuteA(nullptr, "open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return true;
}

bool WriteRegistryValue(shell::MenuWindow& menu, const core::DataGroup& record) {
    RecordKeys keys(menu, record);
    HKEY root = RegistryRootKey(keys.Int("Root"));
    const std::string key = keys.Text("Key"), name = keys.Text("Name"), value = keys.Text("Value");
    if (!root) return true;
    HKEY handle = nullptr;
    if (::RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle, nullptr) !=
            ERROR_SUCCESS &&
        ::RegOpenKeyExA(root, key.c_str(), 0, KEY_ALL_ACCESS, &handle) != ERROR_SUCCESS)
        return true;
    if (keys.Int("RegType") == 0) {
        DWORD number = DecimalPrefix(value);
        ::RegSetValueExA(handle, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
    } else {
        ::RegSetValueExA(handle, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                         DWORD(value.size() + 1));
    }
    ::RegCloseKey(handle);
    return true;
}

bool DeleteRegistryValue(shell::MenuWindow& menu, const core::DataGroup& record) {
    RecordKeys keys(menu, record);
    HKEY root = RegistryRootKey(keys.Int("Root"));
    const std::string key = keys.Text("Key"), name = keys.Text("Name");
    HKEY handle = nullptr;
    if (!root || ::RegOpenKeyExA(root, key.c_str(), 0, KEY_ALL_ACCESS, &handle) != ERROR_SUCCESS) return true;
    DWORD type = 0;
    if (::RegQueryValueExA(handle, name.c_str(), nullptr, &type, nullptr, nullptr) == ERROR_SUCCESS &&
        (type == REG_DWORD || type == REG_SZ))
        ::RegDeleteValueA(handle, name.c_str());
    ::RegCloseKey(handle);
    return true;
}

bool SetUpDirectX(shell::MenuWindow& menu, const core::DataGroup& record) {
    RecordKeys keys(menu, record);
    std::string folder = keys.Text("Folder");
    const std::string prompt = keys.Text("Prompt", "Press OK to reboot machine.");
    const shell::DirectXLibrary& library = shell::DirectX();
    if (!library.Setup) return false;
    int result = library.Setup(nullptr, folder.empty() ? nullptr : folder.data(), kDirectXComponents);
    if (result == 0) return true;
    if (result != 1) return false;
    menu.ShowMessage(prompt, menu.Settings().ApplicationName, MB_OK | MB_ICONINFORMATION);
    return g_restart();
}

bool SwitchLanguage(shell::MenuWindow& menu, const core::DataGroup& record) {
    return menu.ApplyLanguage(RecordKeys(menu, record).Text("Language"));
}

bool Install(shell::MenuWindow& menu, const core::DataGroup&) {
    // The menu steps out of sight while the wizard runs.
    RECT place = {};
    menu.GetWindowRect(&place);
    menu.SetPos(nullptr, 2048, 1536, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    if (wizard::RunWizard(menu, wizard::WizardMode::kInstall) == 1) {
        menu.ExitRequested = true;
        menu.RestartRequested = true;
    } else {
        menu.Move(place.left, place.top, place.right - place.left, place.bottom - place.top, true);
    }
    return true;
}

bool Uninstall(shell::MenuWindow& menu, const core::DataGroup&) {
    int answer = ui::ShowMessage(menu.Handle(), menu.ExpandText("[INSTALL_GENERAL_UNINSTALL_WARNING]", nullptr),
                                 menu.ExpandText("[ApplicationName]", nullptr),
                                 MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2);
    if (answer != IDYES) return false;
    // When nothing could be handed over the user has been told why, and the
    // menu stays.
    if (installer::RunUninstall(true, menu.MakeUninstallRequest()).started()) menu.ExitRequested = true;
    return false;
}

// A failed copy is told with the installer's texts for files, naming the
// file at fault; the list stops.
bool CopyFailed(shell::MenuWindow& menu, const char* key, const std::string& path) {
    std::string text = installer::FormatWithArgument(menu.TranslateText(key), path);
    ui::ShowMessage(menu.Handle(), text, menu.TranslateText("[AUTORUN_ERROR]"), MB_OK | MB_ICONERROR);
    return false;
}

bool CopyOneFile(shell::MenuWindow& menu, const core::DataGroup& record) {
    static constexpr char kOpenFile[] = "[INSTALL_GENERAL_ERROROPENFILE]";
    static constexpr char kCreateFile[] = "[INSTALL_GENERAL_ERRORCREATEFILE]";
    RecordKeys keys(menu, record);
    const std::string source = keys.Text("Source"), target = keys.Text("Target");
    DWORD attributes = ::GetFileAttributesA(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) return CopyFailed(menu, kCreateFile, target);
        if (attributes & FILE_ATTRIBUTE_READONLY) {
            ::SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
            attributes = ::GetFileAttributesA(target.c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
                return CopyFailed(menu, kCreateFile, target);
        }
    }
    std::unique_ptr<core::Stream> in = core::OpenForReading(source.c_str());
    if (!in) return CopyFailed(menu, kOpenFile, source);
    std::unique_ptr<core::Stream> out = core::OpenForWriting(target.c_str());
    if (!out) return CopyFailed(menu, kCreateFile, target);
    uint8_t* buffer = installer::TransferBuffer();
    uint64_t remaining = in->GetSize();
    const char* failed = nullptr;
    while (remaining > 0 && !failed) {
        uint64_t chunk = remaining < installer::kTransferBufferSize ? remaining : installer::kTransferBufferSize;
        // A short read or write (a damaged package entry, a full disc) is a
        // failed copy, not a shorter file.
        if (in->Read(buffer, chunk) != chunk) failed = kOpenFile;
        else if (out->Write(buffer, chunk) != chunk) failed = kCreateFile;
        remaining -= chunk;
    }
    in->Close();
    out->Close();
    if (!failed) return true;
    ::DeleteFileA(target.c_str());
    return CopyFailed(menu, failed, failed == kOpenFile ? source : target);
}

bool ShowInformation(shell::MenuWindow& menu, const core::DataGroup& record) {
    RecordKeys keys(menu, record);
    wizard::InfoBox box(menu.Settings().RightAligned);
    box.caption = keys.Text("Title", "Information");
    box.text = keys.Text("Text", "...");
    box.textColor = COLORREF(keys.Int("TextColor", 0));
    box.backColor = COLORREF(keys.Int("BackColor", int32_t(wizard::InfoBox::kDefaultBackColor)));
    box.DoModal(menu.Handle());
    return true;
}

using ActionBody = bool (*)(shell::MenuWindow&, const core::DataGroup&);

// Indexed by type; types 7 and 12 are handled by the list itself.
const ActionBody kActions[] = {
    LaunchProgram, DeletePath,  OpenWithShell, WriteRegistryValue, DeleteRegistryValue, SetUpDirectX,
    SwitchLanguage, nullptr,    Install,       Uninstall,          CopyOneFile,            ShowInformation,
};

}  // namespace

HKEY RegistryRootKey(int32_t root) {
    switch (root) {
    case 0: return HKEY_CLASSES_ROOT;
    case 1: return HKEY_CURRENT_USER;
    case 2: return HKEY_LOCAL_MACHINE;
    default: return nullptr;
    }
}

bool RunAction(shell::MenuWindow& menu, int32_t type, const core::DataGroup& record) {
    if (type < 0 || type >= int32_t(sizeof kActions / sizeof kActions[0]) || !kActions[type]) return true;
    return kActions[type](menu, record);
}

void SetRestartFunction(RestartFunction restart) { g_restart = restart ? restart : RestartWindows; }

bool RestartWindows() {
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    ::GetVersionExA(&version);
    if (version.dwPlatformId != VER_PLATFORM_WIN32_NT) {
        ::ExitWindowsEx(EWX_REBOOT, 0);
        return true;
    }
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return false;
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    ::LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid);
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    ::SetLastError(0);
    ::AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    if (::GetLastError() != 0) {
        ::CloseHandle(token);
        return false;
    }
    bool started = ::InitiateSystemShutdownA(nullptr, nullptr, 0, TRUE, TRUE) != FALSE;
    if (started) {
        privileges.Privileges[0].Attributes = 0;
        ::AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    }
    ::CloseHandle(token);
    return started;
}

}  // namespace actions
