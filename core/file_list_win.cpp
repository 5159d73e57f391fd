#include "core/file_list.h"

#include <cstring>

#include "core/wildcard.h"

namespace core {

void FileList::Clear() {
    for (FileEntry* e : entries_) e->Release();
    entries_.clear();
}

bool FileList::Search(const std::string& folder, const std::string& pattern, bool recursive, uint32_t kinds,
                      const Callback& callback) {
    cancelled_ = false;
    return SearchFolder(folder, pattern, recursive, kinds, callback);
}

bool FileList::SearchFolder(const std::string& folder, const std::string& pattern, bool recursive, uint32_t kinds,
                            const Callback& callback) {
    if (cancelled_) return false;
    // "C:\" already ends in a separator.
    std::string prefix = folder.size() > 3 ? folder + "\\" : folder;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((prefix + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    bool ok = true;
    do {
        if (std::strcmp(found.cFileName, ".") == 0 || std::strcmp(found.cFileName, "..") == 0) continue;
        auto* entry = new FileEntry();
        entry->name = found.cFileName;
        entry->fullPath = prefix + found.cFileName;
        entry->attributes = found.dwFileAttributes;
        entry->size = uint64_t(found.nFileSizeLow) | (uint64_t(found.nFileSizeHigh) << 32);
        entry->creation = found.ftCreationTime;
        entry->lastAccess = found.ftLastAccessTime;
        entry->lastWrite = found.ftLastWriteTime;
        entry->sortKey = (entry->IsFolder() ? "a" : "b") + entry->name;
        if (callback && !callback(*entry)) {
            entry->Release();
            cancelled_ = true;
            break;
        }
        bool isFolder = entry->IsFolder();
        bool keep = isFolder ? (kinds & kFolders) != 0 : (kinds & kFiles) && MatchesWildcard(entry->name, pattern);
        std::string subfolder = entry->fullPath;
        if (keep)
            entries_.push_back(entry);
        else
            entry->Release();
        if (isFolder && recursive && !SearchFolder(subfolder, pattern, recursive, kinds, callback)) {
            ok = false;
            break;
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return ok;
}

}  // namespace core
