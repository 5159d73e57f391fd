// Property: opening any bytes as a package, listing its directory and reading
// every entry to its end never crashes, hangs, or touches memory the reader
// does not own; no read returns more than the entry holds.
//
// A package may honestly describe gigabytes (many chunk rows can name one
// small chunk that decodes to a whole block), so each input reads at most a
// fixed amount: the property is about every single read ending, not about
// reading gigabytes.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "core/package.h"

namespace {
constexpr uint64_t kReadBudget = 8u << 20;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    core::PackageFile package;
    if (!package.OpenMemory(data, size)) return 0;
    const auto& entries = package.Entries();
    std::vector<uint8_t> buffer(70000);
    uint64_t budget = kReadBudget;
    for (size_t i = 0; i < entries.size() && budget > 0; ++i) {
        std::unique_ptr<core::PackageStream> s = package.OpenEntry(i);
        if (!s) std::abort();
        uint64_t total = 0;
        while (budget > 0) {
            uint64_t n = s->Read(buffer.data(), buffer.size() < budget ? buffer.size() : budget);
            if (n > buffer.size()) std::abort();
            if (n == 0) break;
            total += n;
            budget -= n;
        }
        if (total > entries[i].size || s->Tell() != total) std::abort();
    }
    // Two streams taking turns on the shared buffers, from the middle of an entry.
    if (!entries.empty()) {
        auto a = package.FindEntry(entries.front().name);
        auto b = package.OpenEntry(entries.size() - 1);
        if (!a || !b) std::abort();
        a->Seek(int64_t(entries.front().size / 2), core::kSeekBegin);
        uint8_t small[37];
        for (int k = 0; k < 8 && budget > 2 * sizeof small; ++k, budget -= 2 * sizeof small) {
            if (a->Read(small, sizeof small) > sizeof small) std::abort();
            if (b->Read(small, sizeof small) > sizeof small) std::abort();
        }
    }
    return 0;
}
