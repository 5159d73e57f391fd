#include "core/tokens.h"

#include <cstring>
#include <vector>

namespace core {

BinaryBuffer ReplaceTokens(const BinaryBuffer& source, const TokenMap& tokens) {
    BinaryBuffer result;
    const uint8_t* data = source.Data();
    const uint32_t size = source.Size();
    if (size == 0) return result;

    // Tokens indexed by first byte, keeping map order within each bucket, so
    // that a position is checked only against tokens that can start there.
    std::vector<const std::pair<const std::string, std::string>*> byFirst[256];
    for (const auto& entry : tokens)
        if (!entry.first.empty()) byFirst[uint8_t(entry.first[0])].push_back(&entry);

    uint32_t plainStart = 0;
    for (uint32_t i = 0; i < size;) {
        const std::pair<const std::string, std::string>* hit = nullptr;
        for (const auto* entry : byFirst[data[i]]) {
            const std::string& token = entry->first;
            if (token.size() <= size - i && std::memcmp(data + i, token.data(), token.size()) == 0) {
                hit = entry;
                break;
            }
        }
        if (!hit) {
            ++i;
            continue;
        }
        result.AppendBytes(data + plainStart, i - plainStart);
        result.AppendBytes(hit->second.data(), uint32_t(hit->second.size()));
        i += uint32_t(hit->first.size());
        plainStart = i;
    }
    result.AppendBytes(data + plainStart, size - plainStart);
    return result;
}

}  // namespace core
