#include "core/file_systems.h"

namespace core {

// Package reading is not built yet: a package never opens, so mounting one
// fails as for a file that is not a package.
class PackageFile {};

VirtualFileSystem::VirtualFileSystem() = default;
VirtualFileSystem::~VirtualFileSystem() = default;

bool VirtualFileSystem::Mount(const std::string&, bool) { return false; }

void VirtualFileSystem::Unmount() { package_.reset(); }

std::unique_ptr<Stream> VirtualFileSystem::Open(const char*, bool, bool) { return nullptr; }

}  // namespace core
