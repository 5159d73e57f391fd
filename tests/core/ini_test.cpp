#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <future>
#include <string>
#include <thread>

#include "core/ini.h"
#include "core/mount_table.h"
#include "core/os/file_stream.h"
#include "core/stream.h"
#include "damaged_stream.h"
#include "test_util.h"

using namespace core;

namespace {

// Parses text from memory.
void ParseText(IniGroup& ini, const std::string& text) {
    ResourceStream stream(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    ASSERT_TRUE(ini.Parse("memory", &stream));
}

void ParseBytes(IniGroup& ini, const std::vector<uint8_t>& bytes) {
    ResourceStream stream(bytes.data(), bytes.size());
    ASSERT_TRUE(ini.Parse("memory", &stream));
}

// Runs work, and ends the whole test program if it has not ended within
// the time: a parse that loops forever must fail the test, not hang it.
void WithinSeconds(int seconds, const char* what, std::function<void()> work) {
    std::packaged_task<void()> task(std::move(work));
    std::future<void> done = task.get_future();
    std::thread worker(std::move(task));
    if (done.wait_for(std::chrono::seconds(seconds)) != std::future_status::ready) {
        std::fprintf(stderr, "FAILED: %s did not end within %d s\n", what, seconds);
        std::fflush(stderr);
        std::_Exit(1);
    }
    worker.join();
    done.get();
}

// Parses text through the file stream of the host, from a file.
void ParseFile(IniGroup& ini, const std::string& text) {
    testutil::TempFolder dir("inifile");
    std::string path = dir.File("Tessor.ini");
    testutil::WriteFile(path, text);
    auto stream = FileStream::Open(path.c_str(), FileOpenMode::Read);
    ASSERT_NE(stream, nullptr);
    WithinSeconds(20, "parsing through a file stream", [&] { EXPECT_TRUE(ini.Parse(path.c_str(), stream.get())); });
    EXPECT_TRUE(stream->IsEOF());
}

// A readable form of a whole tree, for comparing two parses.
std::string Describe(const IniGroup& g) {
    std::string out = "{" + g.Name() + ":";
    for (const auto& e : g.Entries()) {
        out += e->Name() + "=" + e->Value();
        for (const auto& [k, v] : e->Attributes()) out += "," + k + "=" + v;
        out += ";";
    }
    for (const auto& [k, v] : g.Macros()) out += "M" + k + "=" + v + ";";
    for (const auto& c : g.Children()) out += Describe(*c);
    return out + "}";
}

const char kSample[] =
    "; the file systems to mount\r\n"
    "Macro ROOT \"C:\\Games\"\r\n"
    "Group FileSystems\r\n"
    "{\r\n"
    "Pak = \"Setup.pac\" Type = Virtual, OptimizeIO=true\r\n"
    "}\r\n"
    "Path = \"[ROOT]\\Data\"\r\n"
    "Lower = [root]\\x[NOPE]y\r\n"
    "Fullscreen\r\n"
    "Group Audio from nowhere.ini\r\n"
    "group = 5 ; a key, since keywords are exact\r\n"
    "Quoted = \"a ~\"b~\" ~~ c\" tab=\"~r~n\"\r\n";

}  // namespace

TEST(Ini, StatementsEntriesAttributesAndMacros) {
    IniFile ini;
    ParseText(ini, kSample);
    IniGroup* fs = ini.FindGroup("filesystems");
    ASSERT_NE(fs, nullptr);
    ASSERT_EQ(fs->EntryCount(), 1u);
    IniEntry* pak = fs->EntryAt(0);
    EXPECT_EQ(pak->Name(), "Pak");
    EXPECT_EQ(pak->Value(), "Setup.pac");
    EXPECT_EQ(pak->GetAttribute("type"), "Virtual");
    EXPECT_EQ(pak->GetAttribute("OptimizeIO"), "true");
    EXPECT_EQ(pak->Attributes().size(), 2u);
    EXPECT_EQ(ini.GetEntryString("FileSystems/Pak"), "Setup.pac");

    EXPECT_EQ(ini.GetEntryString("Path"), "C:\\Games\\Data");
    EXPECT_EQ(ini.GetEntryString("Lower"), "C:\\Games\\xy");  // any case finds it; unknown ones vanish
    EXPECT_EQ(ini.GetEntryString("Fullscreen"), "true");
    EXPECT_EQ(ini.GetEntryString("group"), "5");
    EXPECT_EQ(ini.GetEntryString("Quoted"), "a \"b\" ~ c");
    EXPECT_EQ(ini.FindEntry("Quoted")->GetAttribute("tab"), "\r\n");
    // A missing include still makes the group.
    ASSERT_NE(ini.FindGroup("Audio"), nullptr);
    EXPECT_EQ(ini.FindGroup("Audio")->EntryCount(), 0u);
    EXPECT_EQ(ini.Macros().size(), 1u);
    EXPECT_EQ(ini.EntryCount(), 5u);
    EXPECT_EQ(ini.EntryAt(5), nullptr);
}

TEST(Ini, LineAndBraceRules) {
    struct Case {
        const char* text;
        const char* expected;
    } cases[] = {
        // Line feeds alone do not end a line (nor a token): it all reads as one line.
        {"a = 1\nb = 2\n", "{:a=1\nb,==true,2\n=true;}"},
        // A brace on the Group line is dropped: the entry lands in the outer group.
        {"Group G {\r\nx\r\n}\r\n", "{:x=true;}"},
        // A "}" at the root keeps the root current.
        {"}\r\n}\r\nx = 1\r\n", "{:x=1;}"},
        // A key whose "=" has no value stores nothing.
        {"a =\r\nb\r\n", "{:b=true;}"},
        // Further keys of a line are attributes of its entry; a later line sets the value again.
        {"k = 1 x y = 2\r\nk = 3\r\n", "{:k=3,x=true,y=2;}"},
        // Comment tokens end the line wherever they stand.
        {"a ;b = 2\r\n;c\r\n", "{:a=true;}"},
        // Nested groups; entries and a second visit to the same group.
        {"Group A\r\n{\r\nGroup B\r\n{\r\nx\r\n}\r\n}\r\nGroup a\r\n{\r\ny\r\n}\r\n", "{:{A:y=true;{B:x=true;}}}"},
        // Parentheses and commas separate; "(" inside a token is kept.
        {"f(a,b) = (1)\r\n", "{:f(a=true,b=1;}"},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        IniFile ini;
        ParseText(ini, cases[i].text);
        EXPECT_EQ(Describe(ini), cases[i].expected) << "case " << i;
    }
}

TEST(Ini, TokenizerTable) {
    struct Case {
        const char* line;
        std::vector<std::string> tokens;
    } cases[] = {
        {"  a\tb,(c(d)e", {"a", "b", "c(d", "e"}},
        {"key=value", {"key", "=", "value"}},
        {"=x", {"=", "x"}},
        {"\"quoted = text\" next", {"quoted = text", "next"}},
        {"\"unterminated", {"unterminated"}},
        {"a~ b ~\"q", {"a b", "\"q"}},
        {"x(y", {"x(y"}},
        {"", {}},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        std::vector<std::string> got;
        size_t pos = 0;
        IniToken token;
        while (NextIniToken(cases[i].line, &pos, &token)) got.push_back(token.text);
        EXPECT_EQ(got, cases[i].tokens) << "case " << i;
    }
}

TEST(Ini, PathsAndNumbers) {
    IniFile ini;
    ini.SetEntry("A/B/n", "  -42x");
    ini.SetEntry("A/B/big", "99999999999");
    ini.SetEntry("A/plus", "+7");
    EXPECT_EQ(ini.GetEntryInt("a\\b\\N"), -42);
    EXPECT_EQ(ini.GetEntryInt("A/B/big"), 2147483647);
    EXPECT_EQ(ini.GetEntryInt("A/plus"), 7);
    EXPECT_EQ(ini.GetEntryInt("A/none"), 0);
    EXPECT_EQ(ini.GetEntryString("no/such/path"), "");
    EXPECT_FALSE(ini.HasEntry("A/B"));
    EXPECT_NE(ini.FindGroup("A/B"), nullptr);
    ini.SetEntry("a/b/N", "1");
    EXPECT_EQ(ini.FindGroup("A/B")->EntryCount(), 2u);
    EXPECT_EQ(ini.GetOrCreateGroup("A"), ini.FindGroup("a"));
}

TEST(Ini, RunawayInputIsBounded) {
    // A macro that refers to itself, and one that grows: bounded passes and line length.
    IniFile ini;
    ParseText(ini, "Macro SELF [SELF]x\r\nMacro GROW [GROW][GROW]\r\na = [SELF]\r\nb = [GROW]\r\n");
    EXPECT_LE(ini.GetEntryString("a").size(), size_t(kIniMacroPasses));
    EXPECT_LE(ini.GetEntryString("b").size(), kIniLineLimit);

    // A line far longer than the reader's area is cut, not overrun.
    IniFile longLine;
    ParseText(longLine, "k = " + std::string(100000, 'v') + "\r\nnext = 1\r\n");
    EXPECT_EQ(longLine.GetEntryString("k").size(), kIniLineLimit - 4);
    EXPECT_EQ(longLine.GetEntryString("next"), "1");
}

TEST(Ini, InclusionThroughTheMountTable) {
    testutil::TempFolder dir("ini");
    testutil::WriteFile(dir.File("more.ini"), "Inner = \"[ROOT]\\more\"\r\n");
    // A file that includes itself stops at the include depth.
    testutil::WriteFile(dir.File("loop.ini"), "Macro DIR \"" + dir.Str() + "\"\r\nGroup Again From \"[DIR]/loop.ini\"\r\n");
    std::string main = dir.File("main.ini");
    testutil::WriteFile(main, "Macro ROOT \"C:\\Games\"\r\nMacro DIR \"" + dir.Str() +
                                  "\"\r\nGroup Extra\r\n{\r\nOld = 1\r\n}\r\nGroup Extra FROM \"[DIR]/more.ini\"\r\n"
                                  "Group Loop from \"[DIR]/loop.ini\"\r\n");
    IniFile ini;
    ASSERT_TRUE(ini.Parse(main.c_str()));
    IniGroup* extra = ini.FindGroup("Extra");
    ASSERT_NE(extra, nullptr);
    EXPECT_EQ(extra->GetEntryString("Inner"), "C:\\Games\\more");  // the includer's macros are visible
    EXPECT_FALSE(extra->HasEntry("Old"));                          // inclusion replaces what the group held
    int depth = 0;
    for (IniGroup* g = ini.FindGroup("Loop"); g; g = g->FindGroup("Again")) ++depth;
    EXPECT_EQ(depth, kIniIncludeDepth);

    IniFile missing;
    EXPECT_FALSE(missing.Parse(dir.File("absent.ini").c_str()));
}

TEST(Ini, CompiledFormReadsAsTheText) {
    std::string text = std::string(kSample) + "Group Sub\r\n{\r\nMacro LOCAL \"in sub\"\r\nv = [LOCAL]\r\n}\r\n\r\nlast\r\n";
    // The compiled form has no "~" escapes: drop that line for the comparison.
    size_t q = text.find("Quoted");
    text.erase(q, text.find("\r\n", q) + 2 - q);
    std::vector<uint8_t> compiled;
    std::string error;
    ASSERT_TRUE(CompileIni(text, &compiled, &error)) << error;
    ASSERT_GT(compiled.size(), 4u);
    EXPECT_EQ(std::vector<uint8_t>(compiled.begin(), compiled.begin() + 4), std::vector<uint8_t>({1, 0x43, 0x46, 1}));
    EXPECT_EQ(std::string(compiled.begin(), compiled.end()).find("Setup.pac"), std::string::npos);  // enciphered

    IniFile fromText, fromCompiled;
    ParseText(fromText, text);
    ParseBytes(fromCompiled, compiled);
    EXPECT_EQ(Describe(fromCompiled), Describe(fromText));
    EXPECT_EQ(fromCompiled.GetEntryString("Sub/v"), "in");  // the expanded macro is two tokens
    EXPECT_EQ(fromCompiled.FindEntry("Sub/v")->GetAttribute("sub"), "true");

    // Reading stops at a line of length 0; what came before stays, and the
    // lines after it are not read. Without the zero length the same bytes
    // read both lines, so the stop is the length's doing.
    std::vector<uint8_t> first, second;
    ASSERT_TRUE(CompileIni("a = 1\r\n", &first, &error)) << error;
    ASSERT_TRUE(CompileIni("b = 2\r\n", &second, &error)) << error;
    ASSERT_EQ(std::vector<uint8_t>(first.end() - 2, first.end()), std::vector<uint8_t>({0, 0}));
    std::vector<uint8_t> stopped = first;  // a, the length 0, then b's line
    stopped.insert(stopped.end(), second.begin() + 4, second.end());
    std::vector<uint8_t> joined(first.begin(), first.end() - 2);  // a, then b's line
    joined.insert(joined.end(), second.begin() + 4, second.end());
    IniFile early, both;
    ParseBytes(early, stopped);
    ParseBytes(both, joined);
    EXPECT_EQ(early.GetEntryString("a"), "1");
    EXPECT_FALSE(early.HasEntry("b"));
    EXPECT_EQ(early.EntryCount(), 1u);
    EXPECT_EQ(both.GetEntryString("a"), "1");
    EXPECT_EQ(both.GetEntryString("b"), "2");

    EXPECT_FALSE(CompileIni("a = \"~\"\"\r\n", &compiled, &error));
    EXPECT_NE(error.find("line 1"), std::string::npos);
}

TEST(Ini, CipherRoundTrip) {
    const IniCipher& cipher = IniCipher::Get();
    for (size_t n : {1u, 15u, 16u, 17u, 300u}) {
        std::vector<uint8_t> plain(n);
        for (size_t i = 0; i < n; ++i) plain[i] = uint8_t(i * 7 + 3);
        std::vector<uint8_t> bytes = plain;
        cipher.Encipher(bytes.data(), n);
        EXPECT_NE(bytes, plain) << n;
        cipher.Decipher(bytes.data(), n);
        EXPECT_EQ(bytes, plain) << n;
    }
}

// The reader ends on every input when it reads through the host's file
// stream, which (unlike the memory stream) lets a seek pass the end: a
// carriage return as the last byte once skipped its "line feed" by seeking
// past the end, where IsEOF never came true and every ReadLine read nothing.
TEST(Ini, EveryInputEndsThroughTheFileStream) {
    struct Case {
        std::string text;
        const char* expected;
    } cases[] = {
        {"a = 1\r", "{:a=1;}"},                   // the carriage return is the last byte
        {"\r", "{:}"},                            // and the only one
        {"a = 1\r\n\r", "{:a=1;}"},
        {"a = 1\r\r\r", "{:a=1;}"},               // empty lines without line feeds
        {"a = 1\rb = 2\r\n", "{:a=1;b=2;}"},      // a carriage return without a line feed ends a line
        {"a = 1\r\n\r\nb = 2", "{:a=1;b=2;}"},   // a line of length 0 is just an empty line
        {"a = 1\r\nb = 2\n", "{:a=1;b=2\n;}"},
        {"Group G\r\n{\r\nx\r", "{:{G:x=true;}}"},
        {std::string(5000, 'k') + "\r", nullptr},  // cut at the reader's area, then the end
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE("case " + std::to_string(i));
        IniFile fromFile, fromMemory;
        ParseFile(fromFile, cases[i].text);
        ParseText(fromMemory, cases[i].text);
        EXPECT_EQ(Describe(fromFile), Describe(fromMemory));
        if (cases[i].expected) { EXPECT_EQ(Describe(fromFile), cases[i].expected); }
    }
    // A NUL ends a line in a file only; the memory stream keeps it in the line.
    IniFile nul;
    ParseFile(nul, std::string("a = 1\0b = 2\r", 13));
    EXPECT_EQ(Describe(nul), "{:a=1;b=2;}");
}

// Reading ends at a read that fails, wherever it fails, and keeps the lines before.
TEST(Ini, EveryReadFailureEnds) {
    const std::string text = "a = 1\r\nGroup G\r\n{\r\nx = 2\r\n}\r\nlast = 3\r\n";
    for (uint64_t bad = 0; bad <= text.size(); ++bad) {
        SCOPED_TRACE("reads fail from offset " + std::to_string(bad));
        testutil::DamagedStream stream(text, bad);
        IniFile ini;
        WithinSeconds(20, "parsing a damaged stream", [&] { EXPECT_TRUE(ini.Parse("damaged", &stream)); });
        EXPECT_LE(stream.reads, text.size() + 16);
        if (bad > text.find("\r\nGroup")) { EXPECT_EQ(ini.GetEntryString("a"), "1"); }
        if (bad == text.size()) { EXPECT_EQ(ini.GetEntryString("last"), "3"); }
    }
    // The compiled form stops at a read that comes short.
    std::vector<uint8_t> compiled;
    std::string error;
    ASSERT_TRUE(CompileIni(text, &compiled, &error)) << error;
    for (uint64_t bad = 0; bad <= compiled.size(); ++bad) {
        testutil::DamagedStream stream(std::string(compiled.begin(), compiled.end()), bad);
        IniFile ini;
        WithinSeconds(20, "parsing a damaged compiled stream", [&] { EXPECT_TRUE(ini.Parse("damaged", &stream)); });
        if (bad == compiled.size()) { EXPECT_EQ(ini.GetEntryString("G/x"), "2"); }
    }
}

// A line that sets an entry inside a group and then includes that group from
// a file: the inclusion clears the group, entry and all, so the keys after it
// on the line have no entry to become attributes of (they once wrote to the
// freed entry).
TEST(Ini, InclusionOfTheGroupThatHoldsTheLinesEntry) {
    testutil::TempFolder dir("iniinclude");
    testutil::WriteFile(dir.File("more.ini"), "Inner = 1\r\n");
    const std::string more = "\"" + dir.File("more.ini") + "\"";
    struct Case {
        std::string text;
        const char* expected;
    } cases[] = {
        // The entry lives in the included group: it goes, its attributes too.
        {"Child/key = 1 Group Child from nowhere.ini attr = 2\r\n", "{:{Child:}}"},
        {"Child/key = 1 Group Child from " + more + " attr = 2 more\r\n", "{:{Child:Inner=1;}}"},
        // Deeper below the included group.
        {"Child/Sub/key = 1 Group Child from " + more + " attr = 2\r\n", "{:{Child:Inner=1;}}"},
        // The entry lives elsewhere: it keeps its attributes.
        {"key = 1 Group Child from " + more + " attr = 2\r\n", "{:key=1,attr=2;{Child:Inner=1;}}"},
        {"Other/key = 1 Group Child from nowhere.ini attr = 2\r\n", "{:{Other:key=1,attr=2;}{Child:}}"},
        // Inside the group's braces, including a child of it.
        {"Group G\r\n{\r\nC/k = 1 Group C from " + more + " a = 2\r\nb = 3\r\n}\r\n",
         "{:{G:b=3;{C:Inner=1;}}}"},
    };
    UnmountAll();
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE("case " + std::to_string(i));
        IniFile ini;
        ParseText(ini, cases[i].text);
        EXPECT_EQ(Describe(ini), cases[i].expected);
    }
    UnmountAll();
}

// References whose name begins with "$" are the core's own tokens (the mount
// paths' "[$CurrentDir]" and "[$$$DEFAULT$$$]", replaced when a file system
// is mounted): unless a macro of that name exists they stay as written, so
// that a Tessor.ini can name "[$$$DEFAULT$$$]\Data". Other undefined
// references still vanish.
TEST(Ini, CoreTokensSurviveMacroExpansion) {
    IniFile ini;
    ParseText(ini,
              "Data = \"[$$$DEFAULT$$$]\\Data\"\r\n"
              "Here = [$CurrentDir]\\x[NOPE]\r\n"
              "Open = \"[$unclosed\"\r\n"
              "Macro $Mine \"mine\"\r\n"
              "Own = [$mine]\r\n");
    EXPECT_EQ(ini.GetEntryString("Data"), "[$$$DEFAULT$$$]\\Data");
    EXPECT_EQ(ini.GetEntryString("Here"), "[$CurrentDir]\\x");
    EXPECT_EQ(ini.GetEntryString("Open"), "[$unclosed");
    EXPECT_EQ(ini.GetEntryString("Own"), "mine");
}
