#pragma once

#include <map>
#include <string>

#include "core/binary_buffer.h"

namespace core {

// Token to replacement; tried in ascending byte order of the token.
using TokenMap = std::map<std::string, std::string>;

// One pass over source: at each place the first token (in map order) that
// matches exactly is replaced; replacements are not scanned again. Empty
// tokens are skipped.
BinaryBuffer ReplaceTokens(const BinaryBuffer& source, const TokenMap& tokens);

}  // namespace core
