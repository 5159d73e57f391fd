// Ring-buffer LZSS of package chunks: a 4096-byte window that starts out
// filled with spaces, matches of 3 to 18 bytes, and one flag byte ahead of
// every eight items (bit set: a literal byte; clear: a two-byte match).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace core::lzss {

inline constexpr uint32_t kWindowSize = 4096;
inline constexpr uint32_t kMaxMatch = 18;
inline constexpr uint32_t kMinMatch = 3;
// Where the decoder writes its first byte into the ring.
inline constexpr uint32_t kFirstRingIndex = kWindowSize - kMaxMatch;

// Decodes code bytes into out and returns the number of bytes produced. The
// output is cut at capacity, and a code that needs more input than is left
// ends decoding. The output doubles as the window: a reference before its
// first byte reads the ring's initial spaces.
size_t Decode(const uint8_t* codes, size_t codeCount, uint8_t* out, size_t capacity);

// Greedy-with-lookahead encoder over hash chains of four-byte prefixes. Keeps its tables between
// calls so that encoding many chunks allocates once; one per thread.
class Encoder {
public:
    // maxChain bounds the candidates tried per position; lazy lets a longer
    // match one byte later win over the current one.
    static constexpr int kDefaultChain = 32;
    explicit Encoder(int maxChain = kDefaultChain, bool lazy = true);

    // Appends the code bytes of one independent chunk (fresh window) to out
    // and returns how many were appended.
    size_t Encode(const uint8_t* data, size_t size, std::vector<uint8_t>& out);

private:
    struct Match {
        uint32_t length = 0;
        uint32_t distance = 0;
    };

    int maxChain_;
    bool lazy_;
    std::vector<uint8_t> text_;  // spaces the window starts with, then the chunk, then slack
    std::vector<int32_t> head_;  // newest position per hash of four bytes
    std::vector<int32_t> head3_; // newest position per hash of three bytes
    std::vector<int32_t> prev_;  // older position with the same hash, by position mod window
};

}  // namespace core::lzss
