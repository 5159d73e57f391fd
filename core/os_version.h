#pragma once

#include <cstdint>

namespace core {

enum OsKind : uint32_t { kOsWindows95 = 0, kOsWindows98 = 1, kOsWindowsNT = 2, kOsWindows2000 = 3, kOsWindowsXP = 4 };

struct OsVersion {
    uint32_t kind = kOsWindowsXP;
    uint32_t major = 0;
    uint32_t minor = 0;
    uint32_t build = 0;  // low 16 bits of the build number
    char text[256] = {};
};

// Fills version. A platform of neither the 9x nor the NT family counts as
// the NT family's newest kind.
void GetOsVersion(OsVersion& version);

// The kind of an NT-family version. XP is the newest kind that projects'
// conditions name, so it stands for "XP or later": Vista to 11 are kind XP,
// and only 5.0 is 2000. (The programs' manifest declares Vista to 11, so
// that 8.1 and later report their own version instead of 6.2.)
constexpr uint32_t NtOsKind(uint32_t major, uint32_t minor) {
    if (major < 5) return kOsWindowsNT;
    return major == 5 && minor == 0 ? kOsWindows2000 : kOsWindowsXP;
}

// The name in the display text: "95" to "2000" by kind, then the name of the
// NT version itself. Windows 11 reports 10.0, with builds from 22000 on.
constexpr const char* OsName(uint32_t kind, uint32_t major, uint32_t minor, uint32_t build) {
    constexpr const char* kKindNames[] = {"95", "98", "NT", "2000", "XP"};
    if (kind != kOsWindowsXP || major < 6) return kind <= kOsWindowsXP ? kKindNames[kind] : "XP";
    if (major == 6) return minor == 0 ? "Vista" : minor == 1 ? "7" : minor == 2 ? "8" : "8.1";
    return major == 10 && build >= 22000 ? "11" : "10";
}

}  // namespace core
