// Byte-string helpers shared by the core library. Names compare without case
// by folding the ASCII letters A to Z only; every other byte compares as is.
#pragma once

#include <string>
#include <string_view>

namespace core {

inline char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

inline bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    return true;
}

inline std::string ToLowerAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = FoldAscii(c);
    return out;
}

inline std::string ToUpperAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return out;
}

}  // namespace core
