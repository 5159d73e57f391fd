// Installing a payload of a few hundred files (about 200 MB) with the install
// engine from Setup.pac (stored plain, and bzip2), against copying the same
// files loose with CopyFileA, in the same run. Windows only (runs under Wine).
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "core/mount_table.h"
#include "core/package_writer.h"
#include "installer/executor.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

class BenchContext : public installer::InstallContext {
public:
    explicit BenchContext(std::string target) : target_(std::move(target)) {}
    HWND Owner() override { return nullptr; }
    std::string Expand(std::string_view text) override {
        std::string out(text);
        const std::string token = "[TargetFolder]";
        for (size_t at; (at = out.find(token)) != std::string::npos;) out.replace(at, token.size(), target_);
        return out;
    }
    void KeepAlive() override {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    }

private:
    std::string target_;
};

double Seconds(Clock::time_point a) { return std::chrono::duration<double>(Clock::now() - a).count(); }

}  // namespace

int main() {
    fs::path root = fs::temp_directory_path() / "disc-install-bench";
    fs::remove_all(root);
    fs::path disc = root / "disc";
    fs::create_directories(disc / "payload");

    // Mixed payload: program-like bytes, text, and incompressible media.
    std::mt19937 rng(7);
    std::vector<core::PackInput> inputs;
    installer::OperationList lines = {"create_folder|[TargetFolder]"};
    uint64_t total = 0;
    const char* const words[] = {"setup ", "install ", "folder ", "the ", "game ", "data ", "level ", "sound "};
    for (int i = 0; total < 200u << 20; ++i) {
        size_t size = 100000 + rng() % 1200000;
        std::vector<uint8_t> bytes(size);
        int kind = i % 3;
        for (size_t k = 0; k < size;) {
            if (kind == 0) {
                bytes[k] = uint8_t(rng() % 16 == 0 ? rng() : (k & 0xFF) ^ 0x90);
                ++k;
            } else if (kind == 1) {
                for (const char* w = words[rng() % 8]; *w && k < size; ++w) bytes[k++] = uint8_t(*w);
            } else {
                bytes[k++] = uint8_t(rng());
            }
        }
        std::string name = "dir" + std::to_string(i % 10) + "\\file" + std::to_string(i) + ".bin";
        fs::create_directories(disc / "payload" / ("dir" + std::to_string(i % 10)));
        FILE* f = std::fopen((disc / "payload" / ("dir" + std::to_string(i % 10)) / ("file" + std::to_string(i) + ".bin")).string().c_str(), "wb");
        std::fwrite(bytes.data(), 1, size, f);
        std::fclose(f);
        if (i < 10) lines.push_back("create_folder|[TargetFolder]\\dir" + std::to_string(i));
        lines.push_back("copy_file|" + name + "|[TargetFolder]\\" + name);
        inputs.push_back(core::PackInput::FromBytes(name, std::move(bytes)));
        total += size;
    }
    std::printf("payload: %zu files, %.1f MB\n", inputs.size(), total / 1048576.0);

    std::string error;
    for (auto [method, file] : {std::pair{core::PackMethod::None, "plain.pac"}, std::pair{core::PackMethod::Bzip2, "bzip2.pac"}}) {
        core::PackOptions options;
        options.method = method;
        if (!core::WritePackage((disc / file).string(), inputs, options, &error)) {
            std::printf("packing failed: %s\n", error.c_str());
            return 1;
        }
    }

    // Loose copy with CopyFileA, the baseline.
    auto start = Clock::now();
    fs::path loose = root / "loose";
    fs::create_directories(loose);
    for (size_t i = 0; i < inputs.size(); ++i) {
        fs::path from = disc / "payload" / inputs[i].name.substr(0, inputs[i].name.find('\\')) /
                        inputs[i].name.substr(inputs[i].name.find('\\') + 1);
        fs::path to = loose / inputs[i].name.substr(0, inputs[i].name.find('\\'));
        fs::create_directories(to);
        CopyFileA(from.string().c_str(), (to / from.filename()).string().c_str(), FALSE);
    }
    double baseline = Seconds(start);
    std::printf("CopyFileA, loose files:  %6.2f s  %7.1f MB/s\n", baseline, total / 1048576.0 / baseline);

    // The same files read and written in 2 MB pieces, as any copy loop does.
    start = Clock::now();
    fs::path looped = root / "looped";
    std::vector<char> piece(2097152);
    for (size_t i = 0; i < inputs.size(); ++i) {
        std::string dir = inputs[i].name.substr(0, inputs[i].name.find('\\'));
        std::string leaf = inputs[i].name.substr(inputs[i].name.find('\\') + 1);
        fs::create_directories(looped / dir);
        HANDLE in = CreateFileA((disc / "payload" / dir / leaf).string().c_str(), GENERIC_READ, FILE_SHARE_READ,
                                nullptr, OPEN_EXISTING, 0, nullptr);
        HANDLE out = CreateFileA((looped / dir / leaf).string().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD got = 0, put = 0;
        while (ReadFile(in, piece.data(), DWORD(piece.size()), &got, nullptr) && got > 0)
            WriteFile(out, piece.data(), got, &put, nullptr);
        CloseHandle(in);
        CloseHandle(out);
    }
    double loop = Seconds(start);
    std::printf("ReadFile/WriteFile loop: %6.2f s  %7.1f MB/s  %.2fx the loose copy\n", loop,
                total / 1048576.0 / loop, loop / baseline);

    double ratios[2] = {};
    int n = 0;
    for (const char* file : {"plain.pac", "bzip2.pac"}) {
        // As at start-up: the program's own resources, the disc folder, then the package.
        core::UnmountAll();
        core::Mount("<IntRes>", "Resource", false);
        core::Mount(disc.string().c_str(), "Physical", false);
        core::Mount((disc / file).string().c_str(), "Virtual", false);
        BenchContext context((root / (std::string("target-") + file)).string());
        installer::OperationList undo;
        start = Clock::now();
        bool ok = installer::ExecuteOperations(context, lines, &undo, nullptr);
        double t = Seconds(start);
        ratios[n++] = t / baseline;
        std::printf("install from %-9s  %6.2f s  %7.1f MB/s  %.2fx the loose copy%s\n", file, t,
                    total / 1048576.0 / t, t / baseline, ok ? "" : " (FAILED)");
    }
    std::printf("target: method 0 within 1.3x of the loose copy: %s\n", ratios[0] <= 1.3 ? "OK" : "MISSED");
    core::UnmountAll();
    fs::remove_all(root);
    return 0;
}
