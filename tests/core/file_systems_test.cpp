#include <gtest/gtest.h>

#include <cstring>

#include "core/file_systems.h"
#include "core/mount_table.h"
#include "core/os/file_stream.h"
#include "test_util.h"

using namespace core;

namespace {

// Each test starts and ends with an empty table.
class MountTableTest : public ::testing::Test {
protected:
    void SetUp() override { UnmountAll(); }
    void TearDown() override { UnmountAll(); }
    const auto& Table() { return MountTable::Instance().FileSystems(); }
};

}  // namespace

TEST(RelativeNames, ResolveAgainstTheRoot) {
    struct Case {
        const char* root;
        const char* name;
        const char* expected;
    } cases[] = {
        {"C:\\A\\B", "..\\x.txt", "C:\\A\\x.txt"},
        {"C:\\A\\B", ".\\x.txt", "C:\\A\\B\\x.txt"},
        {"C:\\A\\B", "./sub/x.txt", "C:\\A\\B\\sub\\x.txt"},
        {"C:\\A\\B", "..\\..\\..\\x.txt", "C:\\x.txt"},  // the drive is a part of its own
        {"C:\\", ".\\x.txt", "C:\\x.txt"},
        {"\\\\server\\share", "..\\x", "\\\\server\\x"},
        {"C:\\A\\B", "..\\.\\x", "C:\\A\\x"},  // one "." after the ".." parts is dropped
        {"C:\\A\\B", ".hidden", "C:\\A\\B\\.hidden"},
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(ResolveRelativeName(cases[i].root, cases[i].name), cases[i].expected) << "case " << i;
}

TEST_F(MountTableTest, FirstOpenMountsTheDefaults) {
    EXPECT_TRUE(Table().empty());
    EXPECT_EQ(OpenForReading("no such file at all"), nullptr);
    ASSERT_EQ(Table().size(), 2u);
    EXPECT_STREQ(Table()[0]->Type(), "Resource");
    EXPECT_STREQ(Table()[1]->Type(), "Physical");
}

TEST_F(MountTableTest, FailedMountsLeaveTheTableAlone) {
    testutil::TempFolder dir("mount");
    ASSERT_NE(Mount(dir.Str().c_str(), "Physical", false), nullptr);
    EXPECT_EQ(Mount(dir.File("Setup.pac").c_str(), "Virtual", false), nullptr);
    EXPECT_EQ(Mount(dir.Str().c_str(), "physical", false), nullptr);  // types compare exactly
    EXPECT_EQ(Mount(dir.File("no folder").c_str(), nullptr, false), nullptr);
    testutil::WriteFile(dir.File("plain.txt"), "x");
    EXPECT_EQ(Mount(dir.File("plain.txt").c_str(), "", false), nullptr);  // a file is not a folder
    EXPECT_EQ(Table().size(), 1u);
    EXPECT_TRUE(Unmount(Table()[0].get()));
    EXPECT_TRUE(Table().empty());
}

TEST_F(MountTableTest, PhysicalNamesRelativeToTheRootOrTheHost) {
    testutil::TempFolder dir("phys");
    std::filesystem::create_directories(dir.Path() / "inner");
    testutil::WriteFile(dir.File("up.txt"), "up");
    testutil::WriteFile((dir.Path() / "inner" / "here.txt").string(), "here");
    FileSystem* fs = Mount((dir.Path() / "inner").string().c_str(), "Physical", true);
    ASSERT_NE(fs, nullptr);

    char line[16];
    auto up = fs->Open("..\\up.txt", false, false);
    ASSERT_NE(up, nullptr);
    EXPECT_EQ(up->ReadLine(line, sizeof line), 2u);
    EXPECT_STREQ(line, "up");
    auto here = fs->Open(".\\here.txt", false, false);
    ASSERT_NE(here, nullptr);
    EXPECT_EQ(here->GetSize(), 4u);
    // Any other name goes to the host as it is.
    EXPECT_EQ(fs->Open("here.txt", false, false), nullptr);
    EXPECT_NE(fs->Open(dir.File("up.txt").c_str(), false, false), nullptr);
    EXPECT_EQ(fs->Open("", false, false), nullptr);
    EXPECT_EQ(fs->Open(dir.Str().c_str(), false, false), nullptr);  // folders are not files
}

TEST_F(MountTableTest, WritesFallThroughToTheFirstWritableFileSystem) {
    testutil::TempFolder dir("write");
    ASSERT_NE(Mount("<IntRes>", "Resource", false), nullptr);
    ASSERT_NE(Mount(dir.Str().c_str(), "Physical", false), nullptr);
    auto out = OpenForWriting(".\\made.txt");
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out->WriteLine("hello"), 5u);
    EXPECT_EQ(out->Write("tail", 4), 4u);
    EXPECT_TRUE(out->Seek(0, kSeekBegin));
    EXPECT_EQ(out->GetSize(), 11u);
    out.reset();
    EXPECT_EQ(testutil::ReadFile(dir.File("made.txt")), "hello\r\ntail");

    auto rw = OpenForReading(".\\made.txt", true);
    ASSERT_NE(rw, nullptr);
    EXPECT_TRUE(rw->Seek(-4, kSeekEnd));
    EXPECT_EQ(rw->Write("TAIL", 4), 4u);
    EXPECT_TRUE(rw->IsEOF());
    FileTime created, accessed, written;
    EXPECT_TRUE(rw->GetFileTime(&created, &accessed, &written));
    EXPECT_NE(written.dwHighDateTime, 0u);
    rw.reset();
    EXPECT_EQ(testutil::ReadFile(dir.File("made.txt")), "hello\r\nTAIL");
}

TEST(Streams, ReadLineStopsAtNulOnlyInFiles) {
    testutil::TempFolder dir("lines");
    const char content[] = "name\0more\r\nnext\r\nlast";
    std::string path = dir.File("lines.txt");
    testutil::WriteFile(path, std::string(content, sizeof content - 1));

    char line[64];
    auto file = FileStream::Open(path.c_str(), FileOpenMode::Read);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->ReadLine(line, sizeof line), 4u);
    EXPECT_STREQ(line, "name");
    EXPECT_EQ(file->ReadLine(line, sizeof line), 4u);
    EXPECT_STREQ(line, "more");

    ResourceStream memory(reinterpret_cast<const uint8_t*>(content), sizeof content - 1);
    EXPECT_EQ(memory.ReadLine(line, sizeof line), 9u);  // the NUL is stored, the line goes on
    EXPECT_EQ(std::memcmp(line, "name\0more", 9), 0);
    EXPECT_EQ(memory.ReadLine(line, sizeof line), 4u);
    EXPECT_STREQ(line, "next");
    EXPECT_EQ(memory.ReadLine(line, sizeof line), 4u);
    EXPECT_STREQ(line, "last");
    EXPECT_TRUE(memory.IsEOF());
    EXPECT_EQ(memory.ReadLine(line, sizeof line), 0u);

    // A line longer than the destination is cut; the rest of it is skipped.
    ResourceStream longLine(reinterpret_cast<const uint8_t*>("0123456789\r\nx"), 13);
    char small[5];
    EXPECT_EQ(longLine.ReadLine(small, sizeof small), 4u);
    EXPECT_STREQ(small, "0123");
    EXPECT_EQ(longLine.ReadLine(small, sizeof small), 1u);
    EXPECT_STREQ(small, "x");
}

TEST(Streams, ResourceStreamSeekRange) {
    const uint8_t bytes[] = {1, 2, 3, 4};
    ResourceStream s(bytes, 4);
    EXPECT_TRUE(s.Seek(4, kSeekBegin));
    EXPECT_FALSE(s.Seek(5, kSeekBegin));
    EXPECT_FALSE(s.Seek(-1, kSeekBegin));
    EXPECT_EQ(s.Tell(), 4u);
    EXPECT_TRUE(s.Seek(-3, kSeekEnd));
    EXPECT_TRUE(s.Seek(1, kSeekCurrent));
    uint8_t got[8];
    EXPECT_EQ(s.Read(got, 8), 2u);
    EXPECT_EQ(got[0], 3);
    EXPECT_EQ(s.Write(got, 1), 0u);
    EXPECT_EQ(s.WriteLine("x"), 0u);
    EXPECT_FALSE(s.GetFileTime(nullptr, nullptr, nullptr));
}

// The line reader takes the line feed after a carriage return by reading it:
// it never moves a stream past its end, where a file stream (which lets a
// seek pass the end) would read nothing and never come to IsEOF.
TEST(Streams, ReadLineNeverPassesTheEnd) {
    testutil::TempFolder dir("crlines");
    struct Case {
        std::string content;
        std::vector<std::string> lines;
    } cases[] = {
        {"a\r", {"a"}},
        {"\r", {""}},
        {"a\r\n", {"a"}},
        {"a\rb\r\n", {"a", "b"}},  // without a line feed the next byte starts the next line
        {"a\r\r\nb", {"a", "", "b"}},
        {"\r\n\r\n", {"", ""}},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE("case " + std::to_string(i));
        const std::string& content = cases[i].content;
        std::string path = dir.File("lines" + std::to_string(i) + ".txt");
        testutil::WriteFile(path, content);
        auto file = FileStream::Open(path.c_str(), FileOpenMode::Read);
        ASSERT_NE(file, nullptr);
        ResourceStream memory(reinterpret_cast<const uint8_t*>(content.data()), content.size());
        for (Stream* s : {static_cast<Stream*>(file.get()), static_cast<Stream*>(&memory)}) {
            std::vector<std::string> got;
            char line[64];
            for (int guard = 0; guard < 100 && !s->IsEOF(); ++guard) {
                s->ReadLine(line, sizeof line);
                got.push_back(line);
                EXPECT_LE(s->Tell(), s->GetSize());
            }
            EXPECT_EQ(got, cases[i].lines);
            EXPECT_TRUE(s->IsEOF());
            EXPECT_EQ(s->Tell(), content.size());
        }
    }
}

// A position beyond the end (a file stream seeks there without complaint)
// is the end as well.
TEST(Streams, PastTheEndIsTheEnd) {
    testutil::TempFolder dir("pastend");
    std::string path = dir.File("f.txt");
    testutil::WriteFile(path, "abc");
    auto file = FileStream::Open(path.c_str(), FileOpenMode::Read);
    ASSERT_NE(file, nullptr);
    EXPECT_FALSE(file->IsEOF());
    ASSERT_TRUE(file->Seek(10, kSeekBegin));
    EXPECT_TRUE(file->IsEOF());
    char c;
    EXPECT_EQ(file->Read(&c, 1), 0u);
    EXPECT_TRUE(file->Close());
    EXPECT_TRUE(file->Close());  // closing again is harmless
}
