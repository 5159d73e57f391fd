#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "../core/sample_trees.h"
#include "../core/test_util.h"
#include "run_tool.h"

using testutil::Result;
using testutil::RunTool;

TEST(TreeTool, JsonRoundTripGivesBackTheSameBytes) {
    testutil::TempFolder dir("treetool");
    std::string tree = dir.File("every.vgf"), json = dir.File("every.json"), back = dir.File("back.vgf");
    ASSERT_TRUE(testutil::EveryCodeTree().Save(tree.c_str()));
    // Non-ASCII bytes in names and texts survive the JSON form.
    core::DataGroup latin;
    latin.SetValue("Gr\xfc\xdf" "e/\xe4", core::DataValue("\xff\x80 text"));
    std::string latinTree = dir.File("latin.vgf");
    ASSERT_TRUE(latin.Save(latinTree.c_str()));

    for (const std::string& source : {tree, latinTree}) {
        Result toJson = RunTool("tree to-json " + source + " " + json);
        ASSERT_EQ(toJson.status, 0) << toJson.output;
        EXPECT_EQ(toJson.output, "");  // canonical files give no warning
        Result fromJson = RunTool("tree from-json " + json + " " + back);
        ASSERT_EQ(fromJson.status, 0) << fromJson.output;
        EXPECT_EQ(testutil::ReadFile(back), testutil::ReadFile(source)) << source;
    }

    Result dump = RunTool("tree dump " + tree);
    ASSERT_EQ(dump.status, 0);
    EXPECT_NE(dump.output.find("\"text\" [1 text] \"abc\""), std::string::npos) << dump.output;
    EXPECT_NE(dump.output.find("\"bin\" [2 binary] 4 bytes: 000102ff"), std::string::npos);
    EXPECT_NE(dump.output.find("group \"Child\""), std::string::npos);
}

TEST(TreeTool, DamagedFilesAreRefusedWithTheirOffset) {
    testutil::TempFolder dir("treebad");
    struct Case {
        std::string bytes;
        const char* expected;
    } cases[] = {
        {std::string("g^\0\0\0\0\0\0\0\0\0", 11), "group mark is not \"g_\" at byte 0"},
        {std::string("g_\0\1\0", 5), "record ends early at byte 3"},
        {std::string("g_\0\0\0\0\0\1\0\0\0v_b\0\2\xff\xff\xff\x7f", 20), "record ends early at byte 20"},
        {std::string("g_\0\0\0\0\0\1\0\0\0v^", 13), "value mark is not \"v_\" at byte 11"},
        {std::string(), "record ends early at byte 0"},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        std::string path = dir.File("bad" + std::to_string(i) + ".vgf");
        testutil::WriteFile(path, cases[i].bytes);
        for (const char* sub : {"dump", "to-json"}) {
            Result r = RunTool(std::string("tree ") + sub + " " + path);
            EXPECT_NE(r.status, 0) << "case " << i;
            EXPECT_NE(r.output.find(path), std::string::npos) << "case " << i << ": " << r.output;
            EXPECT_NE(r.output.find(cases[i].expected), std::string::npos) << "case " << i << ": " << r.output;
            EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << "case " << i << ": " << r.output;
        }
    }
    Result missing = RunTool("tree dump " + dir.File("missing.vgf"));
    EXPECT_NE(missing.status, 0);
    EXPECT_NE(missing.output.find("cannot be opened"), std::string::npos);
}

TEST(TreeTool, BadJsonIsRefusedAndNothingIsWritten) {
    testutil::TempFolder dir("treejson");
    std::string out = dir.File("out.vgf");
    struct Case {
        const char* json;
        const char* expected;
    } cases[] = {
        {"{", "not valid JSON"},
        {R"({"name":"","values":[{"name":"x","type":1,"value":"\u0100"}]})", "$.values[0].value holds a character above U+00FF"},
        {R"({"name":"","values":[{"name":"x","type":4,"value":-1}]})", "$.values[0].value must be an unsigned 32-bit"},
        {R"({"name":"","values":[{"name":"x","type":256}]})", "$.values[0].type must be a type code"},
        {R"({"name":"","groups":[{"values":[]}]})", "$.groups[0] has no \"name\""},
        {R"({"name":"","values":[{"name":"x","type":2,"base64":"abc"}]})", "is not base64"},
        {R"({"name":"","values":[{"name":"x","type":18,"value":"{nope}"}]})", "is not a braced GUID"},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        std::string json = dir.File("in" + std::to_string(i) + ".json");
        testutil::WriteFile(json, cases[i].json);
        Result r = RunTool("tree from-json " + json + " " + out);
        EXPECT_NE(r.status, 0) << "case " << i;
        EXPECT_NE(r.output.find(cases[i].expected), std::string::npos) << "case " << i << ": " << r.output;
        EXPECT_FALSE(std::filesystem::exists(out)) << "case " << i;
    }
}

TEST(TreeTool, HelpOnEveryLevel) {
    for (const char* args : {"--help", "tree --help", "tree dump --help", "tree from-json --help"}) {
        Result r = RunTool(args);
        EXPECT_EQ(r.status, 0) << args;
        EXPECT_NE(r.output.find("usage: disctool"), std::string::npos) << args;
    }
    EXPECT_EQ(RunTool("").status, 2);
    EXPECT_EQ(RunTool("tree").status, 2);
    EXPECT_EQ(RunTool("no-such-command").status, 2);
}

// A group held in a value (code 17) keeps its name through to-json and
// from-json: the JSON shows it, and the file comes back byte for byte.
TEST(TreeTool, GroupValueNamesSurviveTheJsonForm) {
    testutil::TempFolder dir("treegroupname");
    std::string tree = dir.File("named.vgf"), json = dir.File("named.json"), back = dir.File("back.vgf");
    // Root with one value "g": a group named "inner" holding a list of one group named "item".
    const std::string bytes("g_\0\0\0\0\0\1\0\0\0"
                            "v_g\0\x11g_inner\0\0\0\0\0\1\0\0\0"
                            "v_l\0\x10\1\0\0\0\x11g_item\0\0\0\0\0\0\0\0\0",
                            11 + 4 + 1 + 8 + 4 + 4 + 4 + 1 + 4 + 1 + 7 + 8);
    testutil::WriteFile(tree, bytes);
    Result toJson = RunTool("tree to-json " + tree + " " + json);
    ASSERT_EQ(toJson.status, 0) << toJson.output;
    EXPECT_EQ(toJson.output, "");  // canonical: no warning that the bytes differ
    std::string text = testutil::ReadFile(json);
    EXPECT_NE(text.find("\"name\": \"inner\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"name\": \"item\""), std::string::npos) << text;
    Result fromJson = RunTool("tree from-json " + json + " " + back);
    ASSERT_EQ(fromJson.status, 0) << fromJson.output;
    EXPECT_EQ(testutil::ReadFile(back), bytes);
    Result dump = RunTool("tree dump " + tree);
    EXPECT_NE(dump.output.find("group \"inner\""), std::string::npos) << dump.output;
}
