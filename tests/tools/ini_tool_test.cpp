#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "../core/test_util.h"

namespace {

struct Result {
    int status;
    std::string output;
};

Result RunDisctool(const std::string& args) {
    std::string command = std::string(DISCTOOL_PATH) + " " + args + " 2>&1";
    Result r{-1, ""};
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return r;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) r.output.append(buffer, n);
    int status = pclose(pipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

}  // namespace

TEST(IniTool, CompiledFileDumpsLikeItsText) {
    testutil::TempFolder dir("initool");
    std::string text = dir.File("Tessor.ini"), compiled = dir.File("Tessor.bin");
    testutil::WriteFile(text,
                        "Macro ROOT \"C:\\Games\"\r\nGroup FileSystems\r\n{\r\n"
                        "Pak = \"Setup.pac\" Type = Virtual, OptimizeIO=true\r\n}\r\nPath = \"[ROOT]\\Data\"\r\n");
    Result build = RunDisctool("ini compile " + text + " " + compiled);
    ASSERT_EQ(build.status, 0) << build.output;
    Result fromText = RunDisctool("ini dump " + text);
    Result fromCompiled = RunDisctool("ini dump " + compiled);
    ASSERT_EQ(fromText.status, 0);
    EXPECT_EQ(fromCompiled.output, fromText.output);
    EXPECT_NE(fromText.output.find("\"value\": \"C:\\\\Games\\\\Data\""), std::string::npos) << fromText.output;
    EXPECT_NE(fromText.output.find("\"Virtual\""), std::string::npos) << fromText.output;
    EXPECT_NE(fromText.output.find("\"FileSystems\""), std::string::npos) << fromText.output;

    testutil::WriteFile(text, "ok = 1\r\nbad = \"~\"quote\"\r\n");
    Result refused = RunDisctool("ini compile " + text + " " + dir.File("out.bin"));
    EXPECT_NE(refused.status, 0);
    EXPECT_NE(refused.output.find(text + ": line 2"), std::string::npos) << refused.output;
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.bin")));
    EXPECT_NE(RunDisctool("ini dump " + dir.File("missing.ini")).status, 0);
    EXPECT_EQ(RunDisctool("ini --help").status, 0);
}
