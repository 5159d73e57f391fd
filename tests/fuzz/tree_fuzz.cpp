// Property: reading any bytes as a tree record (buffer form) never crashes,
// overruns or hangs; it either throws the buffer's HException, refuses with
// false, or gives a tree that writes and reads back to an equal tree.
//
// And reading is lossless: a record in canonical form (well formed, with the
// names of each group's children and of its values in strictly ascending
// byte order, as the writer orders them) is read without fault and writes
// back to exactly its own bytes. A second walk over the record, independent
// of the reader, decides whether it is canonical; so a reader that drops a
// part of a record (such as the name of a group held in a value) shows.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/data_group.h"
#include "core/exceptions.h"

namespace {

// Walks one group record by the layout of the tree format, byte by byte.
class CanonicalWalk {
public:
    CanonicalWalk(const uint8_t* data, size_t size) : p_(data), n_(size) {}

    // True when a canonical group record starts at the beginning; End() is then its length.
    bool Record() { return Group(0); }
    size_t End() const { return at_; }

private:
    static constexpr int kDepth = 128;  // well below the reader's limit

    bool Take(size_t count, const uint8_t** out = nullptr) {
        if (count > n_ - at_) return false;
        if (out) *out = p_ + at_;
        at_ += count;
        return true;
    }
    bool U16(uint16_t* v) {
        const uint8_t* b;
        if (!Take(2, &b)) return false;
        *v = uint16_t(b[0] | b[1] << 8);
        return true;
    }
    bool U32(uint32_t* v) {
        const uint8_t* b;
        if (!Take(4, &b)) return false;
        *v = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
        return true;
    }
    bool Name(std::string* name) {
        size_t left = n_ - at_;
        size_t scan = left < core::kMaxTreeName + 1 ? left : core::kMaxTreeName + 1;
        const void* nul = scan ? std::memchr(p_ + at_, 0, scan) : nullptr;
        if (!nul) return false;
        size_t length = size_t(static_cast<const uint8_t*>(nul) - (p_ + at_));
        name->assign(reinterpret_cast<const char*>(p_ + at_), length);
        at_ += length + 1;
        return true;
    }
    bool Group(int depth) {
        uint16_t mark;
        std::string name, previous;
        uint32_t count;
        if (depth > kDepth || !U16(&mark) || mark != 0x5F67 || !Name(&name) || !U32(&count)) return false;
        for (uint32_t i = 0; i < count; ++i) {
            size_t start = at_;
            if (!Group(depth + 1)) return false;
            // The child's name is the one its record begins with.
            std::string childName(reinterpret_cast<const char*>(p_ + start + 2));
            if (i > 0 && !(previous < childName)) return false;
            previous = std::move(childName);
        }
        if (!U32(&count)) return false;
        for (uint32_t i = 0; i < count; ++i) {
            if (!U16(&mark) || mark != 0x5F76 || !Name(&name)) return false;
            if (i > 0 && !(previous < name)) return false;
            previous = name;
            if (!Value(depth)) return false;
        }
        return true;
    }
    bool Value(int depth) {
        const uint8_t* code;
        uint32_t length;
        if (depth > kDepth || !Take(1, &code)) return false;
        switch (*code) {
        case 0: return true;
        case 1: case 2: return U32(&length) && Take(length);
        case 3: case 4: case 11: return Take(4);
        case 5: case 6: return Take(2);
        case 7: case 8: case 9: return Take(1);
        case 10: case 12: case 14: return Take(8);
        case 13: case 15: case 18: return Take(16);
        case 16:
            if (!U32(&length)) return false;
            for (uint32_t i = 0; i < length; ++i)
                if (!Value(depth + 1)) return false;
            return true;
        case 17: return Group(depth + 1);
        default: return true;  // above 18: the type byte alone
        }
    }

    const uint8_t* p_;
    size_t n_;
    size_t at_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 0xFFFFFFFFu) return 0;
    CanonicalWalk walk(data, size);
    const bool canonical = walk.Record();
    core::BinaryBuffer in(data, uint32_t(size), true);
    core::DataGroup tree;
    bool ok = false;
    try {
        ok = tree.ReadFrom(in);
    } catch (const core::HException&) {
        if (canonical) std::abort();  // a good record was refused
        return 0;
    }
    if (canonical && !ok) std::abort();
    if (!ok) return 0;
    core::BinaryBuffer out;
    if (!tree.WriteTo(out)) std::abort();
    if (canonical) {
        // Read exactly the record, and write it back unchanged.
        if (in.ReadPosition() != walk.End() || out.Size() != walk.End()) std::abort();
        if (walk.End() && std::memcmp(out.Data(), data, walk.End()) != 0) std::abort();
    }
    core::DataGroup again;
    try {
        if (!again.ReadFrom(out) || !again.Equals(tree)) std::abort();
    } catch (const core::HException&) {
        std::abort();
    }
    // Writing what was read back gives the same bytes again.
    core::BinaryBuffer twice;
    if (!again.WriteTo(twice) || twice.Size() != out.Size() ||
        (out.Size() && std::memcmp(twice.Data(), out.Data(), out.Size()) != 0))
        std::abort();
    return 0;
}
