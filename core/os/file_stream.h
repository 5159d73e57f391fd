// The one stream over a host file; Win32 handles on Windows, descriptors elsewhere.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "core/stream.h"

namespace core {

enum class FileOpenMode { Read, ReadWrite, Create };

class FileStream : public Stream {
public:
    // Read: read access, share-read, existing only. ReadWrite: read and write
    // access of an existing file, share-read. Create: read and write, no
    // sharing, created or truncated. flags go to CreateFileA (e.g. sequential scan).
    static std::unique_ptr<FileStream> Open(const char* name, FileOpenMode mode, uint32_t flags = 0);
    ~FileStream() override;

    // False when the host reports a failure on closing (a write that it
    // could not complete); closing an already closed stream is true.
    bool Close() override;
    // Closes the handle and deletes the file by the name it was opened with.
    bool Discard() override;
    uint64_t Read(void* destination, uint64_t count) override;
    uint64_t Write(const void* source, uint64_t count) override;
    // Also ends a line at a NUL byte, which it consumes and does not store.
    uint32_t ReadLine(char* destination, uint32_t capacity) override;
    bool Seek(int64_t offset, int origin) override;
    uint64_t Tell() override;
    uint64_t GetSize() override;
    bool GetFileTime(FileTime* creation, FileTime* lastAccess, FileTime* lastWrite) override;

private:
    FileStream(intptr_t handle, std::string path) : handle_(handle), path_(std::move(path)) {}
    intptr_t handle_;
    std::string path_;  // as opened, for Discard
};

}  // namespace core
