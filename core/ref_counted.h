#pragma once

#include <cstdint>

namespace core {

// Base of objects shared by plain (single-threaded) reference counts. A new
// object has a count of 1; the last Release destroys it.
class RefCounted {
public:
    RefCounted() = default;
    RefCounted(const RefCounted&) = delete;
    RefCounted& operator=(const RefCounted&) = delete;
    virtual ~RefCounted() = default;

    void AddRef() { ++refCount_; }
    void Release() {
        if (--refCount_ == 0) delete this;
    }
    uint32_t RefCount() const { return refCount_; }

private:
    uint32_t refCount_ = 1;
};

}  // namespace core
