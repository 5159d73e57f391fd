#include <windows.h>

#include "core/os/file_stream.h"
#include "core/os/os.h"
#include "core/os_version.h"

namespace core {

namespace {

HANDLE H(intptr_t h) { return reinterpret_cast<HANDLE>(h); }

// The NT family takes the high 32 bits of positions; Windows 95 and 98 only the low ones.
bool IsNtFamily() {
    static const bool nt = [] {
        OsVersion v;
        GetOsVersion(v);
        return v.kind >= kOsWindowsNT;
    }();
    return nt;
}

}  // namespace

std::unique_ptr<FileStream> FileStream::Open(const char* name, FileOpenMode mode, uint32_t flags) {
    if (!name || !*name) return nullptr;
    HANDLE h;
    switch (mode) {
    case FileOpenMode::Create:
        h = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                        nullptr);
        break;
    case FileOpenMode::ReadWrite:
        h = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, flags,
                        nullptr);
        break;
    default:
        h = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, flags, nullptr);
        break;
    }
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    return std::unique_ptr<FileStream>(new FileStream(reinterpret_cast<intptr_t>(h), name));
}

FileStream::~FileStream() { Close(); }

bool FileStream::Close() {
    if (handle_ == reinterpret_cast<intptr_t>(INVALID_HANDLE_VALUE)) return true;
    BOOL ok = CloseHandle(H(handle_));
    handle_ = reinterpret_cast<intptr_t>(INVALID_HANDLE_VALUE);
    return ok != FALSE;
}

bool FileStream::Discard() {
    Close();
    return !path_.empty() && DeleteFileA(path_.c_str()) != FALSE;
}

uint64_t FileStream::Read(void* destination, uint64_t count) {
    uint64_t total = 0;
    auto* out = static_cast<char*>(destination);
    while (count > 0) {
        DWORD chunk = count > 0x40000000 ? 0x40000000 : DWORD(count);
        DWORD got = 0;
        if (!ReadFile(H(handle_), out + total, chunk, &got, nullptr) || got == 0) break;
        total += got;
        count -= got;
    }
    return total;
}

uint64_t FileStream::Write(const void* source, uint64_t count) {
    uint64_t total = 0;
    auto* in = static_cast<const char*>(source);
    while (count > 0) {
        DWORD chunk = count > 0x40000000 ? 0x40000000 : DWORD(count);
        DWORD put = 0;
        if (!WriteFile(H(handle_), in + total, chunk, &put, nullptr) || put == 0) break;
        total += put;
        count -= put;
    }
    return total;
}

uint32_t FileStream::ReadLine(char* destination, uint32_t capacity) {
    return ReadLineImpl(destination, capacity, true);
}

bool FileStream::Seek(int64_t offset, int origin) {
    DWORD method = origin == kSeekBegin ? FILE_BEGIN : origin == kSeekCurrent ? FILE_CURRENT : FILE_END;
    if (IsNtFamily()) {
        LONG high = LONG(offset >> 32);
        SetLastError(0);
        DWORD low = SetFilePointer(H(handle_), LONG(offset & 0xFFFFFFFF), &high, method);
        return !(low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR);
    }
    return SetFilePointer(H(handle_), LONG(offset), nullptr, method) != INVALID_SET_FILE_POINTER;
}

uint64_t FileStream::Tell() {
    if (IsNtFamily()) {
        LONG high = 0;
        SetLastError(0);
        DWORD low = SetFilePointer(H(handle_), 0, &high, FILE_CURRENT);
        if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) return 0;
        return (uint64_t(DWORD(high)) << 32) | low;
    }
    DWORD low = SetFilePointer(H(handle_), 0, nullptr, FILE_CURRENT);
    return low == INVALID_SET_FILE_POINTER ? 0 : low;
}

uint64_t FileStream::GetSize() {
    DWORD high = 0;
    DWORD low = GetFileSize(H(handle_), &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return 0;
    return IsNtFamily() ? (uint64_t(high) << 32) | low : low;
}

bool FileStream::GetFileTime(FileTime* creation, FileTime* lastAccess, FileTime* lastWrite) {
    return ::GetFileTime(H(handle_), creation, lastAccess, lastWrite) != FALSE;
}

namespace os {

bool IsDirectory(const char* path) {
    if (!path || !*path) return false;
    DWORD a = GetFileAttributesA(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::string CurrentDirectory() {
    char buffer[MAX_PATH + 1] = {};
    DWORD n = GetCurrentDirectoryA(MAX_PATH, buffer);
    if (n == 0 || n > MAX_PATH) return std::string();
    return std::string(buffer, n);
}

std::string FullPathName(const std::string& path) {
    char buffer[MAX_PATH + 1] = {};
    DWORD n = GetFullPathNameA(path.c_str(), MAX_PATH, buffer, nullptr);
    if (n == 0 || n > MAX_PATH) return std::string();
    return std::string(buffer, n);
}

std::string HostName(const char* name) { return name ? name : ""; }

}  // namespace os
}  // namespace core
