// Writing packages that PackageFile reads: chunks compressed in parallel on
// all cores (byte-identical to a single-threaded run), written to a temporary
// name next to the target and renamed into place only when complete.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/lzss.h"
#include "core/package.h"

namespace core {

// Best stores each chunk as the smallest of plain, LZSS and bzip2 (method byte 2).
enum class PackMethod { None, Lzss, Bzip2, Best };

const char* PackMethodName(PackMethod method);
bool ParsePackMethod(std::string_view text, PackMethod* method);
uint8_t PackMethodByte(PackMethod method);

// Chunks shorter than this are always stored plain.
inline constexpr uint32_t kMinCompressedChunk = 64;

// Encodes chunks as they are stored. Keeps its tables and bzip2 work memory
// between chunks; one per thread.
class ChunkEncoder {
public:
    // Appends the chunk as stored to out and returns its stored-length word:
    // the byte count, with kStoredPlain when compression did not make it smaller.
    uint32_t Encode(PackMethod method, const uint8_t* data, uint32_t size, std::vector<uint8_t>& out);
    // One coder each: append the compressed chunk (with its count or bzip2
    // header) and return its length, or return 0 and append nothing when it
    // would not be smaller than size.
    uint32_t EncodeLzss(const uint8_t* data, uint32_t size, std::vector<uint8_t>& out);
    uint32_t EncodeBzip2(const uint8_t* data, uint32_t size, std::vector<uint8_t>& out);

private:
    lzss::Encoder lzss_;
    BzipWorkMemory memory_;
    std::vector<uint8_t> other_;
};

// One entry to write: a file's contents, or bytes given in memory.
struct PackInput {
    std::string name;  // as stored, "\" between folders
    std::string file;  // read from here when not empty
    std::vector<uint8_t> bytes;

    static PackInput FromFile(std::string name, std::string file) { return {std::move(name), std::move(file), {}}; }
    static PackInput FromBytes(std::string name, std::vector<uint8_t> bytes) {
        return {std::move(name), {}, std::move(bytes)};
    }
};

struct PackProgress {
    uint64_t files = 0;       // entries completed
    uint64_t filesTotal = 0;
    uint64_t bytesIn = 0;     // entry bytes written so far
    uint64_t bytesTotal = 0;  // as the inputs measured at the start
    uint64_t bytesOut = 0;    // their stored size
};

struct PackOptions {
    PackMethod method = PackMethod::Best;
    uint32_t blockSize = 65536;
    unsigned threads = 0;  // 0: one per core
    // Called on the calling thread as chunks are written.
    std::function<void(const PackProgress&)> progress;
    // Told the temporary name before anything is written to it, so that an
    // interrupted caller can remove it.
    std::function<void(const std::string&)> temporaryName;
};

// Writes the package. On failure returns false with one line naming the file
// and what is wrong in *error, and leaves nothing under path (an existing file
// there stays as it was).
bool WritePackage(const std::string& path, const std::vector<PackInput>& inputs, const PackOptions& options,
                  std::string* error);

}  // namespace core
