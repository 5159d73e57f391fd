// The process-wide table of mounted file systems. Every named file opens
// through it: the first file system, in mount order, that opens a name wins.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/file_systems.h"
#include "core/stream.h"

namespace core {

// A mount path with its tokens replaced wherever they stand: "[$$$DEFAULT$$$]"
// by "[$CurrentDir]", and "[$CurrentDir]" by the current directory.
std::string ExpandMountPath(std::string path);

class MountTable {
public:
    static MountTable& Instance();

    // Mounts path as type ("Physical" when null or empty; "Resource",
    // "Virtual"); returns the new file system or null.
    FileSystem* Mount(const char* path, const char* type, bool flag);
    // Appends a file system that is mounted already (one of another kind
    // than the three, such as a test's); returns it, or null for null.
    FileSystem* Add(std::unique_ptr<FileSystem> fileSystem);
    bool Unmount(FileSystem* fileSystem);
    void UnmountAll();
    // On an empty table the defaults are mounted first: the internal
    // resources, then the current directory.
    std::unique_ptr<Stream> Open(const char* name, bool create, bool readWrite);

    const std::vector<std::unique_ptr<FileSystem>>& FileSystems() const { return fileSystems_; }

private:
    std::vector<std::unique_ptr<FileSystem>> fileSystems_;
};

inline FileSystem* Mount(const char* path, const char* type, bool flag) {
    return MountTable::Instance().Mount(path, type, flag);
}
inline bool Unmount(FileSystem* fs) { return MountTable::Instance().Unmount(fs); }
inline void UnmountAll() { MountTable::Instance().UnmountAll(); }
// Read access (readWrite: read and write access to an existing file).
inline std::unique_ptr<Stream> OpenForReading(const char* name, bool readWrite = false) {
    return MountTable::Instance().Open(name, false, readWrite);
}
// Created or truncated.
inline std::unique_ptr<Stream> OpenForWriting(const char* name) {
    return MountTable::Instance().Open(name, true, false);
}

}  // namespace core
