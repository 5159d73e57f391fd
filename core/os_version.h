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

}  // namespace core
