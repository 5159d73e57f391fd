// Our stand-in for the DirectX setup library on systems that lack it: it
// reports DirectX 9 and that setup succeeded. Tests steer its answers with
// DISC_DSETUP_VERSION (the minor version, or "fail" for an unreadable one)
// and DISC_DSETUP_RESULT (what DirectXSetupA returns).
#include <windows.h>

#include <cstdlib>
#include <cstring>

namespace {

bool Steered(const char* name, char* value, DWORD size) {
    DWORD got = ::GetEnvironmentVariableA(name, value, size);
    return got > 0 && got < size;
}

}  // namespace

extern "C" int WINAPI DirectXSetupGetVersion(DWORD* version, DWORD* revision) {
    char value[32];
    DWORD minor = 9;
    if (Steered("DISC_DSETUP_VERSION", value, sizeof value)) {
        if (std::strcmp(value, "fail") == 0) return 0;
        minor = DWORD(std::strtoul(value, nullptr, 10));
    }
    if (version) *version = (4u << 16) | minor;
    if (revision) *revision = 0;
    return 1;
}

extern "C" int WINAPI DirectXSetupA(HWND, LPSTR, DWORD) {
    char value[32];
    if (Steered("DISC_DSETUP_RESULT", value, sizeof value)) return int(std::strtol(value, nullptr, 10));
    return 0;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
