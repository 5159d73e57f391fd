#pragma once

#include <string_view>

namespace core {

// "?" matches one character, "*" any run (also none); other characters match
// without case. The whole text must be consumed; an empty text or pattern
// never matches.
bool MatchesWildcard(std::string_view text, std::string_view pattern);

}  // namespace core
