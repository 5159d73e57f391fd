// Folder listing with wildcard matching.
#pragma once

#ifdef _WIN32
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/ref_counted.h"

namespace core {

class FileEntry : public RefCounted {
public:
    std::string sortKey;  // "a" + name for a folder, "b" + name for a file
    std::string name;
    std::string fullPath;
    uint32_t attributes = 0;
    uint64_t size = 0;
    FILETIME creation = {}, lastAccess = {}, lastWrite = {};

    bool IsFolder() const { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
};

class FileList {
public:
    enum Kinds : uint32_t { kFiles = 1, kFolders = 2 };
    // Asked before each found item; false cancels the whole search.
    using Callback = std::function<bool(const FileEntry&)>;

    FileList() = default;
    ~FileList() { Clear(); }
    FileList(const FileList&) = delete;
    FileList& operator=(const FileList&) = delete;

    // Lists folder (recursively when asked): files whose name matches pattern
    // (kinds bit 1) and every folder (bit 2), in the order Windows returns
    // them. False when the search cannot start or was cancelled.
    bool Search(const std::string& folder, const std::string& pattern, bool recursive, uint32_t kinds,
                const Callback& callback = nullptr);
    void Clear();

    size_t Count() const { return entries_.size(); }
    const FileEntry& operator[](size_t i) const { return *entries_[i]; }

private:
    bool SearchFolder(const std::string& folder, const std::string& pattern, bool recursive, uint32_t kinds,
                      const Callback& callback);
    std::vector<FileEntry*> entries_;
    bool cancelled_ = false;
};

}  // namespace core

#endif  // _WIN32
