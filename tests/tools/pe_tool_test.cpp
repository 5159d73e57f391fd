// disctool pe: resources set in 32- and 64-bit programs, checked by an
// independent reader (wrestool from icoutils) and by disctool's own listing.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "../core/test_util.h"
#include "run_tool.h"

namespace fs = std::filesystem;

namespace {

using testutil::Result;
using testutil::RunTool;
using testutil::Shell;


std::string Tool(const std::string& args) { return std::string(DISCTOOL_PATH) + " " + args; }

const fs::path kPe = fs::path(DISC_FIXTURES_DIR) / "pe";

}  // namespace

TEST(PeTool, SetKeepsEveryOtherResourceAndAnIndependentReaderAgrees) {
    if (Shell("wrestool --version").status != 0) GTEST_SKIP() << "wrestool (icoutils) is not installed";
    testutil::TempFolder dir("petool");
    const std::string data = dir.File("tree.bin");
    std::string payload(3001, '\0');
    for (size_t i = 0; i < payload.size(); ++i) payload[i] = char(i * 7);
    testutil::WriteFile(data, payload);

    // In place (resources last), and a new section (no resources at all).
    for (const char* input : {"tiny32.exe", "tiny64.exe", "plain64.exe"}) {
        const std::string in = (kPe / input).string(), out = dir.File(std::string("edited-") + input);
        Result before = Shell("wrestool -l " + in);
        Result set = Shell(Tool("pe set " + in + " VGF 157 " + data + " -o " + out));
        ASSERT_EQ(set.status, 0) << input << ": " << set.output;
        Result after = Shell("wrestool -l " + out);
        ASSERT_EQ(after.status, 0) << input << ": " << after.output;
        EXPECT_NE(after.output.find("--type='VGF' --name=157 --language=0 [offset="), std::string::npos) << after.output;
        EXPECT_NE(after.output.find("size=3001]"), std::string::npos) << after.output;
        // Every earlier resource is still listed with its size (offsets move).
        size_t start = 0;
        while (start < before.output.size()) {
            size_t end = before.output.find('\n', start);
            std::string line = before.output.substr(start, end - start);
            start = end == std::string::npos ? before.output.size() : end + 1;
            if (line.find("offset=") == std::string::npos) continue;
            std::string head = line.substr(0, line.find("offset=")), size = line.substr(line.find("size="));
            EXPECT_NE(after.output.find(head), std::string::npos) << input << ": " << line;
            EXPECT_NE(after.output.find(size), std::string::npos) << input << ": " << line;
        }
        // wrestool gets the same bytes out; so does disctool.
        Result raw = Shell("wrestool -x --raw --type=VGF --name=157 " + out);
        EXPECT_EQ(raw.output, payload) << input;
        ASSERT_EQ(Shell(Tool("pe extract " + out + " VGF 157 -o " + dir.File("back.bin"))).status, 0);
        EXPECT_EQ(testutil::ReadFile(dir.File("back.bin")), payload);
        Result uninstaller = Shell(Tool("pe extract " + out + " EXE 153 -o " + dir.File("exe.bin")));
        if (std::string(input) != "plain64.exe") {
            ASSERT_EQ(uninstaller.status, 0) << uninstaller.output;
            EXPECT_EQ(testutil::ReadFile(dir.File("exe.bin")), std::string("stands in for the uninstaller\0", 30));
        }
        // Setting again replaces rather than adds.
        testutil::WriteFile(data + "2", "short");
        ASSERT_EQ(Shell(Tool("pe set " + out + " VGF 157 " + data + "2 -o " + out)).status, 0);
        Result list = Shell(Tool("pe resources " + out));
        EXPECT_EQ(list.output.find("3001"), std::string::npos) << list.output;
        EXPECT_NE(list.output.find("VGF                  157                             0          5"),
                  std::string::npos)
            << list.output;
    }
}

TEST(PeTool, DamagedProgramsAreRefused) {
    testutil::TempFolder dir("petoolbad");
    std::string tiny = testutil::ReadFile((kPe / "tiny64.exe").string());
    struct Case {
        std::string bytes;
        const char* expected;
    } cases[] = {
        {"plain text", "not a Windows program (no MZ header)"},
        {tiny.substr(0, 0xA0), "the optional header is cut short"},
        {std::string(tiny).replace(0x80, 2, "XX"), "no PE signature"},
        {tiny.substr(0, 0x190), "the section table is cut short"},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        std::string path = dir.File("bad" + std::to_string(i) + ".exe");
        testutil::WriteFile(path, cases[i].bytes);
        Result r = Shell(Tool("pe resources " + path));
        EXPECT_EQ(r.status, 1) << "case " << i;
        EXPECT_NE(r.output.find(cases[i].expected), std::string::npos) << "case " << i << ": " << r.output;
    }
}
