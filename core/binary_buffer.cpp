#include "core/binary_buffer.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>

#include "core/exceptions.h"
#include "core/mount_table.h"

namespace core {

CBinaryBufferData::CBinaryBufferData(const void* bytes, uint32_t count, bool wrap) {
    if (wrap) {
        data = static_cast<uint8_t*>(const_cast<void*>(bytes));
        external = true;
        size = capacity = count;
        return;
    }
    uint64_t want = uint64_t(count) + growStep;
    if (want > std::numeric_limits<uint32_t>::max()) want = count;
    data = static_cast<uint8_t*>(std::malloc(size_t(want)));
    if (!data) throw std::bad_alloc();
    capacity = uint32_t(want);
    // Without source bytes the caller fills the store itself.
    if (count && bytes) std::memcpy(data, bytes, count);
    size = count;
}

CBinaryBufferData::~CBinaryBufferData() {
    if (!external) std::free(data);
}

bool CBinaryBufferData::Grow(uint32_t count) {
    // Grow when the new size reaches or passes the capacity: by the larger of
    // the step and the count, and by at least half the capacity, so that
    // building a large tree from many small appends stays linear.
    if (uint64_t(size) + count < capacity) return true;
    uint64_t step = count > growStep ? count : growStep;
    if (step < capacity / 2) step = capacity / 2;
    uint64_t want = uint64_t(capacity) + step;
    if (want > std::numeric_limits<uint32_t>::max()) {
        want = uint64_t(size) + count;
        if (want > std::numeric_limits<uint32_t>::max()) return false;
    }
    auto* block = static_cast<uint8_t*>(std::realloc(data, size_t(want)));
    if (!block) return false;
    data = block;
    capacity = uint32_t(want);
    return true;
}

uint8_t* CBinaryBufferData::Extend(uint32_t count) {
    if (external || !Grow(count)) return nullptr;
    uint8_t* at = data + size;
    size += count;
    return at;
}

bool CBinaryBufferData::Append(const void* bytes, uint32_t count) {
    uint8_t* at = Extend(count);
    if (!at) return false;
    if (count) std::memcpy(at, bytes, count);
    return true;
}

const uint8_t* CBinaryBufferData::GetData(uint32_t offset, uint32_t count) const {
    if (offset > size || count > size - offset) throw HException(kBufferOverrunMessage);
    return data + offset;
}

BinaryBuffer::BinaryBuffer() : store_(new CBinaryBufferData()) {}

BinaryBuffer::BinaryBuffer(const BinaryBuffer& other) : store_(other.store_), length_(other.Size()) {
    if (store_) store_->AddRef();
}

BinaryBuffer::BinaryBuffer(BinaryBuffer&& other) noexcept
    : store_(other.store_), readPosition_(other.readPosition_), length_(other.length_) {
    // The moved-from handle is empty, without a store until it is written to.
    other.store_ = nullptr;
    other.readPosition_ = 0;
    other.length_ = 0;
}

BinaryBuffer::BinaryBuffer(const void* bytes, uint32_t count, bool wrap)
    : store_(new CBinaryBufferData(bytes, count, wrap)), length_(count) {}

BinaryBuffer::~BinaryBuffer() {
    if (store_) store_->Release();
}

BinaryBuffer& BinaryBuffer::operator=(const BinaryBuffer& other) {
    if (this == &other) return *this;
    if (other.store_) other.store_->AddRef();
    if (store_) store_->Release();
    store_ = other.store_;
    readPosition_ = 0;
    length_ = Size();
    return *this;
}

BinaryBuffer& BinaryBuffer::operator=(BinaryBuffer&& other) noexcept {
    if (this == &other) return *this;
    if (store_) store_->Release();
    store_ = other.store_;
    readPosition_ = other.readPosition_;
    length_ = other.length_;
    other.store_ = nullptr;
    other.readPosition_ = 0;
    other.length_ = 0;
    return *this;
}

void BinaryBuffer::Clear() {
    auto* fresh = new CBinaryBufferData();
    if (store_) store_->Release();
    store_ = fresh;
    readPosition_ = 0;
    length_ = 0;
}

CBinaryBufferData& BinaryBuffer::Writable() {
    if (!store_) store_ = new CBinaryBufferData();
    return *store_;
}

bool BinaryBuffer::AppendBytes(const void* bytes, uint32_t count) {
    if (!Writable().Append(bytes, count)) return false;
    length_ += count;
    return true;
}

uint8_t* BinaryBuffer::AppendSpace(uint32_t count) {
    uint8_t* at = Writable().Extend(count);
    if (at) length_ += count;
    return at;
}

bool BinaryBuffer::AppendU8(uint8_t v) { return AppendBytes(&v, 1); }

bool BinaryBuffer::AppendU16(uint16_t v) {
    uint8_t b[2] = {uint8_t(v), uint8_t(v >> 8)};
    return AppendBytes(b, 2);
}

bool BinaryBuffer::AppendU32(uint32_t v) {
    uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    return AppendBytes(b, 4);
}

bool BinaryBuffer::AppendString(std::string_view text) {
    if (text.size() >= std::numeric_limits<uint32_t>::max()) return false;
    uint8_t* at = AppendSpace(uint32_t(text.size() + 1));
    if (!at) return false;
    std::memcpy(at, text.data(), text.size());
    at[text.size()] = 0;
    return true;
}

const uint8_t* BinaryBuffer::ReadSpan(uint32_t count) {
    if (!store_) {
        if (readPosition_ != 0 || count != 0) throw HException(kBufferOverrunMessage);
        return nullptr;
    }
    const uint8_t* p = store_->GetData(readPosition_, count);
    readPosition_ += count;
    return p;
}

uint8_t BinaryBuffer::ReadU8() { return *ReadSpan(1); }

uint16_t BinaryBuffer::ReadU16() {
    const uint8_t* p = ReadSpan(2);
    return uint16_t(p[0] | (p[1] << 8));
}

uint32_t BinaryBuffer::ReadU32() {
    const uint8_t* p = ReadSpan(4);
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

void BinaryBuffer::ReadBytes(void* destination, uint32_t count) {
    const uint8_t* p = ReadSpan(count);
    if (count) std::memcpy(destination, p, count);
}

std::string BinaryBuffer::ReadString() {
    // An empty store has no bytes at all (its data may be null): there is no
    // NUL to find, and memchr must not see a null pointer.
    uint32_t left = Remaining();
    if (left == 0) throw HException(kBufferOverrunMessage);
    const uint8_t* start = store_->GetData(readPosition_, left);
    const void* nul = std::memchr(start, 0, left);
    if (!nul) throw HException(kBufferOverrunMessage);
    uint32_t n = uint32_t(static_cast<const uint8_t*>(nul) - start);
    readPosition_ += n + 1;
    return std::string(reinterpret_cast<const char*>(start), n);
}

bool BinaryBuffer::LoadFromFile(const char* path) {
    std::unique_ptr<Stream> stream = OpenForReading(path);
    if (!stream) return false;
    uint64_t size = stream->GetSize();
    if (size > std::numeric_limits<uint32_t>::max() - CBinaryBufferData::growStep) return false;
    BinaryBuffer loaded(nullptr, uint32_t(size));
    uint64_t got = size ? stream->Read(loaded.store_->data, size) : 0;
    stream->Close();
    // A file that shrank while being read keeps what could be read.
    loaded.store_->size = uint32_t(got);
    loaded.length_ = uint32_t(got);
    *this = std::move(loaded);
    readPosition_ = 0;
    return true;
}

bool BinaryBuffer::SaveToFile(const char* path) const {
    std::unique_ptr<Stream> stream = OpenForWriting(path);
    if (!stream) return false;
    // A short write (a full disc) or a failed close leaves a file that is not
    // what was asked for: it is removed, so that no truncated file stays
    // behind looking like a good one.
    bool complete = Size() == 0 || stream->Write(Data(), Size()) == Size();
    if (!complete) {
        stream->Discard();
        return false;
    }
    if (!stream->Close()) {
        stream->Discard();
        return false;
    }
    return true;
}

}  // namespace core
