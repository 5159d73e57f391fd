#include "tools/disctool/ansi_text.h"

#include <cstdint>

namespace disctool {

namespace {

// Code page 1252 bytes 0x80 to 0x9F; 0 where the code page leaves a hole.
const uint16_t kHigh[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                            0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                            0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                            0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

}  // namespace

bool Utf8ToAnsi(std::string_view in, std::string* result, size_t* bad) {
    std::string local;  // in may view *result
    std::string* out = &local;
    for (size_t i = 0; i < in.size();) {
        const size_t start = i;
        uint8_t c = uint8_t(in[i++]);
        uint32_t cp;
        int more;
        if (c < 0x80) cp = c, more = 0;
        else if ((c & 0xE0) == 0xC0) cp = c & 0x1F, more = 1;
        else if ((c & 0xF0) == 0xE0) cp = c & 0x0F, more = 2;
        else if ((c & 0xF8) == 0xF0) cp = c & 0x07, more = 3;
        else cp = 0xFFFFFFFF, more = 0;
        for (; more > 0 && cp != 0xFFFFFFFF; --more) {
            if (i >= in.size() || (uint8_t(in[i]) & 0xC0) != 0x80) cp = 0xFFFFFFFF;
            else cp = (cp << 6) | (uint8_t(in[i++]) & 0x3F);
        }
        int byte = -1;
        if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) byte = int(cp);
        else
            for (int k = 0; k < 32; ++k)
                if (kHigh[k] && kHigh[k] == cp) byte = 0x80 + k;
        if (byte < 0) {
            if (bad) *bad = start;
            return false;
        }
        *out += char(byte);
    }
    *result = std::move(local);
    return true;
}

std::string AnsiToUtf8(std::string_view in) {
    std::string out;
    for (char ch : in) {
        uint8_t c = uint8_t(ch);
        if (c >= 0x80 && c < 0xA0) AppendUtf8(out, kHigh[c - 0x80] ? kHigh[c - 0x80] : c);
        else AppendUtf8(out, c);
    }
    return out;
}

std::string BytesToLatin1Utf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (unsigned char c : bytes) {
        if (c < 0x80) {
            out += char(c);
        } else {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

}  // namespace disctool
