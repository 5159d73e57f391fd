#include "core/mount_table.h"

#include <cstring>
#include <string>

#include "core/os/os.h"

namespace core {

MountTable& MountTable::Instance() {
    static MountTable table;
    return table;
}

FileSystem* MountTable::Mount(const char* path, const char* type, bool flag) {
    std::string typeName = (type && *type) ? type : "Physical";
    std::string where = path ? path : "";
    if (where == "[$$$DEFAULT$$$]") where = "[$CurrentDir]";
    if (size_t at = where.find("[$CurrentDir]"); at != std::string::npos)
        where.replace(at, std::strlen("[$CurrentDir]"), os::CurrentDirectory());
    if (!where.empty()) where = os::FullPathName(where);

    std::unique_ptr<FileSystem> fs;
    if (typeName == "Physical")
        fs = std::make_unique<PhysicalFileSystem>();
    else if (typeName == "Virtual")
        fs = std::make_unique<VirtualFileSystem>();
    else if (typeName == "Resource")
        fs = std::make_unique<ResourceFileSystem>();
    else
        return nullptr;
    if (!fs->Mount(where, flag)) return nullptr;
    fileSystems_.push_back(std::move(fs));
    return fileSystems_.back().get();
}

FileSystem* MountTable::Add(std::unique_ptr<FileSystem> fileSystem) {
    if (!fileSystem) return nullptr;
    fileSystems_.push_back(std::move(fileSystem));
    return fileSystems_.back().get();
}

bool MountTable::Unmount(FileSystem* fileSystem) {
    for (auto it = fileSystems_.begin(); it != fileSystems_.end(); ++it) {
        if (it->get() != fileSystem) continue;
        (*it)->Unmount();
        fileSystems_.erase(it);
        return true;
    }
    return false;
}

void MountTable::UnmountAll() {
    for (auto& fs : fileSystems_) fs->Unmount();
    fileSystems_.clear();
}

std::unique_ptr<Stream> MountTable::Open(const char* name, bool create, bool readWrite) {
    if (fileSystems_.empty()) {
        Mount("<IntRes>", "Resource", false);
        Mount("[$$$DEFAULT$$$]", "Physical", false);
    }
    for (auto& fs : fileSystems_)
        if (auto stream = fs->Open(name, create, readWrite)) return stream;
    return nullptr;
}

}  // namespace core
