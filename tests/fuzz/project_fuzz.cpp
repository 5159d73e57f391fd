// Property: reading any bytes as a project source (project.yaml, next to the
// small good fixture project's pictures, sounds and payload) never crashes,
// overruns or hangs: the reader either compiles it or reports errors.
// Inputs that name files outside the project folder (absolute paths, "..")
// are skipped, so that the fuzzer stays inside its copy of the project.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <string>

#include "tools/disctool/project.h"

namespace fs = std::filesystem;

namespace {

bool LeavesTheProject(const std::string& text) {
    if (text.find("..") != std::string::npos || text.find('~') != std::string::npos ||
        text.find(":\\") != std::string::npos || text.find("\\\\") != std::string::npos)
        return true;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '/' && text[i] != '\\') continue;
        char before = i ? text[i - 1] : ' ';
        bool inName = (before >= 'a' && before <= 'z') || (before >= 'A' && before <= 'Z') ||
                      (before >= '0' && before <= '9') || before == '_' || before == '-' || before == '.';
        if (!inName) return true;
    }
    return false;
}

const fs::path& ProjectCopy() {
    static const fs::path folder = [] {
        fs::path dir = fs::temp_directory_path() / ("disc-project-fuzz-" + std::to_string(getpid()));
        fs::remove_all(dir);
        fs::copy(fs::path(DISC_FIXTURES_DIR) / "projects" / "good", dir, fs::copy_options::recursive);
        std::atexit([] {
            std::error_code ec;
            fs::remove_all(ProjectCopy(), ec);
        });
        return dir;
    }();
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    if (LeavesTheProject(text)) return 0;
    fs::path source = ProjectCopy() / "project.yaml";
    FILE* f = std::fopen(source.string().c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    disctool::CompiledProject out;
    disctool::CompileOptions options;
    disctool::CompileProject(ProjectCopy().string(), options, &out);
    return 0;
}
