// A stream over bytes that behaves as a file on a damaged disc: from a given
// offset on, reads fail (nothing read, the position stays); seeks go
// anywhere, past the end too, as a file's do. Shared by the ini tests and the
// ini fuzz target.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "core/stream.h"

namespace testutil {

class DamagedStream : public core::Stream {
public:
    DamagedStream(std::string bytes, uint64_t badFrom) : bytes_(std::move(bytes)), badFrom_(badFrom) {}
    uint64_t Read(void* destination, uint64_t count) override {
        ++reads;
        uint64_t end = std::min<uint64_t>(bytes_.size(), badFrom_);
        if (position_ >= end) return 0;
        uint64_t n = std::min<uint64_t>(count, end - position_);
        std::memcpy(destination, bytes_.data() + position_, size_t(n));
        position_ += n;
        return n;
    }
    uint64_t Write(const void*, uint64_t) override { return 0; }
    bool Seek(int64_t offset, int origin) override {
        int64_t base = origin == core::kSeekBegin     ? 0
                       : origin == core::kSeekCurrent ? int64_t(position_)
                                                      : int64_t(bytes_.size());
        if (base + offset < 0) return false;
        position_ = uint64_t(base + offset);
        return true;
    }
    uint64_t Tell() override { return position_; }
    uint64_t GetSize() override { return bytes_.size(); }

    uint64_t reads = 0;  // how often Read was called

private:
    std::string bytes_;
    uint64_t badFrom_;
    uint64_t position_ = 0;
};

}  // namespace testutil
