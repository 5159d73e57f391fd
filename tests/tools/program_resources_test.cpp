// disctool project build: what it writes into Setup.exe besides the project
// tree, read back with disctool pe extract from a build on a small runtime.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "../core/test_util.h"
#include "run_tool.h"

namespace fs = std::filesystem;

namespace {

using testutil::Result;
using testutil::RunTool;

const fs::path kGood = fs::path(DISC_FIXTURES_DIR) / "projects" / "good";
const fs::path kRuntime = fs::path(DISC_FIXTURES_DIR) / "pe" / "tiny32.exe";

// The good fixture with extra settings put first, built onto the small
// runtime; the disc folder, or "" after a failed build (output in *out).
std::string Build(const testutil::TempFolder& dir, const std::string& name, const std::string& settings,
                  Result* out) {
    fs::path project = dir.Path() / name;
    fs::copy(kGood, project, fs::copy_options::recursive);
    std::string yaml = testutil::ReadFile((project / "project.yaml").string());
    testutil::WriteFile((project / "project.yaml").string(), settings + yaml);
    std::string disc = (dir.Path() / (name + "-disc")).string();
    *out = RunTool("project build " + project.string() + " -o " + disc + " --runtime " + kRuntime.string() +
                   " --method none");
    return out->status == 0 ? disc : "";
}

std::string Extract(const testutil::TempFolder& dir, const std::string& file, const std::string& type,
                    const std::string& id) {
    std::string out = dir.File("extracted.bin");
    Result r = RunTool("pe extract " + file + " " + type + " " + id + " -o " + out);
    EXPECT_EQ(r.status, 0) << r.output;
    return r.status == 0 ? testutil::ReadFile(out) : "";
}

}  // namespace

TEST(ProgramResources, ManifestAsksForTheProjectsExecutionLevel) {
    static const struct {
        const char* settings;
        const char* level;  // nullptr: the build fails naming the key
    } kCases[] = {
        {"", "highestAvailable"},  // the fixture installs
        {"UseInstaller: false\n", "asInvoker"},
        {"ExecutionLevel: asInvoker\n", "asInvoker"},
        {"ExecutionLevel: highestAvailable\nUseInstaller: false\n", "highestAvailable"},
        {"ExecutionLevel: requireAdministrator\n", "requireAdministrator"},
        {"ExecutionLevel: admin\n", nullptr},
    };
    testutil::TempFolder dir("manifest");
    for (size_t i = 0; i < std::size(kCases); ++i) {
        SCOPED_TRACE("case " + std::to_string(i) + ": " + kCases[i].settings);
        Result r;
        std::string disc = Build(dir, "p" + std::to_string(i), kCases[i].settings, &r);
        if (!kCases[i].level) {
            EXPECT_NE(r.status, 0);
            EXPECT_NE(r.output.find("project.yaml:1:17: ExecutionLevel must be asInvoker, highestAvailable or "
                                    "requireAdministrator"),
                      std::string::npos)
                << r.output;
            continue;
        }
        ASSERT_FALSE(disc.empty()) << r.output;
        std::string manifest = Extract(dir, disc + "/Setup.exe", "24", "1");
        EXPECT_NE(manifest.find(std::string("<requestedExecutionLevel level=\"") + kCases[i].level + "\""),
                  std::string::npos)
            << manifest;
        // Visual styles, Vista to 11 as known versions, DPI awareness.
        for (const char* part : {"Microsoft.Windows.Common-Controls", "{e2011457-1546-43c5-a5fe-008deee3d3f0}",
                                 "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", "<dpiAware", "urn:schemas-microsoft-com:asm.v2"})
            EXPECT_NE(manifest.find(part), std::string::npos) << part;
        EXPECT_EQ(manifest.find('@'), std::string::npos) << "a placeholder is left: " << manifest;
    }
}
