#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "../core/test_util.h"
#include "core/package.h"
#include "core/package_writer.h"

namespace fs = std::filesystem;

namespace {

struct Result {
    int code;
    std::string out, err;
};

Result Disctool(const testutil::TempFolder& dir, const std::string& args) {
    std::string out = dir.File("stdout.txt"), err = dir.File("stderr.txt");
    int status = std::system((std::string(DISCTOOL_PATH) + " " + args + " >'" + out + "' 2>'" + err + "'").c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, testutil::ReadFile(out), testutil::ReadFile(err)};
}

std::string Q(const std::string& path) { return "'" + path + "'"; }

size_t Lines(const std::string& s) { return size_t(std::count(s.begin(), s.end(), '\n')); }

void MakeTree(const fs::path& root) {
    fs::create_directories(root / "Docs" / "Deep");
    testutil::WriteFile((root / "Setup.ini").string(), "[Setup]\r\nTitle=Demo\r\n");
    testutil::WriteFile((root / "empty.txt").string(), "");
    std::string text;
    for (int i = 0; i < 3000; ++i) text += "line " + std::to_string(i % 97) + " of the readme\r\n";
    testutil::WriteFile((root / "Docs" / "Readme.txt").string(), text);
    std::mt19937 rng(5);
    std::string noise(70000, '\0');
    for (char& c : noise) c = char(rng());
    testutil::WriteFile((root / "Docs" / "Deep" / "movie.bin").string(), noise);
}

std::vector<std::string> Files(const fs::path& root) {
    std::vector<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file()) names.push_back(fs::relative(e.path(), root).generic_string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TEST(PackTool, CreateListExtractVerifyRoundTrip) {
    testutil::TempFolder dir("packtool");
    MakeTree(dir.Path() / "src");
    for (const char* method : {"none", "lzss", "bzip2", "best"}) {
        SCOPED_TRACE(method);
        std::string pac = dir.File(std::string(method) + ".pac"), out = dir.File(std::string("x-") + method);
        Result r = Disctool(dir, "pack create " + Q(pac) + " " + Q(dir.File("src")) + " --method " + method +
                                     " --block-size 4000");
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_TRUE(r.err.empty()) << r.err;  // no progress line when stderr is no terminal

        r = Disctool(dir, "pack list " + Q(pac));
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_NE(r.out.find("Docs\\Deep\\movie.bin"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("4 entries"), std::string::npos) << r.out;

        EXPECT_EQ(Disctool(dir, "pack verify " + Q(pac)).code, 0);
        r = Disctool(dir, "pack extract " + Q(pac) + " -C " + Q(out));
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(Files(out), Files(dir.File("src")));
        for (const std::string& f : Files(dir.File("src")))
            EXPECT_EQ(testutil::ReadFile(out + "/" + f), testutil::ReadFile(dir.File("src/" + f))) << f;
    }
}

TEST(PackTool, ExtractRefusesNamesThatEscapeTheFolder) {
    const char* names[] = {"..\\evil.txt", "\\evil.txt", "/evil.txt", "C:\\evil.txt", "C:evil.txt",
                           "a\\..\\..\\evil.txt", "Docs/../../evil.txt"};
    for (size_t i = 0; i < std::size(names); ++i) {
        SCOPED_TRACE("case " + std::to_string(i) + ": " + names[i]);
        testutil::TempFolder dir("packescape");
        std::string pac = dir.File("bad.pac"), error;
        ASSERT_TRUE(core::WritePackage(pac,
                                       {core::PackInput::FromBytes("fine.txt", {'o', 'k'}),
                                        core::PackInput::FromBytes(names[i], {'x'})},
                                       {}, &error))
            << error;
        fs::create_directories(dir.Path() / "out" / "inner");
        Result r = Disctool(dir, "pack extract " + Q(pac) + " -C " + Q(dir.File("out/inner")));
        EXPECT_NE(r.code, 0);
        EXPECT_EQ(Lines(r.err), 1u) << r.err;
        EXPECT_NE(r.err.find("refused"), std::string::npos) << r.err;
        EXPECT_TRUE(Files(dir.File("out")).empty());  // not even the harmless entry
        EXPECT_FALSE(fs::exists(dir.File("evil.txt")));
    }
}

TEST(PackTool, VerifyAndExtractReportADamagedChunk) {
    testutil::TempFolder dir("packdamage");
    MakeTree(dir.Path() / "src");
    std::string pac = dir.File("p.pac");
    ASSERT_EQ(Disctool(dir, "pack create " + Q(pac) + " " + Q(dir.File("src/Docs/Readme.txt")) + " --method bzip2").code,
              0);
    uint32_t offset;
    {
        core::PackageFile p;
        ASSERT_TRUE(p.Open(pac));
        offset = p.Entries()[0].chunks[0].offset;
    }
    std::string bytes = testutil::ReadFile(pac);
    for (size_t k = offset + 30; k < offset + 60; ++k) bytes[k] ^= 0x5A;  // inside the bzip2 stream
    testutil::WriteFile(pac, bytes);

    Result r = Disctool(dir, "pack verify " + Q(pac));
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("entry 'Readme.txt': chunk 0"), std::string::npos) << r.err;
    r = Disctool(dir, "pack extract " + Q(pac) + " -C " + Q(dir.File("out")));
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(Lines(r.err), 1u) << r.err;
    EXPECT_FALSE(fs::exists(dir.File("out/Readme.txt")));  // no half-written entry
}

TEST(PackTool, CreateFailuresLeaveNoPackage) {
    testutil::TempFolder dir("packfail");
    fs::create_directories(dir.Path() / "twins");
    testutil::WriteFile(dir.File("twins/Read.me"), "1");
    testutil::WriteFile(dir.File("twins/READ.ME"), "2");
    std::string pac = dir.File("p.pac");
    struct Case {
        std::string args;
        int code;
    } cases[] = {
        {Q(pac) + " " + Q(dir.File("twins")), 1},  // names equal without case
        {Q(pac) + " " + Q(dir.File("missing")), 1},
        {Q(pac) + " " + Q(dir.File("twins")) + " --method zip", 2},
        {Q(pac) + " " + Q(dir.File("twins")) + " --block-size 0", 2},
        {Q(pac), 2},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        Result r = Disctool(dir, "pack create " + cases[i].args);
        EXPECT_EQ(r.code, cases[i].code) << "case " << i << ": " << r.err;
        EXPECT_GE(Lines(r.err), 1u) << "case " << i;
        EXPECT_FALSE(fs::exists(pac)) << "case " << i;
    }
    for (const char* level : {"pack --help", "pack create --help", "pack list --help", "pack extract --help",
                              "pack verify --help"}) {
        Result r = Disctool(dir, level);
        EXPECT_EQ(r.code, 0) << level;
        EXPECT_EQ(r.out.rfind("usage: disctool pack", 0), 0u) << level;
    }
}
