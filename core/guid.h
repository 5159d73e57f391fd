#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace core {

// A GUID and a flag that tells whether it is the null GUID.
class CQmGUID {
public:
    CQmGUID() = default;
    // From 16 bytes in the Windows GUID layout.
    explicit CQmGUID(const uint8_t bytes[16]);
    // From "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" (only the first 38
    // characters are looked at); throws CQmException when it is not a GUID.
    explicit CQmGUID(std::string_view text);

    const uint8_t* Bytes() const { return bytes_; }
    bool IsNull() const { return isNull_; }
    // Upper-case braced text, as Windows writes GUIDs.
    std::string ToString() const;
    bool operator==(const CQmGUID& other) const;

private:
    uint8_t bytes_[16] = {};
    bool isNull_ = true;
};

// Parses the 36 characters between the braces into the Windows GUID layout
// (Data1, Data2, Data3 little-endian, then Data4 as is); false when malformed.
bool ParseGuidText(std::string_view inner, uint8_t bytes[16]);

}  // namespace core
