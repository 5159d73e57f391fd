#pragma once

#ifdef _WIN32
#include <windows.h>
namespace core {
using FileTime = FILETIME;
}
#else
#include <cstdint>
namespace core {
// Same layout as the Win32 FILETIME: 100 ns ticks since 1601, low word first.
struct FileTime {
    uint32_t dwLowDateTime;
    uint32_t dwHighDateTime;
};
}  // namespace core
#endif
