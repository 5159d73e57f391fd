#include "core/guid.h"

#include <cstdio>
#include <cstring>

#include "core/exceptions.h"
#include "core/text.h"

#ifdef _WIN32
#include <rpc.h>
#endif

namespace core {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool ComputeNull(const uint8_t* b) {
    for (int i = 0; i < 16; ++i)
        if (b[i]) return false;
    return true;
}

}  // namespace

bool ParseGuidText(std::string_view inner, uint8_t bytes[16]) {
    if (inner.size() != 36) return false;
    for (size_t dash : {8u, 13u, 18u, 23u})
        if (inner[dash] != '-') return false;
    uint8_t raw[16];
    size_t n = 0;
    for (size_t i = 0; i < 36 && n < 16; ++i) {
        if (i == 8 || i == 13 || i == 18 || i == 23) continue;
        int hi = HexDigit(inner[i]), lo = HexDigit(inner[i + 1]);
        if (hi < 0 || lo < 0) return false;
        raw[n++] = uint8_t(hi * 16 + lo);
        ++i;
    }
    // The text is big-endian in its first three groups; the layout is not.
    const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    for (int i = 0; i < 16; ++i) bytes[i] = raw[order[i]];
    return true;
}

CQmGUID::CQmGUID(const uint8_t bytes[16]) {
    std::memcpy(bytes_, bytes, 16);
    isNull_ = ComputeNull(bytes_);
}

CQmGUID::CQmGUID(std::string_view text) {
    std::string lower = ToLowerAscii(text.substr(0, 38));
    bool ok = lower.size() == 38 && lower.front() == '{' && lower.back() == '}';
#ifdef _WIN32
    // The platform's own conversion decides what a GUID text is.
    if (ok) {
        std::string inner = lower.substr(1, 36);
        UUID uuid;
        ok = UuidFromStringA(reinterpret_cast<RPC_CSTR>(inner.data()), &uuid) == RPC_S_OK;
        if (ok) std::memcpy(bytes_, &uuid, 16);
    }
#else
    ok = ok && ParseGuidText(std::string_view(lower).substr(1, 36), bytes_);
#endif
    if (!ok) throw CQmException(kInvalidGuidMessage);
    isNull_ = ComputeNull(bytes_);
}

std::string CQmGUID::ToString() const {
    const uint8_t* b = bytes_;
    char text[39];
    std::snprintf(text, sizeof text, "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", b[3],
                  b[2], b[1], b[0], b[5], b[4], b[7], b[6], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
    return text;
}

bool CQmGUID::operator==(const CQmGUID& other) const { return std::memcmp(bytes_, other.bytes_, 16) == 0; }

}  // namespace core
