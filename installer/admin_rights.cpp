#include "installer/admin_rights.h"

#include <windows.h>

#include <vector>

namespace installer {

namespace {

using OpenProcessTokenFn = BOOL(WINAPI*)(HANDLE, DWORD, PHANDLE);
using GetTokenInformationFn = BOOL(WINAPI*)(HANDLE, TOKEN_INFORMATION_CLASS, LPVOID, DWORD, PDWORD);
using AllocateAndInitializeSidFn = BOOL(WINAPI*)(PSID_IDENTIFIER_AUTHORITY, BYTE, DWORD, DWORD, DWORD, DWORD, DWORD,
                                                 DWORD, DWORD, DWORD, PSID*);
using EqualSidFn = BOOL(WINAPI*)(PSID, PSID);
using FreeSidFn = PVOID(WINAPI*)(PSID);

class TokenHandle {
public:
    TokenHandle() = default;
    ~TokenHandle() {
        if (handle_) ::CloseHandle(handle_);
    }
    TokenHandle(const TokenHandle&) = delete;
    TokenHandle& operator=(const TokenHandle&) = delete;
    PHANDLE Out() { return &handle_; }
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_ = nullptr;
};

template <typename Fn>
bool Resolve(HMODULE module, const char* name, Fn* fn) {
    *fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
    return *fn != nullptr;
}

}  // namespace

bool ComputeAdminRights() {
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    if (!::GetVersionExA(&version)) return false;
    if (version.dwPlatformId != VER_PLATFORM_WIN32_NT) return true;  // no users to tell apart

    // Resolved at run time: the library is already loaded in every process
    // that can have a token, and the 9x family lacks these entry points.
    HMODULE advapi = ::GetModuleHandleA("ADVAPI32.DLL");
    OpenProcessTokenFn openProcessToken;
    if (!advapi || !Resolve(advapi, "OpenProcessToken", &openProcessToken)) return false;
    TokenHandle token;
    if (!openProcessToken(::GetCurrentProcess(), TOKEN_READ, token.Out())) return false;
    return TokenListsAdministrators(token.Get());
}

bool TokenListsAdministrators(void* token) {
    HMODULE advapi = ::GetModuleHandleA("ADVAPI32.DLL");
    if (!advapi) return false;
    GetTokenInformationFn getTokenInformation;
    AllocateAndInitializeSidFn allocateAndInitializeSid;
    EqualSidFn equalSid;
    FreeSidFn freeSid;
    if (!Resolve(advapi, "GetTokenInformation", &getTokenInformation) ||
        !Resolve(advapi, "AllocateAndInitializeSid", &allocateAndInitializeSid) ||
        !Resolve(advapi, "EqualSid", &equalSid) || !Resolve(advapi, "FreeSid", &freeSid))
        return false;

    // Sized from the token itself, so a user in many groups is judged by
    // the groups and not refused for the length of the list.
    DWORD needed = 0;
    getTokenInformation(token, TokenGroups, nullptr, 0, &needed);
    if (needed < sizeof(TOKEN_GROUPS)) needed = 1024;
    std::vector<unsigned char> buffer(needed);
    DWORD got = 0;
    if (!getTokenInformation(token, TokenGroups, buffer.data(), needed, &got)) return false;

    SID_IDENTIFIER_AUTHORITY ntAuthority = {SECURITY_NT_AUTHORITY};
    PSID administrators = nullptr;
    if (!allocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0,
                                  0, 0, &administrators))
        return false;
    // Membership is enough; the group's attributes (deny-only too) are not looked at.
    const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer.data());
    bool member = false;
    for (DWORD i = 0; i < groups->GroupCount && !member; ++i)
        member = equalSid(groups->Groups[i].Sid, administrators) != FALSE;
    freeSid(administrators);
    return member;
}

}  // namespace installer
