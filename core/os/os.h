// The few host services that differ between Windows and POSIX.
#pragma once

#include <string>

namespace core::os {

bool IsDirectory(const char* path);
std::string CurrentDirectory();
// An absolute form of path (GetFullPathNameA on Windows); empty on failure.
std::string FullPathName(const std::string& path);
// Translates a name as the system writes it ("\" between parts) for the host.
std::string HostName(const char* name);

}  // namespace core::os
