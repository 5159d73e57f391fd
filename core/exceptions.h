// The two exception classes of the core library. Everything else reports
// failure through a false or null result.
#pragma once

#include <optional>
#include <string>

namespace core {

// Thrown when a read would pass the end of a byte buffer.
class HException {
public:
    HException() = default;
    explicit HException(const char* message);
    virtual ~HException() = default;
    HException(const HException&) = default;
    HException& operator=(const HException&) = default;

    // The message, or an empty text when the exception was made without one.
    virtual const char* What() const;

private:
    std::optional<std::string> message_;
};

// Thrown when a text is not a GUID. Deliberately unrelated to HException so
// that a handler for one never catches the other.
class CQmException {
public:
    CQmException() = default;
    explicit CQmException(const char* message);
    virtual ~CQmException() = default;
    CQmException(const CQmException&) = default;
    CQmException& operator=(const CQmException&) = default;

    virtual const char* What() const;

private:
    std::optional<std::string> message_;
};

inline constexpr const char kBufferOverrunMessage[] =
    "CBinaryBufferData::GetData() : Requested size exceeds content";
inline constexpr const char kInvalidGuidMessage[] = "CQmGUID::CQmGUID(): Invalid GUID string";

}  // namespace core
