#include <gtest/gtest.h>

#include <cstring>

#include "core/exceptions.h"
#include "core/file_path.h"
#include "core/guid.h"
#include "core/tokens.h"
#include "core/wildcard.h"
#include "test_util.h"

using namespace core;

TEST(Guid, TextConversion) {
    CQmGUID g("{6B29FC40-CA47-1067-B31D-00DD010662DA}");
    EXPECT_FALSE(g.IsNull());
    const uint8_t expected[16] = {0x40, 0xFC, 0x29, 0x6B, 0x47, 0xCA, 0x67, 0x10,
                                  0xB3, 0x1D, 0x00, 0xDD, 0x01, 0x06, 0x62, 0xDA};
    EXPECT_EQ(0, std::memcmp(g.Bytes(), expected, 16));
    EXPECT_EQ(g.ToString(), "{6B29FC40-CA47-1067-B31D-00DD010662DA}");
    // Only the first 38 characters count.
    EXPECT_TRUE(CQmGUID("{6b29fc40-ca47-1067-b31d-00dd010662da} trailing") == g);
    EXPECT_TRUE(CQmGUID("{00000000-0000-0000-0000-000000000000}").IsNull());

    const char* bad[] = {
        "{6B29FC40-CA47-1067-B31D-00DD010662DG}",  // a G
        "6B29FC40-CA47-1067-B31D-00DD010662DA",    // no braces
        "{6B29FC40-CA47-1067-B31D-00DD010662D}",   // short
        "{6B29FC40xCA47-1067-B31D-00DD010662DA}",  // no hyphen
        "",
    };
    for (size_t i = 0; i < std::size(bad); ++i) {
        try {
            CQmGUID parsed(bad[i]);
            ADD_FAILURE() << "case " << i << " accepted: " << bad[i];
        } catch (const CQmException& e) {
            EXPECT_STREQ(e.What(), "CQmGUID::CQmGUID(): Invalid GUID string") << "case " << i;
        }
    }
}

TEST(FilePath, SplitAndRebuild) {
    struct Case {
        const char* text;
        const char* drive;
        const char* directory;
        const char* name;
        const char* extension;
    } cases[] = {
        {"C:\\Games\\Demo\\setup.exe", "C:\\", "Games\\Demo", "setup", "exe"},
        {"C:setup.exe", "C:\\", "", "setup", "exe"},
        {"Games\\archive.tar.gz", "", "Games", "archive.tar", "gz"},
        {"\\readme", "", "", "readme", ""},
        {"D:\\folder.with.dots\\file", "D:\\", "folder.with.dots", "file", ""},
        {"", "", "", "", ""},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        FilePath p(cases[i].text);
        EXPECT_EQ(p.drive, cases[i].drive) << "case " << i;
        EXPECT_EQ(p.directory, cases[i].directory) << "case " << i;
        EXPECT_EQ(p.name, cases[i].name) << "case " << i;
        EXPECT_EQ(p.extension, cases[i].extension) << "case " << i;
    }
    EXPECT_EQ(FilePath("C:\\Games\\Demo\\setup.exe").FullPath(), "C:\\Games\\Demo\\setup.exe");
    EXPECT_EQ(FilePath("C:\\Games\\Demo\\setup.exe").Folder(), "C:\\Games\\Demo");

    // An existing folder is all directory.
    testutil::TempFolder dir("path");
    FilePath folder(dir.Str());
    EXPECT_TRUE(folder.name.empty());
    EXPECT_TRUE(folder.extension.empty());
    EXPECT_FALSE(FilePath().SetSpecialFolder(0));
    EXPECT_FALSE(FilePath().SetSpecialFolder(14));
}

TEST(Wildcard, Matching) {
    struct Case {
        const char* text;
        const char* pattern;
        bool match;
    } cases[] = {
        {"setup.EXE", "*.exe", true},  {"setup.exe", "s?tup", false}, {"", "*", false},
        {"a", "", false},              {"setup.exe", "*", true},      {"setup.exe", "S*P.*E", true},
        {"abc", "a*b*c*", true},       {"abc", "a*d", false},         {"aaaaaaaaaaaaaaaaaaaab", "*a*a*a*a*a*c", false},
        {"readme.txt", "????????.txt", false}, {"readme.txt", "??????.txt", true},
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(MatchesWildcard(cases[i].text, cases[i].pattern), cases[i].match)
            << "case " << i << ": " << cases[i].text << " / " << cases[i].pattern;
}

TEST(ReplaceTokens, SinglePassInMapOrder) {
    auto run = [](const std::string& source, const TokenMap& tokens) {
        BinaryBuffer in(source.data(), uint32_t(source.size()));
        BinaryBuffer out = ReplaceTokens(in, tokens);
        return std::string(reinterpret_cast<const char*>(out.Data()), out.Size());
    };
    EXPECT_EQ(run("x[AB]y", {{"[A", "1"}, {"[AB", "2"}}), "x1B]y");  // the shorter sorts first
    EXPECT_EQ(run("[T][t]", {{"[T]", "[t]"}, {"[t]", "lower"}}), "[t]lower");  // not rescanned
    EXPECT_EQ(run("abc", {{"", "never"}, {"b", "B"}}), "aBc");  // empty tokens are skipped
    EXPECT_EQ(run("", {{"a", "b"}}), "");
    EXPECT_EQ(run("tail[A", {{"[AB", "x"}}), "tail[A");  // a token must fit in the bytes left
    std::string binary("a\0b\0", 4);
    EXPECT_EQ(run(binary, {{std::string("\0", 1), "0"}}), "a0b0");
}
