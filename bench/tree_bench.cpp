// Parsing a large project tree: a 64 MB tree with several hundred binary
// values (pictures and sounds) and thousands of small texts, read from memory
// with the buffer form, against a plain memcpy of the same bytes.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "core/data_group.h"

using Clock = std::chrono::steady_clock;

namespace {

core::BinaryBuffer MakeTree() {
    std::mt19937 rng(1234);
    core::DataGroup root;
    const size_t target = 64u << 20;
    size_t bytes = 0;
    int language = 0;
    while (bytes < target) {
        std::string lang = "Languages/L" + std::to_string(language++);
        for (int t = 0; t < 400; ++t)
            root.SetValue(lang + "/Texts/KEY_" + std::to_string(t),
                          core::DataValue("A translated text of moderate length, number " + std::to_string(t)));
        for (int o = 0; o < 40 && bytes < target; ++o) {
            // A picture of 200 x 120 pixels, 4 bytes each, or a sound of similar size.
            std::vector<uint8_t> payload(200 * 120 * 4 + (rng() % 65536));
            for (auto& b : payload) b = uint8_t(rng());
            bytes += payload.size();
            root.SetValue(lang + "/Objects/" + std::to_string(o) + "/Picture",
                          core::DataValue(core::BinaryBuffer(payload.data(), uint32_t(payload.size()))));
            root.SetValue(lang + "/Objects/" + std::to_string(o) + "/Controller", core::DataValue("{GUID}"));
        }
    }
    core::BinaryBuffer out;
    root.WriteTo(out);
    return out;
}

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

}  // namespace

int main() {
    core::BinaryBuffer tree = MakeTree();
    const double mb = tree.Size() / 1048576.0;
    std::printf("tree: %.1f MB\n", mb);

    std::vector<uint8_t> copy(tree.Size());
    double bestCopy = 1e9, bestParse = 1e9;
    for (int round = 0; round < 5; ++round) {
        auto a = Clock::now();
        std::memcpy(copy.data(), tree.Data(), tree.Size());
        auto b = Clock::now();
        bestCopy = std::min(bestCopy, Seconds(a, b));
        volatile uint8_t sink = copy[copy.size() / 2];
        (void)sink;

        core::BinaryBuffer in(tree.Data(), tree.Size(), true);
        core::DataGroup parsed;
        a = Clock::now();
        bool ok = parsed.ReadFrom(in);
        b = Clock::now();
        if (!ok) {
            std::printf("parse failed\n");
            return 1;
        }
        bestParse = std::min(bestParse, Seconds(a, b));
    }
    double ratio = bestParse / bestCopy;
    std::printf("memcpy:     %8.0f MB/s\n", mb / bestCopy);
    std::printf("tree parse: %8.0f MB/s  (%.2fx the memcpy time; target: within 3x) %s\n", mb / bestParse, ratio,
                ratio <= 3.0 ? "OK" : "MISSED");
    return 0;
}
