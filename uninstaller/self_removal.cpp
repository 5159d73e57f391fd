#include "uninstaller/self_removal.h"

#include <windows.h>

#include "core/text.h"

namespace uninstaller {

namespace {

std::string FileName(const std::string& path) {
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Folder(const std::string& path) {
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string FullPath(const std::string& path) {
    char full[MAX_PATH * 2] = {};
    DWORD n = ::GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    return n && n < sizeof full ? std::string(full) : path;
}

bool SameNoCase(const std::string& a, const std::string& b) { return core::ToUpperAscii(a) == core::ToUpperAscii(b); }

std::string CommandProcessor() {
    char system[MAX_PATH] = {};
    UINT n = ::GetSystemDirectoryA(system, sizeof system);
    if (n == 0 || n >= sizeof system) return "cmd.exe";
    std::string path = system;
    if (path.back() != '\\') path += '\\';
    return path + "cmd.exe";
}

}  // namespace

bool IsTemporaryCopy(const std::string& programPath) {
    return SameNoCase(FileName(programPath), std::string(kTempBaseName) + ".exe");
}

bool IsPartnerScript(const std::string& programPath, const std::string& scriptPath) {
    std::string program = FullPath(programPath), script = FullPath(scriptPath);
    return SameNoCase(FileName(script), std::string(kTempBaseName) + ".ini") &&
           SameNoCase(Folder(program), Folder(script));
}

bool ScheduleSelfRemoval(const std::string& programPath, const std::string& scriptPath) {
    if (!scriptPath.empty()) ::DeleteFileA(scriptPath.c_str());

    // The command processor's input is a pipe whose writing end only this
    // process holds: "set /p" returns when that end closes, that is when
    // this process has ended. The image may be released a moment after its
    // handles, hence the bounded retries.
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    bool started = false;
    if (::CreatePipe(&readEnd, &writeEnd, &inherit, 0) &&
        ::SetHandleInformation(writeEnd, HANDLE_FLAG_INHERIT, 0)) {
        HANDLE nul = ::CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                   OPEN_EXISTING, 0, nullptr);
        std::string quoted;
        quoted.append(1, '"').append(programPath).append(1, '"');
        std::string line;
        line.append(1, '"').append(CommandProcessor()).append("\" /d /q /c set /p QMWAIT= & ");
        line.append("for /l %i in (1,1,4000) do @if exist ").append(quoted).append(" del /f /q ").append(quoted);
        line.append(" >nul 2>nul");
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_HIDE;
        startup.hStdInput = readEnd;
        startup.hStdOutput = nul != INVALID_HANDLE_VALUE ? nul : nullptr;
        startup.hStdError = startup.hStdOutput;
        PROCESS_INFORMATION process = {};
        char systemFolder[MAX_PATH] = {};
        ::GetSystemDirectoryA(systemFolder, sizeof systemFolder);
        if (::CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                             systemFolder[0] ? systemFolder : nullptr, &startup, &process)) {
            ::CloseHandle(process.hThread);
            ::CloseHandle(process.hProcess);
            started = true;
        }
        if (nul != INVALID_HANDLE_VALUE) ::CloseHandle(nul);
        ::CloseHandle(readEnd);
        // writeEnd stays open until this process ends: that is the signal.
    } else {
        if (readEnd) ::CloseHandle(readEnd);
        if (writeEnd) ::CloseHandle(writeEnd);
    }
    if (!started) ::MoveFileExA(programPath.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    return started;
}

}  // namespace uninstaller
