#include "core/file_systems.h"

#include <vector>

#include "core/os/file_stream.h"
#include "core/os/os.h"
#include "core/text.h"

namespace core {

std::vector<std::string> SplitPathParts(const std::string& text, bool isRoot) {
    std::vector<std::string> parts;
    size_t i = 0;
    if (isRoot) {
        if (text.size() >= 3 && text[1] == ':' && (text[2] == '\\' || text[2] == '/')) {
            parts.push_back(text.substr(0, 2) + "\\");
            i = 3;
        } else if (text.rfind("\\\\", 0) == 0) {
            parts.push_back("\\\\");
            i = 2;
        } else if (!text.empty() && text[0] == '/') {
            // A POSIX root keeps its leading slash, so that joined names stay absolute.
            parts.push_back("/");
            i = 1;
        }
    }
    while (i <= text.size()) {
        size_t j = text.find_first_of("/\\", i);
        if (j == std::string::npos) j = text.size();
        if (j > i) parts.push_back(text.substr(i, j - i));
        i = j + 1;
    }
    return parts;
}

std::string ResolveRelativeName(const std::string& root, const std::string& name) {
    std::vector<std::string> rootParts = SplitPathParts(root, true);
    std::vector<std::string> nameParts = SplitPathParts(name, false);
    size_t first = 0;
    // ".." never climbs above a drive or share root: "C:\.." stays "C:\", as
    // Windows reads it, instead of falling back to the current directory.
    size_t keep = (!rootParts.empty() && (rootParts[0].back() == '\\' || rootParts[0] == "/")) ? 1 : 0;
    while (first < nameParts.size() && nameParts[first] == "..") {
        if (rootParts.size() > keep) rootParts.pop_back();
        ++first;
    }
    if (first < nameParts.size() && nameParts[first] == ".") ++first;

    std::string out;
    auto add = [&out](const std::string& part) {
        if (!out.empty() && out.back() != '\\' && out.back() != '/') out += '\\';
        out += part;
    };
    for (const auto& part : rootParts) add(part);
    for (size_t i = first; i < nameParts.size(); ++i) add(nameParts[i]);
    return out;
}

bool PhysicalFileSystem::Mount(const std::string& fullPath, bool optimizeIO) {
    openFlags_ = optimizeIO ? 0x08000000u /* FILE_FLAG_SEQUENTIAL_SCAN */ : 0;
    root_ = fullPath;
    return os::IsDirectory(root_.c_str());
}

std::unique_ptr<Stream> PhysicalFileSystem::Open(const char* name, bool create, bool readWrite) {
    if (!name || !*name) return nullptr;
    // Only names that begin with "." are taken relative to the root; any other
    // name, relative or absolute, goes to the host unchanged.
    std::string path = name[0] == '.' ? ResolveRelativeName(root_, name) : std::string(name);
    FileOpenMode mode = create ? FileOpenMode::Create : readWrite ? FileOpenMode::ReadWrite : FileOpenMode::Read;
    return FileStream::Open(path.c_str(), mode, create ? 0 : openFlags_);
}

}  // namespace core
