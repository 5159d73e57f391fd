#include "shell/startup.h"

#include <objbase.h>

#include <set>

#include "core/core_startup.h"
#include "shell/menu_window.h"

namespace shell {

namespace {

DirectXLibrary g_directX;

BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM param) {
    reinterpret_cast<std::set<HWND>*>(param)->insert(hwnd);
    return TRUE;
}

bool HasMarker(HWND topLevel) {
    std::set<HWND> children;
    ::EnumChildWindows(topLevel, CollectWindow, reinterpret_cast<LPARAM>(&children));
    for (HWND child : children) {
        char text[64] = {};
        ::GetWindowTextA(child, text, sizeof text);
        if (std::string(text) == MenuWindow::kMarkerCaption) return true;
    }
    return false;
}

}  // namespace

DirectXLibrary& DirectX() { return g_directX; }

bool LoadDirectX(const std::string& programFolder) {
    HMODULE module = ::LoadLibraryA(kDirectXLibrary);
    if (!module) {
        ::SetCurrentDirectoryA(programFolder.c_str());
        module = ::LoadLibraryA(kDirectXLibrary);
    }
    if (!module) return false;
    g_directX.module = module;
    g_directX.GetVersion =
        reinterpret_cast<DirectXSetupGetVersionFn>(reinterpret_cast<void*>(::GetProcAddress(module, "DirectXSetupGetVersion")));
    g_directX.Setup = reinterpret_cast<DirectXSetupAFn>(reinterpret_cast<void*>(::GetProcAddress(module, "DirectXSetupA")));
    return true;
}

std::string CurrentDirectory() {
    DWORD needed = ::GetCurrentDirectoryA(0, nullptr);
    if (needed == 0) return std::string();
    std::string text(needed, '\0');
    DWORD got = ::GetCurrentDirectoryA(needed, text.data());
    text.resize(got < needed ? got : 0);
    return text;
}

void UnloadDirectX() {
    if (!g_directX.module) return;
    for (int i = 0; i < 3; ++i) ::FreeLibrary(g_directX.module);
    g_directX = DirectXLibrary();
}

std::string ProgramFolder() {
    char path[MAX_PATH * 2] = {};
    DWORD got = ::GetModuleFileNameA(nullptr, path, sizeof path);
    std::string folder(path, got < sizeof path ? got : 0);
    size_t slash = folder.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
}


HWND FindRunningMenu() {
    std::set<HWND> windows;
    ::EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&windows));
    for (HWND window : windows)
        if (HasMarker(window)) return window;
    return nullptr;
}

bool StartCopy(const std::string& commandLine, const char* workingFolder) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_FORCEOFFFEEDBACK;
    PROCESS_INFORMATION process = {};
    std::string line = commandLine;
    if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_DEFAULT_ERROR_MODE, nullptr,
                          workingFolder, &startup, &process))
        return false;
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return true;
}

void RestartAfterClose() {
    UnloadDirectX();
    char path[MAX_PATH * 2] = {};
    DWORD got = ::GetModuleFileNameA(nullptr, path, sizeof path);
    std::string folder = ProgramFolder();
    StartCopy(core::QuotedCommandWord(std::string(path, got < sizeof path ? got : 0)) + " -checkrestart",
              folder.c_str());
}

int RunSetup(HINSTANCE instance) {
    // One menu per desktop: a second start brings the first forward and ends.
    if (HWND running = FindRunningMenu()) {
        ::ShowWindow(running, SW_SHOWNORMAL);
        ::SetForegroundWindow(running);
        return 0;
    }
    const std::string startDirectory = CurrentDirectory();
    const std::string programFolder = ProgramFolder();
    if (!LoadDirectX(programFolder)) {
        ::MessageBoxA(nullptr, kDirectXMissingText, "Error", MB_ICONEXCLAMATION);
        ::SetCurrentDirectoryA(startDirectory.c_str());
        return 1;
    }
    ::SetCurrentDirectoryA(programFolder.c_str());
    ::CoInitialize(nullptr);
    HMODULE richEdit = ::LoadLibraryA("RICHED32.DLL");
    {
        MenuWindow menu;
        menu.EnableStartUp(true);
        menu.DoModal(nullptr);
        // The window is gone now, so the new copy does not find it as the
        // running menu.
        if (menu.RestartOnExit()) RestartAfterClose();
        core::GetCore().Shutdown();
        core::DestroyCore();
    }
    if (richEdit) ::FreeLibrary(richEdit);
    ::CoUninitialize();
    ::SetCurrentDirectoryA(startDirectory.c_str());
    UnloadDirectX();
    (void)instance;
    return 0;
}

}  // namespace shell
