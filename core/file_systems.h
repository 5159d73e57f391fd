// The three kinds of file system that the mount table holds.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/stream.h"

namespace core {

class FileSystem {
public:
    FileSystem() = default;
    FileSystem(const FileSystem&) = delete;
    FileSystem& operator=(const FileSystem&) = delete;
    virtual ~FileSystem() = default;

    virtual bool Mount(const std::string& fullPath, bool flag) = 0;
    virtual void Unmount() = 0;
    virtual std::unique_ptr<Stream> Open(const char* name, bool create, bool readWrite) = 0;
    // "Physical", "Resource" or "Virtual".
    virtual const char* Type() const = 0;
};

// A folder of the host file system.
class PhysicalFileSystem : public FileSystem {
public:
    bool Mount(const std::string& fullPath, bool optimizeIO) override;
    void Unmount() override {}
    std::unique_ptr<Stream> Open(const char* name, bool create, bool readWrite) override;
    const char* Type() const override { return "Physical"; }
    const std::string& Root() const { return root_; }

private:
    std::string root_;
    uint32_t openFlags_ = 0;
};

// Byte blocks compiled into the program, registered under names.
class ResourceFileSystem : public FileSystem {
public:
    bool Mount(const std::string& fullPath, bool flag) override;
    // Forgets every registration (of all instances).
    void Unmount() override;
    std::unique_ptr<Stream> Open(const char* name, bool create, bool readWrite) override;
    const char* Type() const override { return "Resource"; }
};

class PackageFile;

// A package file ("Setup.pac").
class VirtualFileSystem : public FileSystem {
public:
    VirtualFileSystem();
    ~VirtualFileSystem() override;
    bool Mount(const std::string& fullPath, bool flag) override;
    void Unmount() override;
    std::unique_ptr<Stream> Open(const char* name, bool create, bool readWrite) override;
    const char* Type() const override { return "Virtual"; }
    PackageFile* Package() { return package_.get(); }

private:
    std::unique_ptr<PackageFile> package_;
};

// Splits at "/" and "\", dropping empty parts; with isRoot a leading drive
// ("C:\"), two backslashes or a POSIX "/" stay a part of their own.
std::vector<std::string> SplitPathParts(const std::string& text, bool isRoot);

// Resolves a name that begins with "." against root: leading ".." parts climb
// out of root, one leading "." is dropped, and the rest is joined with "\".
std::string ResolveRelativeName(const std::string& root, const std::string& name);

// Appends a registration (a null name becomes ":<illegal>"); always true.
// Type values of 4096 or less are integer resource types.
bool RegisterInternalResource(const char* name, const char* type, uint16_t id);
// As above, for an integer resource type such as RT_RCDATA.
bool RegisterInternalResource(const char* name, uintptr_t integerType, uint16_t id);
size_t InternalResourceCount();

}  // namespace core
