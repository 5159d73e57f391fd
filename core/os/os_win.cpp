// Version, special folders and the busy cursor on Windows.
#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>

#include "core/busy_cursor.h"
#include "core/file_path.h"
#include "core/os_version.h"
#include "core/registry.h"

namespace core {

void GetOsVersion(OsVersion& version) {
    version = OsVersion();
    OSVERSIONINFOA info;
    std::memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;  // the basic record, 148 bytes
    if (!GetVersionExA(&info)) return;
    version.major = info.dwMajorVersion;
    version.minor = info.dwMinorVersion;
    version.build = info.dwBuildNumber & 0xFFFF;
    if (info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS)
        version.kind = version.minor ? kOsWindows98 : kOsWindows95;
    else if (info.dwPlatformId == VER_PLATFORM_WIN32_NT)
        version.kind = NtOsKind(version.major, version.minor);
    else
        version.kind = kOsWindowsXP;
    int n = std::snprintf(version.text, sizeof version.text, "Microsoft Windows %s",
                          OsName(version.kind, version.major, version.minor, version.build));
    if (version.kind >= kOsWindowsNT && n > 0 && size_t(n) < sizeof version.text)
        n += std::snprintf(version.text + n, sizeof version.text - n, " %u.%u", unsigned(version.major),
                           unsigned(version.minor));
    if (std::strlen(info.szCSDVersion) >= 2 && n > 0 && size_t(n) < sizeof version.text)
        std::snprintf(version.text + n, sizeof version.text - n, " (%s)", info.szCSDVersion);
}

namespace {

bool ShellFolder(int csidl, std::string* text) {
    LPITEMIDLIST items = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, csidl, &items)) || !items) return false;
    char buffer[MAX_PATH + 1] = {};
    bool ok = SHGetPathFromIDListA(items, buffer) != FALSE;
    IMalloc* shellMalloc = nullptr;
    if (SUCCEEDED(SHGetMalloc(&shellMalloc)) && shellMalloc) {
        shellMalloc->Free(items);
        shellMalloc->Release();
    }
    if (ok) *text = buffer;
    return ok && !text->empty();
}

bool Buffered(DWORD n, const char* buffer, std::string* text) {
    if (n == 0 || n > MAX_PATH) return false;
    *text = std::string(buffer, n);
    return true;
}

}  // namespace

bool SpecialFolderText(int kind, std::string* text) {
    char buffer[MAX_PATH + 1] = {};
    switch (kind) {
    case kFolderProgramFile:
    case kFolderProgram: {
        DWORD n = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
        return n < MAX_PATH && Buffered(n, buffer, text);
    }
    case kFolderCurrent: return Buffered(GetCurrentDirectoryA(MAX_PATH, buffer), buffer, text);
    case kFolderWindows: return Buffered(GetWindowsDirectoryA(buffer, MAX_PATH), buffer, text);
    case kFolderSystem: return Buffered(GetSystemDirectoryA(buffer, MAX_PATH), buffer, text);
    case kFolderTemp: return Buffered(GetTempPathA(MAX_PATH, buffer), buffer, text);
    case kFolderDesktop: return ShellFolder(CSIDL_DESKTOPDIRECTORY, text);
    case kFolderProgramFiles: {
        // Opened with full access, as the installer needs to be able to write there.
        RegistryKey key;
        if (!key.Open("Software\\Microsoft\\Windows\\CurrentVersion", false, HKEY_LOCAL_MACHINE)) return false;
        *text = key.GetString("ProgramFilesDir");
        return !text->empty();
    }
    case kFolderStartMenu: return ShellFolder(CSIDL_STARTMENU, text);
    case kFolderPrograms: return ShellFolder(CSIDL_PROGRAMS, text);
    case kFolderStartup: return ShellFolder(CSIDL_STARTUP, text);
    case kFolderCommonPrograms: return ShellFolder(CSIDL_COMMON_PROGRAMS, text);
    case kFolderCommonStartup: return ShellFolder(CSIDL_COMMON_STARTUP, text);
    default: return false;
    }
}

namespace {
int g_busyDepth = 0;
HCURSOR g_cursors[3];  // app-starting, wait, arrow

void LoadBusyCursors() {
    if (g_cursors[2]) return;
    g_cursors[0] = LoadCursor(nullptr, IDC_APPSTARTING);
    g_cursors[1] = LoadCursor(nullptr, IDC_WAIT);
    g_cursors[2] = LoadCursor(nullptr, IDC_ARROW);
}
}  // namespace

BusyCursor::BusyCursor(bool wait) {
    LoadBusyCursors();
    if (g_busyDepth == 0) SetCursor(g_cursors[wait ? 1 : 0]);
    ++g_busyDepth;
}

BusyCursor::~BusyCursor() {
    if (--g_busyDepth == 0) SetCursor(g_cursors[2]);
}

int BusyCursor::Depth() { return g_busyDepth; }

}  // namespace core
