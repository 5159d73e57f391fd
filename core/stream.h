// Streams: what every file system hands out for a named file.
#pragma once

#include <cstdint>

#include "core/os/file_time.h"

namespace core {

enum SeekOrigin : int { kSeekBegin = 0, kSeekCurrent = 1, kSeekEnd = 2 };

class Stream {
public:
    Stream() = default;
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;
    virtual ~Stream() = default;

    // Releases the underlying handle; the object itself is freed by its owner.
    // Idempotent, and done by the destructor too. False when releasing the
    // handle failed (for a written file: what was written may not be complete).
    virtual bool Close() { return true; }
    // Closes the stream and removes the file it was writing, for a write that
    // failed and must not leave a partial file behind. False when the stream
    // has no file it could remove, or the removal failed.
    virtual bool Discard() {
        Close();
        return false;
    }
    virtual uint64_t Read(void* destination, uint64_t count) = 0;
    virtual uint64_t Write(const void* source, uint64_t count) = 0;
    // Reads one line into destination (capacity bytes, always NUL-terminated):
    // up to a carriage return, which is not stored and after which a line
    // feed is skipped, or up to the end. Bytes beyond capacity - 1 are
    // consumed and dropped. Returns the number of bytes stored. Never moves
    // the position past the end of the stream.
    virtual uint32_t ReadLine(char* destination, uint32_t capacity);
    // Writes the text and a carriage return and line feed; returns the text bytes written.
    virtual uint32_t WriteLine(const char* text);
    virtual bool Seek(int64_t offset, int origin) = 0;
    virtual uint64_t Tell() = 0;
    virtual uint64_t GetSize() = 0;
    // A position beyond the end (streams that seek without a range check)
    // is the end as well.
    virtual bool IsEOF() { return Tell() >= GetSize(); }
    virtual bool GetFileTime(FileTime* creation, FileTime* lastAccess, FileTime* lastWrite) {
        (void)creation, (void)lastAccess, (void)lastWrite;
        return false;
    }

protected:
    // Shared line reader; stopAtNul makes a NUL end the line as well (consumed, not stored).
    uint32_t ReadLineImpl(char* destination, uint32_t capacity, bool stopAtNul);
};

// A read-only stream over bytes owned elsewhere (a locked internal resource).
class ResourceStream : public Stream {
public:
    ResourceStream(const uint8_t* bytes, uint64_t size) : bytes_(bytes), size_(size) {}
    uint64_t Read(void* destination, uint64_t count) override;
    uint64_t Write(const void*, uint64_t) override { return 0; }
    uint32_t WriteLine(const char*) override { return 0; }
    bool Seek(int64_t offset, int origin) override;
    uint64_t Tell() override { return position_; }
    uint64_t GetSize() override { return size_; }

private:
    const uint8_t* bytes_;
    uint64_t size_;
    uint64_t position_ = 0;
};

}  // namespace core
