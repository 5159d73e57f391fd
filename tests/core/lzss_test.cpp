#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/lzss.h"

using core::lzss::Decode;
using core::lzss::Encoder;

namespace {

std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = uint8_t(rng());
    return v;
}

// Lines of words made of common syllables, the frequent ones far more frequent:
// repetitive the way documents and scripts are.
std::vector<uint8_t> TextBytes(size_t n, uint32_t seed) {
    static const char* syllables[] = {"in", "stal", "ler", "set", "up", "pro", "gram", "fi", "le", "dis",
                                      "co", "ver", "win", "dow", "re", "gis", "try", "ta", "ble", "con",
                                      "fig", "ur", "a", "tion", "mo", "de", "run", "ti", "me", "sy"};
    std::mt19937 rng(seed);
    std::vector<std::string> words;
    for (int i = 0; i < 3000; ++i) {
        std::string w;
        for (int k = 1 + int(rng() % 3); k > 0; --k) w += syllables[rng() % 30];
        words.push_back(w);
    }
    std::string s;
    while (s.size() < n) {
        double u = (rng() >> 8) / double(1 << 24);
        s += words[size_t(u * u * u * words.size())];
        s += (rng() % 12 == 0) ? "\r\n" : " ";
    }
    s.resize(n);
    return std::vector<uint8_t>(s.begin(), s.end());
}

std::vector<uint8_t> Decoded(const std::vector<uint8_t>& codes, size_t capacity) {
    std::vector<uint8_t> out(capacity + 16, 0xCD);  // canary past the capacity
    size_t n = Decode(codes.data(), codes.size(), out.data(), capacity);
    for (size_t i = capacity; i < out.size(); ++i) EXPECT_EQ(out[i], 0xCD) << "written past the capacity at " << i;
    out.resize(n);
    return out;
}

std::vector<uint8_t> RoundTrip(Encoder& encoder, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> codes;
    encoder.Encode(data.data(), data.size(), codes);
    return Decoded(codes, data.size());
}

}  // namespace

TEST(LzssDecode, CodeVectors) {
    struct Case {
        const char* what;
        std::vector<uint8_t> codes;
        std::string expected;
    } cases[] = {
        {"flag 0xFF and eight literals", {0xFF, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'}, "abcdefgh"},
        {"c1=0xEE c2=0xF0 at the start: three spaces from the ring", {0x00, 0xEE, 0xF0}, "   "},
        {"ring end and wrap are spaces too", {0x00, 0xFF, 0xF0}, "   "},
        {"run: one literal copied forward by an overlapping match", {0x01, 'a', 0xEE, 0xF2}, "aaaaaa"},
        {"match from the initial spaces into the output", {0x03, 'x', 'y', 0xED, 0xF0}, "xy xy"},
        {"a literal bit with no byte left ends decoding", {0xFF, 'a'}, "a"},
        {"a match with one byte left ends decoding", {0x01, 'a', 0xEE}, "a"},
        {"no code bytes", {}, ""},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        std::vector<uint8_t> out = Decoded(cases[i].codes, 64);
        EXPECT_EQ(std::string(out.begin(), out.end()), cases[i].expected) << "case " << i << ": " << cases[i].what;
    }
}

TEST(LzssDecode, OutputIsCutAtTheCapacity) {
    // Nine groups of eight 18-space matches: 1296 bytes, far beyond either capacity.
    std::vector<uint8_t> codes;
    for (int g = 0; g < 9; ++g) {
        codes.push_back(0x00);
        for (int m = 0; m < 8; ++m) codes.insert(codes.end(), {0xEE, 0xFF});
    }
    for (size_t capacity : {size_t(5), size_t(1000)}) {
        std::vector<uint8_t> out = Decoded(codes, capacity);
        EXPECT_EQ(out.size(), capacity);
        EXPECT_EQ(out, std::vector<uint8_t>(capacity, ' '));
    }
}

TEST(LzssEncode, RoundTrips) {
    std::vector<uint8_t> period4096 = RandomBytes(4096, 7), period4097 = RandomBytes(4097, 8);
    auto repeat = [](const std::vector<uint8_t>& unit, size_t n) {
        std::vector<uint8_t> v;
        while (v.size() < n) v.insert(v.end(), unit.begin(), unit.end());
        v.resize(n);
        return v;
    };
    std::vector<uint8_t> leadingSpaces(40, ' ');
    leadingSpaces.insert(leadingSpaces.end(), {'a', ' ', ' ', ' ', 'b'});
    struct Case {
        const char* what;
        std::vector<uint8_t> data;
    } cases[] = {
        {"empty", {}},
        {"one byte", {'x'}},
        {"spaces at the start match the ring", leadingSpaces},
        {"zeros", std::vector<uint8_t>(70000, 0)},
        {"random", RandomBytes(65536, 1)},
        {"text", TextBytes(65536, 2)},
        {"repeats at the full window distance", repeat(period4096, 20000)},
        {"repeats just beyond the window", repeat(period4097, 20000)},
    };
    Encoder variants[] = {Encoder(), Encoder(1, false), Encoder(100000, false)};
    for (size_t v = 0; v < std::size(variants); ++v)
        for (size_t i = 0; i < std::size(cases); ++i)
            EXPECT_EQ(RoundTrip(variants[v], cases[i].data), cases[i].data)
                << "encoder " << v << ", case " << i << ": " << cases[i].what;
}

TEST(LzssEncode, CompressesAtLeastAsWellAsExhaustiveGreedySearch) {
    // Unbounded chains without lookahead find the longest match at every step,
    // as the classic binary-tree encoder does.
    std::vector<uint8_t> text = TextBytes(65536, 3);
    std::vector<uint8_t> fast, exhaustive;
    Encoder().Encode(text.data(), text.size(), fast);
    Encoder(100000, false).Encode(text.data(), text.size(), exhaustive);
    EXPECT_LE(fast.size(), exhaustive.size());
    EXPECT_LT(fast.size(), text.size() / 2);
}
