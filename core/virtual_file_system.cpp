#include "core/file_systems.h"
#include "core/package.h"

namespace core {

VirtualFileSystem::VirtualFileSystem() = default;
VirtualFileSystem::~VirtualFileSystem() = default;

bool VirtualFileSystem::Mount(const std::string& fullPath, bool) {
    auto package = std::make_unique<PackageFile>();
    if (!package->Open(fullPath)) return false;
    package_ = std::move(package);
    return true;
}

void VirtualFileSystem::Unmount() { package_.reset(); }

std::unique_ptr<Stream> VirtualFileSystem::Open(const char* name, bool create, bool) {
    if (create || !name || !*name || !package_) return nullptr;
    return package_->FindEntry(name);
}

}  // namespace core
