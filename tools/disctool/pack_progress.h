// The one-line progress of packing, shown on a terminal and rewritten in place.
#pragma once

#include <chrono>
#include <cstdio>

#include "core/package_writer.h"

namespace disctool {

class PackProgressLine {
public:
    explicit PackProgressLine(const char* label) : label_(label) {}

    // At most ten times a second, and always for the last call.
    void Show(const core::PackProgress& p, bool last) {
        auto now = std::chrono::steady_clock::now();
        if (!last && now - shown_ < std::chrono::milliseconds(100)) return;
        shown_ = now;
        std::fprintf(stderr, "\r%s: %llu/%llu files, %.1f/%.1f MB, ratio %.3f  ", label_,
                     (unsigned long long)p.files, (unsigned long long)p.filesTotal, p.bytesIn / 1e6,
                     p.bytesTotal / 1e6, p.bytesIn ? double(p.bytesOut) / p.bytesIn : 1.0);
        if (last) std::fputc('\n', stderr);
        std::fflush(stderr);
    }

private:
    const char* label_;
    std::chrono::steady_clock::time_point shown_{};
};

}  // namespace disctool
