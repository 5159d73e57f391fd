#include "core/stream.h"

#include <cstring>

namespace core {

uint32_t Stream::ReadLineImpl(char* destination, uint32_t capacity, bool stopAtNul) {
    if (!destination || capacity == 0) return 0;
    uint32_t stored = 0;
    destination[0] = 0;
    for (;;) {
        char c;
        if (Read(&c, 1) == 0) break;
        if (c == '\r') {
            // The line feed after the carriage return is taken by reading it,
            // never by seeking: a seek past the end of a file is allowed, and
            // a stream standing beyond its end would read nothing and never
            // reach IsEOF again. Any other byte starts the next line.
            char next;
            if (Read(&next, 1) == 1 && next != '\n') Seek(-1, kSeekCurrent);
            break;
        }
        if (stopAtNul && c == 0) break;
        if (stored + 1 < capacity) {
            destination[stored++] = c;
            destination[stored] = 0;
        }
    }
    return stored;
}

uint32_t Stream::ReadLine(char* destination, uint32_t capacity) {
    return ReadLineImpl(destination, capacity, false);
}

uint32_t Stream::WriteLine(const char* text) {
    uint32_t written = 0;
    for (const char* p = text; p && *p; ++p) written += uint32_t(Write(p, 1));
    Write("\r\n", 2);
    return written;
}

uint64_t ResourceStream::Read(void* destination, uint64_t count) {
    if (position_ >= size_) return 0;
    uint64_t n = size_ - position_ < count ? size_ - position_ : count;
    std::memcpy(destination, bytes_ + position_, size_t(n));
    position_ += n;
    return n;
}

bool ResourceStream::Seek(int64_t offset, int origin) {
    int64_t base = origin == kSeekBegin ? 0 : origin == kSeekCurrent ? int64_t(position_) : int64_t(size_);
    if (origin < kSeekBegin || origin > kSeekEnd) return false;
    int64_t target = base + offset;
    if (target < 0 || uint64_t(target) > size_) return false;
    position_ = uint64_t(target);
    return true;
}

}  // namespace core
