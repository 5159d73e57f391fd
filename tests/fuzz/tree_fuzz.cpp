// Property: reading any bytes as a tree record (buffer form) never crashes,
// overruns or hangs; it either throws the buffer's HException, refuses with
// false, or gives a tree that writes and reads back to an equal tree.
#include <cstdint>
#include <cstdlib>

#include "core/data_group.h"
#include "core/exceptions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 0xFFFFFFFFu) return 0;
    core::BinaryBuffer in(data, uint32_t(size), true);
    core::DataGroup tree;
    bool ok = false;
    try {
        ok = tree.ReadFrom(in);
    } catch (const core::HException&) {
        return 0;
    }
    if (!ok) return 0;
    core::BinaryBuffer out;
    if (!tree.WriteTo(out)) std::abort();
    core::DataGroup again;
    try {
        if (!again.ReadFrom(out) || !again.Equals(tree)) std::abort();
    } catch (const core::HException&) {
        std::abort();
    }
    return 0;
}
