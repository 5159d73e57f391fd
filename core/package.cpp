#include "core/package.h"

#include <bzlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "core/lzss.h"
#include "core/os/file_stream.h"
#include "core/text.h"

namespace core {

namespace {

constexpr uint32_t kSequentialScan = 0x08000000;  // FILE_FLAG_SEQUENTIAL_SCAN
constexpr size_t kMaxCachedBlocks = 16;

uint32_t U32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

}  // namespace

// ---------------------------------------------------------------------------
// bzip2 work memory

BzipWorkMemory::~BzipWorkMemory() {
    for (Block& b : blocks_) std::free(b.bytes);
}

void* BzipWorkMemory::Alloc(void* self, int items, int size) {
    auto* m = static_cast<BzipWorkMemory*>(self);
    if (items < 0 || size < 0) return nullptr;
    size_t want = size_t(items) * size_t(size);
    for (Block& b : m->blocks_)
        if (!b.used && b.size == want) {
            b.used = true;
            return b.bytes;
        }
    // Garbage streams ask for arrays of several sizes; do not hoard them all.
    if (m->blocks_.size() >= kMaxCachedBlocks)
        for (auto it = m->blocks_.begin(); it != m->blocks_.end(); ++it)
            if (!it->used) {
                std::free(it->bytes);
                m->blocks_.erase(it);
                break;
            }
    void* bytes = std::malloc(want ? want : 1);
    if (bytes) m->blocks_.push_back({bytes, want, true});
    return bytes;
}

void BzipWorkMemory::Free(void* self, void* block) {
    auto* m = static_cast<BzipWorkMemory*>(self);
    for (Block& b : m->blocks_)
        if (b.bytes == block) {
            b.used = false;
            return;
        }
}

// ---------------------------------------------------------------------------
// Chunk decoding

uint32_t ChunkDecoder::Decode(const uint8_t* stored, uint32_t length, uint8_t* plain, uint32_t capacity) {
    if (length < 4) return 0;
    uint32_t first = U32(stored);
    if (first == kBzip2ChunkMark) return DecodeBzip2(stored, length, plain, capacity);
    // A count that claims more code bytes than the chunk holds decodes what is there.
    uint32_t codes = std::min(first, length - 4);
    return uint32_t(lzss::Decode(stored + 4, codes, plain, capacity));
}

uint32_t ChunkDecoder::DecodeBzip2(const uint8_t* stored, uint32_t length, uint8_t* plain, uint32_t capacity) {
    if (length < kBzip2ChunkHeader) return 0;
    uint32_t room = std::min(U32(stored + 4), capacity);
    uint32_t packed = std::min(U32(stored + 8), length - kBzip2ChunkHeader);

    bz_stream s;
    std::memset(&s, 0, sizeof s);
    s.bzalloc = BzipWorkMemory::Alloc;
    s.bzfree = BzipWorkMemory::Free;
    s.opaque = &memory_;
    if (BZ2_bzDecompressInit(&s, 0, 0) != BZ_OK) return 0;
    s.next_in = const_cast<char*>(reinterpret_cast<const char*>(stored + kBzip2ChunkHeader));
    s.avail_in = packed;
    s.next_out = reinterpret_cast<char*>(plain);
    s.avail_out = room;
    int rc = BZ2_bzDecompress(&s);
    uint32_t produced = room - s.avail_out;
    BZ2_bzDecompressEnd(&s);
    if (rc == BZ_STREAM_END) return produced;
    // A stream that holds more than the chunk's room is cut there, as LZSS is;
    // any other outcome (damaged or truncated stream) gives nothing.
    if (rc == BZ_OK && room > 0 && s.avail_out == 0) return produced;
    return 0;
}

// ---------------------------------------------------------------------------
// Package

namespace detail {

struct PackageState {
    std::string path;
    uint64_t base = 0;
    const uint8_t* memory = nullptr;
    size_t memorySize = 0;

    uint32_t blockSize = 0;
    uint8_t method = 0;
    uint32_t reserved = 0;
    uint64_t totalSize = 0;
    uint64_t totalStored = 0;
    std::vector<PackageEntry> entries;
    std::string scanStop;

    // Shared by every stream of the package (single-threaded, not locked).
    std::unique_ptr<uint8_t[]> compressed;  // B + B/2
    std::unique_ptr<uint8_t[]> plain;       // B
    ChunkDecoder decoder;
    PackageStream* lastReader = nullptr;

    uint32_t CompressedCapacity() const { return blockSize + blockSize / 2; }

    std::unique_ptr<Stream> OpenHandle() const {
        if (memory) return std::make_unique<ResourceStream>(memory, memorySize);
        return FileStream::Open(path.c_str(), FileOpenMode::Read, kSequentialScan);
    }
};

}  // namespace detail

namespace {

// Reads count bytes at position pos of the package; returns how many arrived.
uint64_t ReadAt(Stream& s, uint64_t base, uint64_t pos, void* destination, uint64_t count) {
    if (!s.Seek(int64_t(base + pos), kSeekBegin)) return 0;
    return s.Read(destination, count);
}

std::string At(uint64_t pos) { return " at offset " + std::to_string(pos); }

// Reads the header and the directory into state; false when this is no package.
bool Scan(detail::PackageState& st) {
    std::unique_ptr<Stream> file = st.OpenHandle();
    if (!file) return false;
    uint64_t physical = file->GetSize();
    if (st.base > physical) return false;
    const uint64_t end = physical - st.base;

    uint8_t header[kPackageHeaderSize];
    if (ReadAt(*file, st.base, 0, header, sizeof header) != sizeof header) return false;
    if (std::memcmp(header, kPackageMagic, sizeof kPackageMagic) != 0) return false;
    st.blockSize = U32(header + 8);
    st.method = header[12];
    st.reserved = U32(header + 13);
    if (st.blockSize == 0 || st.blockSize > kMaxBlockSize) return false;
    // Not value-initialised: a package that is only listed never touches them.
    st.compressed.reset(new uint8_t[st.CompressedCapacity()]);
    st.plain.reset(new uint8_t[st.blockSize]);

    uint64_t pos = kPackageHeaderSize;
    for (;;) {
        if (pos == end) break;
        uint8_t lead[8];
        if (pos + sizeof lead > end || ReadAt(*file, st.base, pos, lead, sizeof lead) != sizeof lead) {
            st.scanStop = std::to_string(end - pos) + " stray bytes" + At(pos);
            break;
        }
        if (std::memcmp(lead, "<CL>", 4) != 0) {
            st.scanStop = "no entry mark" + At(pos);
            break;
        }
        const uint64_t mark = pos + 8 + U32(lead + 4);
        uint8_t block[kEntryBlockSize] = {};
        if (mark + kEntryBlockSize > end || ReadAt(*file, st.base, mark, block, sizeof block) != sizeof block ||
            std::memcmp(block, "<FH>", 4) != 0) {
            st.scanStop = "no entry header" + At(mark);
            break;
        }
        PackageEntry e;
        e.headerMark = mark;
        e.size = U32(block + 4);
        e.reserved = U32(block + 8);
        e.storedSize = U32(block + 12);
        const uint32_t count = U32(block + 16);
        const uint32_t nameLength = uint32_t(block[20]) | uint32_t(block[21]) << 8;
        const bool deleted = block[22] != 0;
        for (int i = 0; i < 6; ++i) e.reservedWords[i] = U32(block + 23 + 4 * i);

        // The tail is checked against the file before anything is allocated
        // for it, so an absurd count or name length cannot ask for much memory.
        const uint64_t tail = mark + kEntryBlockSize;
        const uint64_t next = tail + nameLength + 8 * uint64_t(count);
        if (next > end) {
            st.scanStop = "name and chunk table of the entry" + At(mark) + " run past the end of the file";
            break;
        }
        if (deleted) {
            pos = next;
            continue;
        }
        // A chunk count other than ceil(size / B) is the entry's own damage:
        // its tail is where the header says, so the scan goes on to the
        // entries after it. Reading it stops at its last chunk row and
        // never reads a row beyond the size.
        std::vector<uint8_t> raw(nameLength + 8 * size_t(count));
        if (!raw.empty() && ReadAt(*file, st.base, tail, raw.data(), raw.size()) != raw.size()) {
            st.scanStop = "entry" + At(mark) + " cannot be read";
            break;
        }
        const char* name = reinterpret_cast<const char*>(raw.data());
        if (nameLength) e.name.assign(name, strnlen(name, nameLength));
        e.chunks.resize(count);
        for (uint32_t i = 0; i < count; ++i) {
            const uint8_t* row = raw.data() + nameLength + 8 * size_t(i);
            e.chunks[i] = {U32(row), U32(row + 4)};
        }
        st.totalSize += e.size;
        st.totalStored += e.storedSize;
        st.entries.push_back(std::move(e));
        pos = next;
    }
    return true;
}

}  // namespace

PackageFile::PackageFile() = default;
PackageFile::~PackageFile() = default;

bool PackageFile::Open(const std::string& path, uint64_t baseOffset) {
    auto st = std::make_shared<detail::PackageState>();
    st->path = path;
    st->base = baseOffset;
    if (!Scan(*st)) return false;
    state_ = std::move(st);
    return true;
}

bool PackageFile::OpenMemory(const uint8_t* bytes, size_t size) {
    auto st = std::make_shared<detail::PackageState>();
    st->memory = bytes ? bytes : reinterpret_cast<const uint8_t*>("");
    st->memorySize = bytes ? size : 0;
    if (!Scan(*st)) return false;
    state_ = std::move(st);
    return true;
}

void PackageFile::Close() { state_.reset(); }

std::unique_ptr<PackageStream> PackageFile::FindEntry(std::string_view name) {
    if (!state_) return nullptr;
    for (size_t i = 0; i < state_->entries.size(); ++i)
        if (EqualsNoCase(state_->entries[i].name, name)) return OpenEntry(i);
    return nullptr;
}

std::unique_ptr<PackageStream> PackageFile::OpenEntry(size_t index) {
    if (!state_ || index >= state_->entries.size()) return nullptr;
    std::unique_ptr<Stream> handle = state_->OpenHandle();
    if (!handle) return nullptr;
    return std::make_unique<PackageStream>(state_, &state_->entries[index], std::move(handle));
}

namespace {
const std::vector<PackageEntry> kNoEntries;
const std::string kNoText;
}  // namespace

const std::vector<PackageEntry>& PackageFile::Entries() const { return state_ ? state_->entries : kNoEntries; }
uint32_t PackageFile::BlockSize() const { return state_ ? state_->blockSize : 0; }
uint8_t PackageFile::Method() const { return state_ ? state_->method : 0; }
uint32_t PackageFile::Reserved() const { return state_ ? state_->reserved : 0; }
uint64_t PackageFile::TotalSize() const { return state_ ? state_->totalSize : 0; }
uint64_t PackageFile::TotalStoredSize() const { return state_ ? state_->totalStored : 0; }
const std::string& PackageFile::ScanStop() const { return state_ ? state_->scanStop : kNoText; }

// ---------------------------------------------------------------------------
// Stream

PackageStream::PackageStream(std::shared_ptr<detail::PackageState> package, const PackageEntry* entry,
                             std::unique_ptr<Stream> handle)
    : package_(std::move(package)), entry_(entry), handle_(std::move(handle)) {}

PackageStream::~PackageStream() { Close(); }

bool PackageStream::Close() {
    bool ok = !handle_ || handle_->Close();
    handle_.reset();
    if (package_->lastReader == this) package_->lastReader = nullptr;
    return ok;
}

bool PackageStream::Seek(int64_t offset, int origin) {
    if (origin == kSeekCurrent)
        offset += position_;
    else if (origin == kSeekEnd)
        offset += entry_->size;
    position_ = uint32_t(offset);
    return true;
}

uint32_t PackageStream::ChunkLength(uint32_t index) const {
    uint64_t start = uint64_t(index) * package_->blockSize;
    return uint32_t(std::min<uint64_t>(package_->blockSize, entry_->size - start));
}

uint32_t PackageStream::ReadAt(uint64_t offset, void* destination, uint32_t count) {
    uint64_t at = package_->base + offset;
    if (handlePosition_ != at) {
        if (!handle_->Seek(int64_t(at), kSeekBegin)) {
            handlePosition_ = UINT64_MAX;
            return 0;
        }
        handlePosition_ = at;
    }
    uint32_t got = uint32_t(handle_->Read(destination, count));
    handlePosition_ += got;
    return got;
}

uint32_t PackageStream::LoadChunk(uint32_t index) {
    detail::PackageState& st = *package_;
    const ChunkRow& row = entry_->chunks[index];
    uint32_t length = row.stored & ~kStoredPlain;
    bool compressed = st.method != kMethodNone && !(row.stored & kStoredPlain);
    uint32_t produced = 0;
    if (!compressed) {
        // A plain chunk longer than a block is cut at the block.
        produced = ReadAt(row.offset, st.plain.get(), std::min(length, st.blockSize));
    } else if (length <= st.CompressedCapacity()) {
        uint32_t got = ReadAt(row.offset, st.compressed.get(), length);
        produced = st.decoder.Decode(st.compressed.get(), got, st.plain.get(), st.blockSize);
    }
    // A compressed chunk longer than the compressed buffer is refused: it produces nothing.
    loadedChunk_ = index;
    loadedLength_ = produced;
    st.lastReader = this;
    return produced;
}

uint64_t PackageStream::Read(void* destination, uint64_t count) {
    if (!handle_ || position_ >= entry_->size) return 0;
    count = std::min<uint64_t>(count, entry_->size - position_);
    detail::PackageState& st = *package_;
    const uint32_t B = st.blockSize;
    auto* out = static_cast<uint8_t*>(destination);
    uint64_t total = 0;
    while (count > 0) {
        uint32_t index = position_ / B;
        uint32_t offset = position_ % B;
        if (index >= entry_->chunks.size()) break;
        uint32_t want = uint32_t(std::min<uint64_t>(count, B - offset));
        bool loaded = index == loadedChunk_ && st.lastReader == this;
        const ChunkRow& row = entry_->chunks[index];
        bool plain = st.method == kMethodNone || (row.stored & kStoredPlain);
        uint32_t got;
        if (plain && !loaded && offset == 0 && want == ChunkLength(index)) {
            // Whole plain chunks go straight to the caller, past the shared
            // buffer, and those that follow each other in the file in one read.
            uint32_t length = row.stored & ~kStoredPlain;
            if (length == want) {
                const size_t rows = std::min<size_t>(entry_->chunks.size(), (uint64_t(entry_->size) + B - 1) / B);
                for (size_t next = index + 1; next < rows; ++next) {
                    const ChunkRow& r = entry_->chunks[next];
                    uint32_t n = ChunkLength(uint32_t(next));
                    bool follows = uint64_t(row.offset) + want == r.offset && (r.stored & ~kStoredPlain) == n;
                    if (!follows || !(st.method == kMethodNone || (r.stored & kStoredPlain)) || want + uint64_t(n) > count)
                        break;
                    want += n;
                }
                length = want;
            }
            got = ReadAt(row.offset, out, std::min(length, want));
        } else {
            if (!loaded) LoadChunk(index);
            got = std::min(want, loadedLength_ > offset ? loadedLength_ - offset : 0);
            std::memcpy(out, st.plain.get() + offset, got);
        }
        out += got;
        position_ += got;
        total += got;
        count -= got;
        if (got < want) break;  // the chunk ran short: the read ends here
    }
    return total;
}

}  // namespace core
