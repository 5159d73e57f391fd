// Small helpers shared by the tests.
#pragma once

#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "core/binary_buffer.h"

namespace testutil {

inline std::vector<uint8_t> Bytes(const core::BinaryBuffer& b) {
    return std::vector<uint8_t>(b.Data(), b.Data() + b.Size());
}

// A fresh empty folder, removed again when the object ends.
class TempFolder {
public:
    explicit TempFolder(const std::string& tag) {
        std::random_device rd;
        path_ = std::filesystem::temp_directory_path() / ("disctest-" + tag + "-" + std::to_string(rd()));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& Path() const { return path_; }
    std::string Str() const { return path_.string(); }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

inline void WriteFile(const std::string& path, const std::string& content) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return;
    std::fwrite(content.data(), 1, content.size(), f);
    std::fclose(f);
}

inline std::string ReadFile(const std::string& path) {
    std::string out;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return out;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    std::fclose(f);
    return out;
}

}  // namespace testutil
