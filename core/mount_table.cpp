#include "core/mount_table.h"

#include <cstring>
#include <string>
#include <string_view>

#include "core/os/os.h"

namespace core {

namespace {

// Replaces every occurrence of token in text, without scanning the
// replacements again.
void ReplaceAll(std::string& text, std::string_view token, std::string_view replacement) {
    for (size_t at = text.find(token); at != std::string::npos; at = text.find(token, at + replacement.size()))
        text.replace(at, token.size(), replacement);
}

}  // namespace

std::string ExpandMountPath(std::string path) {
    // "[$$$DEFAULT$$$]" stands for "[$CurrentDir]", wherever either stands.
    ReplaceAll(path, "[$$$DEFAULT$$$]", "[$CurrentDir]");
    if (path.find("[$CurrentDir]") != std::string::npos) ReplaceAll(path, "[$CurrentDir]", os::CurrentDirectory());
    return path;
}

MountTable& MountTable::Instance() {
    static MountTable table;
    return table;
}

FileSystem* MountTable::Mount(const char* path, const char* type, bool flag) {
    std::string typeName = (type && *type) ? type : "Physical";
    std::string where = ExpandMountPath(path ? path : "");
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
