#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "core/os/file_stream.h"
#include "core/os/os.h"

namespace core {

namespace {
constexpr uint64_t kTicksPerSecond = 10000000;
constexpr uint64_t kEpochDifference = 11644473600ULL;  // 1601 to 1970, in seconds

FileTime ToFileTime(const struct timespec& t) {
    uint64_t ticks = (uint64_t(t.tv_sec) + kEpochDifference) * kTicksPerSecond + uint64_t(t.tv_nsec) / 100;
    return FileTime{uint32_t(ticks), uint32_t(ticks >> 32)};
}
}  // namespace

std::unique_ptr<FileStream> FileStream::Open(const char* name, FileOpenMode mode, uint32_t) {
    if (!name || !*name) return nullptr;
    std::string path = os::HostName(name);
    int flags = mode == FileOpenMode::Read ? O_RDONLY : mode == FileOpenMode::ReadWrite ? O_RDWR
                                                                                        : O_RDWR | O_CREAT | O_TRUNC;
    int fd;
    do fd = ::open(path.c_str(), flags | O_CLOEXEC, 0644);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) return nullptr;
    struct stat st;
    // Folders are not files, as on Windows.
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<FileStream>(new FileStream(fd, path));
}

FileStream::~FileStream() { Close(); }

bool FileStream::Close() {
    if (handle_ < 0) return true;
    // Not retried on EINTR: the descriptor is gone either way.
    int rc = ::close(int(handle_));
    handle_ = -1;
    return rc == 0;
}

bool FileStream::Discard() {
    Close();
    return !path_.empty() && ::unlink(path_.c_str()) == 0;
}

uint64_t FileStream::Read(void* destination, uint64_t count) {
    uint64_t total = 0;
    auto* out = static_cast<char*>(destination);
    while (count > 0) {
        size_t chunk = count > 0x40000000 ? 0x40000000 : size_t(count);
        ssize_t got = ::read(int(handle_), out + total, chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        total += uint64_t(got);
        count -= uint64_t(got);
    }
    return total;
}

uint64_t FileStream::Write(const void* source, uint64_t count) {
    uint64_t total = 0;
    auto* in = static_cast<const char*>(source);
    while (count > 0) {
        size_t chunk = count > 0x40000000 ? 0x40000000 : size_t(count);
        ssize_t put = ::write(int(handle_), in + total, chunk);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) break;
        total += uint64_t(put);
        count -= uint64_t(put);
    }
    return total;
}

uint32_t FileStream::ReadLine(char* destination, uint32_t capacity) {
    return ReadLineImpl(destination, capacity, true);
}

bool FileStream::Seek(int64_t offset, int origin) {
    int whence = origin == kSeekBegin ? SEEK_SET : origin == kSeekCurrent ? SEEK_CUR : SEEK_END;
    return ::lseek(int(handle_), off_t(offset), whence) >= 0;
}

uint64_t FileStream::Tell() {
    off_t at = ::lseek(int(handle_), 0, SEEK_CUR);
    return at < 0 ? 0 : uint64_t(at);
}

uint64_t FileStream::GetSize() {
    struct stat st;
    return fstat(int(handle_), &st) == 0 ? uint64_t(st.st_size) : 0;
}

bool FileStream::GetFileTime(FileTime* creation, FileTime* lastAccess, FileTime* lastWrite) {
    struct stat st;
    if (fstat(int(handle_), &st) != 0) return false;
    if (creation) *creation = ToFileTime(st.st_ctim);
    if (lastAccess) *lastAccess = ToFileTime(st.st_atim);
    if (lastWrite) *lastWrite = ToFileTime(st.st_mtim);
    return true;
}

namespace os {

bool IsDirectory(const char* path) {
    struct stat st;
    return path && *path && ::stat(HostName(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string CurrentDirectory() {
    char buffer[PATH_MAX];
    return ::getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string();
}

std::string FullPathName(const std::string& path) {
    std::string host = HostName(path.c_str());
    if (host.empty()) return host;
    if (host[0] != '/') {
        std::string cwd = CurrentDirectory();
        if (cwd.empty()) return cwd;
        host = cwd + "/" + host;
    }
    // Fold "." and ".." lexically, as GetFullPathNameA does, without touching the disc.
    std::string out;
    size_t i = 0;
    while (i < host.size()) {
        size_t j = host.find('/', i);
        if (j == std::string::npos) j = host.size();
        std::string part = host.substr(i, j - i);
        if (part == "..") {
            size_t cut = out.rfind('/');
            out.resize(cut == std::string::npos ? 0 : cut);
        } else if (!part.empty() && part != ".") {
            out += "/" + part;
        }
        i = j + 1;
    }
    return out.empty() ? "/" : out;
}

std::string HostName(const char* name) {
    std::string s = name ? name : "";
    for (char& c : s)
        if (c == '\\') c = '/';
    return s;
}

}  // namespace os
}  // namespace core
