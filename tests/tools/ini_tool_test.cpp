#include <gtest/gtest.h>
#include <cstdio>
#include <string>

#include "../core/test_util.h"
#include "run_tool.h"

using testutil::Result;
using testutil::RunTool;

TEST(IniTool, CompiledFileDumpsLikeItsText) {
    testutil::TempFolder dir("initool");
    std::string text = dir.File("Tessor.ini"), compiled = dir.File("Tessor.bin");
    testutil::WriteFile(text,
                        "Macro ROOT \"C:\\Games\"\r\nGroup FileSystems\r\n{\r\n"
                        "Pak = \"Setup.pac\" Type = Virtual, OptimizeIO=true\r\n}\r\nPath = \"[ROOT]\\Data\"\r\n");
    Result build = RunTool("ini compile " + text + " " + compiled);
    ASSERT_EQ(build.status, 0) << build.output;
    Result fromText = RunTool("ini dump " + text);
    Result fromCompiled = RunTool("ini dump " + compiled);
    ASSERT_EQ(fromText.status, 0);
    EXPECT_EQ(fromCompiled.output, fromText.output);
    EXPECT_NE(fromText.output.find("\"value\": \"C:\\\\Games\\\\Data\""), std::string::npos) << fromText.output;
    EXPECT_NE(fromText.output.find("\"Virtual\""), std::string::npos) << fromText.output;
    EXPECT_NE(fromText.output.find("\"FileSystems\""), std::string::npos) << fromText.output;

    testutil::WriteFile(text, "ok = 1\r\nbad = \"~\"quote\"\r\n");
    Result refused = RunTool("ini compile " + text + " " + dir.File("out.bin"));
    EXPECT_NE(refused.status, 0);
    EXPECT_NE(refused.output.find(text + ": line 2"), std::string::npos) << refused.output;
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.bin")));
    EXPECT_NE(RunTool("ini dump " + dir.File("missing.ini")).status, 0);
    EXPECT_EQ(RunTool("ini --help").status, 0);
}
