#include "core/lzss.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace core::lzss {

static_assert(std::endian::native == std::endian::little, "match lengths are found with little-endian word loads");

namespace {

constexpr uint32_t kWindowMask = kWindowSize - 1;
constexpr uint32_t kHashBits = 14;
constexpr uint32_t kHash3Bits = 12;
constexpr uint32_t kSlack = 24;  // lets the match compare load whole words past the end
// Literals in a row after which the search thins out.
constexpr uint32_t kSkipAfter = 64;

// Distance back from output position op to ring index p (1 to 4096): the
// ring index of output byte i is kFirstRingIndex + i, modulo the window.
inline uint32_t Distance(size_t op, uint32_t p) {
    uint32_t d = uint32_t(kFirstRingIndex + op - p) & kWindowMask;
    return d ? d : kWindowSize;
}

// A match that reaches back before the first output byte: those bytes are
// the ring's initial spaces.
inline void CopyFromRingStart(uint8_t* out, size_t op, uint32_t d, uint32_t len) {
    for (uint32_t k = 0; k < len; ++k) {
        ptrdiff_t s = ptrdiff_t(op + k) - ptrdiff_t(d);
        out[op + k] = s < 0 ? uint8_t(' ') : out[s];
    }
}

inline void CopyMatch(uint8_t* out, size_t op, uint32_t d, uint32_t len) {
    if (d > op) {
        CopyFromRingStart(out, op, d, len);
        return;
    }
    const uint8_t* src = out + op - d;
    for (uint32_t k = 0; k < len; ++k) out[op + k] = src[k];  // may overlap forward, byte by byte
}

inline uint32_t Load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

inline uint64_t Load64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

inline uint32_t Hash4(const uint8_t* p) { return (Load32(p) * 2654435761u) >> (32 - kHashBits); }
inline uint32_t Hash3(const uint8_t* p) { return ((Load32(p) << 8) * 2654435761u) >> (32 - kHash3Bits); }

}  // namespace

size_t Decode(const uint8_t* in, size_t n, uint8_t* out, size_t capacity) {
    size_t ip = 0, op = 0;
    // Whole flag groups while one surely fits in both buffers: no checks per item.
    while (ip + 17 <= n && op + 8 * kMaxMatch <= capacity) {
        unsigned flags = in[ip++];
        for (int bit = 0; bit < 8; ++bit, flags >>= 1) {
            if (flags & 1) {
                out[op++] = in[ip++];
                continue;
            }
            uint32_t c1 = in[ip], c2 = in[ip + 1];
            ip += 2;
            uint32_t len = (c2 & 0x0F) + kMinMatch;
            uint32_t d = Distance(op, c1 | ((c2 & 0xF0) << 4));
            if (d >= kMaxMatch && d <= op)
                std::memcpy(out + op, out + op - d, kMaxMatch);  // bytes past len are rewritten later
            else
                CopyMatch(out, op, d, len);
            op += len;
        }
    }
    // The rest, item by item.
    while (ip < n) {
        unsigned flags = in[ip++];
        for (int bit = 0; bit < 8; ++bit, flags >>= 1) {
            if (flags & 1) {
                if (ip >= n || op >= capacity) return op;
                out[op++] = in[ip++];
                continue;
            }
            if (ip + 2 > n || op >= capacity) return op;
            uint32_t c1 = in[ip], c2 = in[ip + 1];
            ip += 2;
            uint32_t len = std::min<uint32_t>((c2 & 0x0F) + kMinMatch, uint32_t(std::min<size_t>(capacity - op, kMaxMatch)));
            CopyMatch(out, op, Distance(op, c1 | ((c2 & 0xF0) << 4)), len);
            op += len;
        }
    }
    return op;
}

Encoder::Encoder(int maxChain, bool lazy)
    : maxChain_(maxChain < 1 ? 1 : maxChain), lazy_(lazy), head_(size_t(1) << kHashBits), head3_(size_t(1) << kHash3Bits), prev_(kWindowSize) {}

size_t Encoder::Encode(const uint8_t* data, size_t size, std::vector<uint8_t>& out) {
    // The window's initial spaces come first, so that matches may start in them
    // just as the decoder's do.
    const uint32_t start = kMaxMatch;
    text_.assign(start, uint8_t(' '));
    text_.insert(text_.end(), data, data + size);
    text_.resize(text_.size() + kSlack, 0);
    std::fill(head_.begin(), head_.end(), -1);
    std::fill(head3_.begin(), head3_.end(), -1);

    const uint8_t* t = text_.data();
    int32_t* head = head_.data();
    int32_t* head3 = head3_.data();
    int32_t* prev = prev_.data();
    const uint32_t end = uint32_t(start + size);
    uint32_t inserted = 0;  // positions below this are in the chains

    auto insertUpTo = [&](uint32_t to) {
        for (; inserted < to; ++inserted) {
            uint32_t h = Hash4(t + inserted);
            prev[inserted & kWindowMask] = head[h];
            head[h] = int32_t(inserted);
            head3[Hash3(t + inserted)] = int32_t(inserted);
        }
    };
    // The longest match at `at` that is longer than atLeast (length 0 if none);
    // `at` joins the chains afterwards.
    auto find = [&](uint32_t at, uint32_t atLeast, int chain) {
        insertUpTo(at);
        uint32_t h = Hash4(t + at), h3 = Hash3(t + at);
        int32_t cand = head[h], cand3 = head3[h3];
        prev[at & kWindowMask] = cand;
        head[h] = int32_t(at);
        head3[h3] = int32_t(at);
        inserted = at + 1;

        Match best;
        const uint32_t limit = std::min(kMaxMatch, end - at);
        if (limit <= atLeast) return best;
        const uint8_t* cur = t + at;
        uint32_t bestLength = atLeast;
        for (; cand >= 0 && chain-- > 0; cand = prev[uint32_t(cand) & kWindowMask]) {
            uint32_t distance = at - uint32_t(cand);
            if (distance > kWindowSize) break;
            const uint8_t* c = t + cand;
            if (c[bestLength] != cur[bestLength] || c[0] != cur[0]) continue;
            uint32_t len = 0;
            for (;;) {
                uint64_t diff = Load64(c + len) ^ Load64(cur + len);
                if (diff) {
                    len += uint32_t(std::countr_zero(diff)) / 8;
                    break;
                }
                len += 8;
                if (len >= limit) break;
            }
            if (len > bestLength) {
                bestLength = std::min(len, limit);
                best = {bestLength, distance};
                if (bestLength == limit) break;
            }
        }
        // Chains are kept for four bytes, which keeps them short; a match of
        // three is as good as any other of three, so the newest will do.
        if (bestLength < kMinMatch + 1 && atLeast < kMinMatch && cand3 >= 0 && limit >= kMinMatch &&
            at - uint32_t(cand3) <= kWindowSize && (Load32(t + cand3) << 8) == (Load32(cur) << 8))
            best = {kMinMatch, at - uint32_t(cand3)};
        if (best.length < kMinMatch) best = {};
        return best;
    };

    const size_t base = out.size();
    out.resize(base + size + size / 8 + 2);
    uint8_t* o = out.data() + base;
    size_t op = 0, flagAt = 0;
    int bit = 8;
    auto item = [&](bool literal) {
        if (bit == 8) {
            flagAt = op;
            o[op++] = 0;
            bit = 0;
        }
        if (literal) o[flagAt] |= uint8_t(1u << bit);
        ++bit;
    };

    uint32_t i = start;
    Match cur;
    bool pending = false;
    uint32_t misses = 0;
    while (i < end) {
        if (!pending) {
            // Long runs without a match (compressed media) are searched and
            // indexed at every fourth position only: such chunks end up stored
            // plain anyway, and a match found resumes the full search.
            if (misses >= kSkipAfter && (i & 3)) {
                item(true);
                o[op++] = t[i++];
                inserted = std::max(inserted, i);
                continue;
            }
            cur = find(i, kMinMatch - 1, maxChain_);
        }
        pending = false;
        if (cur.length && lazy_ && cur.length < kMaxMatch && i + 1 < end) {
            Match next = find(i + 1, cur.length, maxChain_);
            if (next.length) {
                item(true);
                o[op++] = t[i++];
                cur = next;
                pending = true;
                continue;
            }
        }
        if (cur.length) {
            uint32_t p = (kFirstRingIndex + (i - cur.distance) - start) & kWindowMask;
            item(false);
            o[op++] = uint8_t(p);
            o[op++] = uint8_t(((p >> 4) & 0xF0) | (cur.length - kMinMatch));
            i += cur.length;
            misses = 0;
        } else {
            item(true);
            o[op++] = t[i++];
            ++misses;
        }
    }
    out.resize(base + op);
    return op;
}

}  // namespace core::lzss
