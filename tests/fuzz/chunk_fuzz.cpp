// Properties:
// 1. Decoding any bytes as a compressed chunk (LZSS, or bzip2 behind the
//    0xFFFFFF02 header) into a buffer of B bytes writes only inside the
//    buffer and reports at most B bytes.
// 2. Every chunk the encoders make decodes back to exactly its input.
//
// Input: two bytes choosing B (1 to 65536), then the chunk bytes.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "core/lzss.h"
#include "core/package.h"
#include "core/package_writer.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

void PutU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const uint32_t B = 1 + (uint32_t(data[0]) | uint32_t(data[1]) << 8);
    data += 2, size -= 2;
    static core::ChunkDecoder decoder;

    // 1. Exactly B bytes of heap, so that a write past them is caught.
    std::unique_ptr<uint8_t[]> plain(new uint8_t[B]);
    Check(decoder.Decode(data, uint32_t(size), plain.get(), B) <= B);
    std::vector<uint8_t> bzip2(core::kBzip2ChunkHeader + size);
    PutU32(bzip2.data(), core::kBzip2ChunkMark);
    PutU32(bzip2.data() + 4, B);
    PutU32(bzip2.data() + 8, uint32_t(size));
    if (size) std::memcpy(bzip2.data() + core::kBzip2ChunkHeader, data, size);
    Check(decoder.Decode(bzip2.data(), uint32_t(bzip2.size()), plain.get(), B) <= B);

    // 2. Round trips of one chunk (at most 64 KiB, as packages cut them).
    const uint32_t n = uint32_t(size < 65536 ? size : 65536);
    std::unique_ptr<uint8_t[]> back(new uint8_t[n + 1]);
    static core::lzss::Encoder lzss;
    std::vector<uint8_t> codes;
    lzss.Encode(data, n, codes);
    Check(core::lzss::Decode(codes.data(), codes.size(), back.get(), n) == n);
    Check(n == 0 || std::memcmp(back.get(), data, n) == 0);

    static core::ChunkEncoder encoder;
    for (core::PackMethod m : {core::PackMethod::Lzss, core::PackMethod::Bzip2}) {
        // bzip2 is the library's own; a short chunk keeps the runs many.
        const uint32_t k = m == core::PackMethod::Bzip2 && n > 4096 ? 4096 : n;
        std::vector<uint8_t> stored;
        uint32_t word = encoder.Encode(m, data, k, stored);
        uint32_t length = word & ~core::kStoredPlain;
        Check(length == stored.size());
        if (word & core::kStoredPlain) {
            Check(length == k && (k == 0 || std::memcmp(stored.data(), data, k) == 0));
            continue;
        }
        Check(length < k);
        Check(decoder.Decode(stored.data(), length, back.get(), k) == k);
        Check(std::memcmp(back.get(), data, k) == 0);
    }
    return 0;
}
