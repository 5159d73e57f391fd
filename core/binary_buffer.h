// The shared byte store and its reading/appending handle. Pictures, sounds,
// whole files and serialised trees travel in it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/ref_counted.h"

namespace core {

class CBinaryBufferData : public RefCounted {
public:
    static constexpr uint32_t growStep = 1024;

    CBinaryBufferData() = default;
    // Copies count bytes, or points at them without copying when wrap is true.
    CBinaryBufferData(const void* bytes, uint32_t count, bool wrap);
    ~CBinaryBufferData() override;

    // Appends count bytes; false for an external store or when the store would
    // pass 4 GiB.
    bool Append(const void* bytes, uint32_t count);
    // Makes room for count more bytes and returns where they go (size grows);
    // null when that is impossible.
    uint8_t* Extend(uint32_t count);
    // count bytes at offset, or HException when they pass the end.
    const uint8_t* GetData(uint32_t offset, uint32_t count) const;

    uint8_t* data = nullptr;
    bool external = false;
    uint32_t size = 0;
    uint32_t capacity = 0;

private:
    bool Grow(uint32_t count);
};

class BinaryBuffer {
public:
    BinaryBuffer();
    BinaryBuffer(const BinaryBuffer& other);
    BinaryBuffer(BinaryBuffer&& other) noexcept;
    BinaryBuffer(const void* bytes, uint32_t count, bool wrap = false);
    ~BinaryBuffer();
    BinaryBuffer& operator=(const BinaryBuffer& other);
    BinaryBuffer& operator=(BinaryBuffer&& other) noexcept;

    // Releases the store and takes a new empty one.
    void Clear();

    // A moved-from handle has no store: it reads as empty and takes a new
    // store on its first append.
    const uint8_t* Data() const { return store_ ? store_->data : nullptr; }
    uint8_t* MutableData() { return store_ && !store_->external ? store_->data : nullptr; }
    uint32_t Size() const { return store_ ? store_->size : 0; }
    bool IsExternal() const { return store_ && store_->external; }
    const CBinaryBufferData* Store() const { return store_; }

    bool AppendU8(uint8_t v);
    bool AppendU16(uint16_t v);
    bool AppendU32(uint32_t v);
    bool AppendBytes(const void* bytes, uint32_t count);
    // The text's bytes and a terminating NUL.
    bool AppendString(std::string_view text);
    // Room for count bytes at the end, to be filled by the caller; null on failure.
    uint8_t* AppendSpace(uint32_t count);

    // Reads advance the read position; a read that would pass the end throws
    // HException and leaves the position where it was.
    uint8_t ReadU8();
    uint16_t ReadU16();
    uint32_t ReadU32();
    void ReadBytes(void* destination, uint32_t count);
    // Bytes up to and including a NUL; the text excludes it.
    std::string ReadString();
    // Pointer to the next count bytes, advancing past them.
    const uint8_t* ReadSpan(uint32_t count);

    uint32_t ReadPosition() const { return readPosition_; }
    void SetReadPosition(uint32_t position) { readPosition_ = position; }
    uint32_t Remaining() const { return readPosition_ < Size() ? Size() - readPosition_ : 0; }
    uint32_t Length() const { return length_; }

    // Whole-file transfer through the mount table. SaveToFile is true only
    // when every byte was written and the file closed cleanly; otherwise the
    // partial file is removed.
    bool LoadFromFile(const char* path);
    bool SaveToFile(const char* path) const;

private:
    // The store, made when a moved-from handle is written to.
    CBinaryBufferData& Writable();

    CBinaryBufferData* store_;
    uint32_t readPosition_ = 0;
    uint32_t length_ = 0;
};

}  // namespace core
