// Package files ("Setup.pac"): many named files in one, each cut into chunks
// of B bytes that are stored plain, LZSS-compressed or bzip2-compressed.
//
// Layout (little-endian): the 17-byte header "Package:", B, method byte and a
// reserved word; then entries back to back, each "<CL>", L, L bytes of
// chunks, and a 47-byte block from "<FH>" (size, reserved, stored size,
// chunk count, name length, deleted flag, six reserved words), the name with
// its NUL and the chunk table (offset, stored length with bit 31 for plain).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/stream.h"

namespace core {

inline constexpr char kPackageMagic[8] = {'P', 'a', 'c', 'k', 'a', 'g', 'e', ':'};
inline constexpr uint32_t kPackageHeaderSize = 17;
inline constexpr uint32_t kEntryBlockSize = 47;  // "<FH>" up to the name
inline constexpr uint32_t kStoredPlain = 0x80000000u;
inline constexpr uint32_t kBzip2ChunkMark = 0xFFFFFF02u;
inline constexpr uint32_t kBzip2ChunkHeader = 12;  // mark, plain length, compressed length
// Larger block sizes are refused at open: every package allocates 2.5 blocks.
inline constexpr uint32_t kMaxBlockSize = 64u << 20;

enum PackageMethod : uint8_t { kMethodNone = 0, kMethodLzss = 1, kMethodBzip2 = 2 };

struct ChunkRow {
    uint32_t offset = 0;  // from the start of the package
    uint32_t stored = 0;  // bytes in the file, with kStoredPlain when not compressed
};

struct PackageEntry {
    std::string name;
    uint32_t size = 0;
    uint32_t reserved = 0;
    uint32_t reservedWords[6] = {};
    uint32_t storedSize = 0;
    std::vector<ChunkRow> chunks;
    uint64_t headerMark = 0;  // position of "<FH>"
};

// Work memory handed to libbz2 through its bzalloc/bzfree hooks and kept
// between calls, so that each chunk does not map and fault in fresh arrays of
// several megabytes. One per thread.
class BzipWorkMemory {
public:
    BzipWorkMemory() = default;
    BzipWorkMemory(const BzipWorkMemory&) = delete;
    BzipWorkMemory& operator=(const BzipWorkMemory&) = delete;
    ~BzipWorkMemory();
    static void* Alloc(void* self, int items, int size);
    static void Free(void* self, void* block);

private:
    struct Block {
        void* bytes;
        size_t size;
        bool used;
    };
    std::vector<Block> blocks_;
};

// Decodes compressed chunks: LZSS, or bzip2 when the first word is 0xFFFFFF02.
class ChunkDecoder {
public:
    // Decodes the stored bytes of one compressed chunk into plain (capacity
    // bytes) and returns the number of bytes produced: cut at capacity, and 0
    // when a bzip2 stream fails.
    uint32_t Decode(const uint8_t* stored, uint32_t length, uint8_t* plain, uint32_t capacity);

private:
    uint32_t DecodeBzip2(const uint8_t* stored, uint32_t length, uint8_t* plain, uint32_t capacity);
    BzipWorkMemory memory_;
};

namespace detail {
struct PackageState;
}

class PackageStream;

class PackageFile {
public:
    PackageFile();
    ~PackageFile();
    PackageFile(const PackageFile&) = delete;
    PackageFile& operator=(const PackageFile&) = delete;

    // Reads the header and the directory. baseOffset is where the package
    // starts inside the file (0 for a package of its own).
    bool Open(const std::string& path, uint64_t baseOffset = 0);
    // The same over bytes in memory, which must outlive the package and its streams.
    bool OpenMemory(const uint8_t* bytes, size_t size);
    // Forgets the directory and the work buffers; open streams keep what they use.
    void Close();
    bool IsOpen() const { return state_ != nullptr; }

    // First entry, in file order, whose name equals name without case; null if none.
    std::unique_ptr<PackageStream> FindEntry(std::string_view name);
    std::unique_ptr<PackageStream> OpenEntry(size_t index);

    const std::vector<PackageEntry>& Entries() const;
    uint32_t BlockSize() const;
    uint8_t Method() const;
    uint32_t Reserved() const;
    uint64_t TotalSize() const;
    uint64_t TotalStoredSize() const;
    // Why the directory scan stopped before the end of the file ("" when it
    // reached the end cleanly); what was read before stays listed.
    const std::string& ScanStop() const;

private:
    std::shared_ptr<detail::PackageState> state_;
};

// One entry of a package, read chunk by chunk through the package's shared
// work buffers; a stream whose chunk another stream displaced loads it again.
class PackageStream : public Stream {
public:
    PackageStream(std::shared_ptr<detail::PackageState> package, const PackageEntry* entry,
                  std::unique_ptr<Stream> handle);
    ~PackageStream() override;

    bool Close() override;
    // Fewer bytes than asked at the end of the entry, and where a chunk cannot
    // be read or decodes short; the position stays after the last good byte.
    uint64_t Read(void* destination, uint64_t count) override;
    uint64_t Write(const void*, uint64_t) override { return 0xFFFFFFFFu; }
    // No range check: a position at or past the end makes Read return 0.
    bool Seek(int64_t offset, int origin) override;
    uint64_t Tell() override { return position_; }
    uint64_t GetSize() override { return entry_->size; }

    const PackageEntry& Entry() const { return *entry_; }

private:
    // Loads chunk index into the shared plain buffer; returns the bytes it holds.
    uint32_t LoadChunk(uint32_t index);
    // Reads count stored bytes at a package offset through this stream's handle.
    uint32_t ReadAt(uint64_t offset, void* destination, uint32_t count);
    uint32_t ChunkLength(uint32_t index) const;

    std::shared_ptr<detail::PackageState> package_;
    const PackageEntry* entry_;
    std::unique_ptr<Stream> handle_;
    uint64_t handlePosition_ = UINT64_MAX;  // where the handle stands, to skip needless seeks
    uint32_t position_ = 0;
    uint32_t loadedChunk_ = UINT32_MAX;
    uint32_t loadedLength_ = 0;
};

}  // namespace core
