// Process-wide start-up state and the application entry: the DirectX setup
// library, the program folder, the single-instance rule and starting a fresh
// copy of the program. (File copies share installer::TransferBuffer.)
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace shell {

inline constexpr const char kDirectXLibrary[] = "dsetup.dll";
inline constexpr const char kDirectXMissingText[] = "DSetup.dll could not be loaded. DirectX features disabled!";

using DirectXSetupGetVersionFn = int(WINAPI*)(DWORD* version, DWORD* revision);
using DirectXSetupAFn = int(WINAPI*)(HWND owner, LPSTR sourceFolder, DWORD flags);

struct DirectXLibrary {
    HMODULE module = nullptr;
    DirectXSetupGetVersionFn GetVersion = nullptr;
    DirectXSetupAFn Setup = nullptr;
};

// Resolved once at start-up; the DirectX action and dependencies call
// through it without testing again.
DirectXLibrary& DirectX();
// Loads the library with the unchanged search path, then once more from
// programFolder made current; false when both fail.
bool LoadDirectX(const std::string& programFolder);
// Three FreeLibrary calls, as the library may have been loaded more than once.
void UnloadDirectX();

// The process's current directory, whatever its length.
std::string CurrentDirectory();
// The folder of the program file, ending with a backslash.
std::string ProgramFolder();

// The top-level window holding a child whose text is the marker caption, or null.
HWND FindRunningMenu();
// Starts commandLine as a new process and lets it go; false when it cannot start.
bool StartCopy(const std::string& commandLine, const char* workingFolder);
// Unloads the DirectX library and starts this program with "-checkrestart".
void RestartAfterClose();

// The application entry: single instance, the library, the menu, shutdown.
// Returns the process exit code.
int RunSetup(HINSTANCE instance);

}  // namespace shell
