// Texts in a project source are UTF-8; the runtime's texts are ANSI bytes
// (Windows code page 1252). These convert between the two.
#pragma once

#include <string>
#include <string_view>

namespace disctool {

// False (with the offending character's position in *bad) when the text is not
// UTF-8 or holds a character that code page 1252 cannot represent.
bool Utf8ToAnsi(std::string_view utf8, std::string* ansi, size_t* bad = nullptr);
std::string AnsiToUtf8(std::string_view ansi);

// Each byte as the character of the same number (U+0000..U+00FF), in UTF-8:
// the lossless form the JSON dumps use for byte strings.
std::string BytesToLatin1Utf8(std::string_view bytes);

}  // namespace disctool
