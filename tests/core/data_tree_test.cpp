#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <memory>
#include <string>

#include "core/data_group.h"
#include "core/exceptions.h"
#include "core/mount_table.h"
#include "test_util.h"

#ifndef _WIN32
#include <sys/resource.h>

#include <csignal>
#endif

using namespace core;

TEST(DataGroup, PathLookupsAndDefaults) {
    DataGroup root;
    root.SetValue("a/x", DataValue(1u));
    EXPECT_TRUE(root.GetValue("a/b/c").IsEmpty());
    EXPECT_EQ(root.GetValue("a/b/c", DataValue(42u)).Word(), 42u);
    EXPECT_EQ(root.GetValue("a\\x").Word(), 1u);
    EXPECT_EQ(root.GetValue("A/X").Word(), 1u);
    EXPECT_EQ(root.FindGroup("a/b"), nullptr);
    EXPECT_EQ(root.FindGroup("A"), root.FindGroup("a"));
    // An empty component matches only a child with an empty name.
    EXPECT_TRUE(root.GetValue("a//x").IsEmpty());
    root.SetValue("a//y", DataValue(2u));
    EXPECT_EQ(root.FindGroup("a/")->GetValue("y").Word(), 2u);
}

TEST(DataGroup, SetValueCreatesGroupsAndOverwritesWithoutCase) {
    DataGroup root;
    root.SetValue("a/b/c", DataValue("first"));
    DataGroup* b = root.FindGroup("a/b");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->Name(), "b");
    EXPECT_EQ(b->Parent(), root.FindGroup("a"));
    root.SetValue("A/B/C", DataValue("second"));
    EXPECT_EQ(root.Children().size(), 1u);
    EXPECT_EQ(b->ValueCount(), 1u);
    EXPECT_STREQ(root.GetValue("a/b/c").Text(), "second");

    root.RemoveValue("A/b/C");
    EXPECT_EQ(b->ValueCount(), 0u);
    root.RemoveValue("no/such/value");  // nothing happens
}

TEST(DataGroup, FirstMatchInByteOrderWins) {
    DataGroup g;
    g.Values().emplace("foo", DataValue("lower"));
    g.Values().emplace("Foo", DataValue("upper"));
    EXPECT_STREQ(g.GetValue("FOO").Text(), "upper");
    g.SetValue("fOO", DataValue("changed"));
    EXPECT_STREQ(g.GetValue("Foo").Text(), "changed");
    EXPECT_STREQ(g.Values().at("foo").Text(), "lower");
}

TEST(DataGroup, CopyAndAssignment) {
    DataGroup source;
    source.SetName("source");
    source.SetValue("g/v", DataValue(3u));
    DataGroup target;
    target.SetName("target");
    target.SetValue("old", DataValue(1u));
    target = source;
    EXPECT_EQ(target.Name(), "target");
    EXPECT_TRUE(target.GetValue("old").IsEmpty());
    EXPECT_EQ(target.GetValue("g/v").Word(), 3u);
    EXPECT_EQ(target.FindGroup("g")->Parent(), &target);

    DataGroup copy(source);
    EXPECT_EQ(copy.Name(), "");
    EXPECT_EQ(copy.Parent(), nullptr);
    EXPECT_EQ(copy.GetValue("g/v").Word(), 3u);

    // Assigning a group from inside its own subtree is safe.
    DataGroup nested;
    nested.SetValue("a/b/v", DataValue(9u));
    nested = *nested.FindGroup("a");
    EXPECT_EQ(nested.GetValue("b/v").Word(), 9u);
}

TEST(DataValue, CodesCopiesAndAccessors) {
    DataValue text("abc");
    DataValue copy = text;
    EXPECT_EQ(copy.Type(), uint32_t(kVtText));
    EXPECT_STREQ(copy.Text(), "abc");
    // Accessors on another code do not convert and do not crash.
    EXPECT_STREQ(DataValue(5u).Text(), "");
    EXPECT_EQ(text.Word(), 0u);
    EXPECT_EQ(text.GetList(), nullptr);
    EXPECT_EQ(text.Group(), nullptr);
    EXPECT_EQ(text.Binary(), nullptr);

    DataValue n;
    n.SetInt32(-2);
    EXPECT_EQ(n.Type(), uint32_t(kVtInt32));
    EXPECT_EQ(n.Int(), -2);
    EXPECT_EQ(DataValue(true).Byte(), 1);
    EXPECT_EQ(DataValue(7u).Type(), uint32_t(kVtUInt32));

    DataValue g;
    DataGroup group;
    group.SetValue("x", DataValue(1u));
    g.SetGroup(group);
    g = *g.Group()->FindValue("x");  // assigning from its own payload
    EXPECT_EQ(g.Word(), 1u);

    DataValue cleared("x");
    cleared.Clear();
    EXPECT_TRUE(cleared.IsEmpty());
}

TEST(DataValue, BinaryPayloadsAreShared) {
    const uint8_t bytes[] = {1, 2, 3};
    DataValue first(BinaryBuffer(bytes, 3));
    DataValue second = first;
    ASSERT_TRUE(second.Binary()->AppendU8(4));
    EXPECT_EQ(first.Binary()->Size(), 4u);
    EXPECT_EQ(first.Binary()->Data()[3], 4);
    EXPECT_EQ(first.Binary()->Store()->RefCount(), 2u);
    second.Clear();
    EXPECT_EQ(first.Binary()->Store()->RefCount(), 1u);
}

TEST(DataValue, GuidFlagFollowsTheBytes) {
    uint8_t zero[16] = {};
    EXPECT_TRUE(CQmGUID(zero).IsNull());
    uint8_t one[16] = {};
    one[15] = 1;
    EXPECT_FALSE(CQmGUID(one).IsNull());
    EXPECT_TRUE(CQmGUID().IsNull());
}

TEST(BinaryBuffer, ReadsAppendsAndTheOverrunException) {
    BinaryBuffer b;
    ASSERT_TRUE(b.AppendU8(0x11));
    ASSERT_TRUE(b.AppendU16(0x2233));
    ASSERT_TRUE(b.AppendU32(0x44556677));
    ASSERT_TRUE(b.AppendString("hi"));
    EXPECT_EQ(b.Size(), 10u);
    EXPECT_EQ(b.Length(), 10u);
    EXPECT_EQ(b.ReadU8(), 0x11);
    EXPECT_EQ(b.ReadU16(), 0x2233);
    EXPECT_EQ(b.ReadU32(), 0x44556677u);
    EXPECT_EQ(b.ReadString(), "hi");
    try {
        b.ReadU8();
        FAIL() << "read past the end was allowed";
    } catch (const HException& e) {
        EXPECT_STREQ(e.What(), "CBinaryBufferData::GetData() : Requested size exceeds content");
    }
    EXPECT_EQ(b.ReadPosition(), 10u);

    // A string without its NUL is a read past the end too.
    BinaryBuffer unterminated("abc", 3);
    EXPECT_THROW(unterminated.ReadString(), HException);

    // Large appends and many small ones keep every byte: all 256 values, each
    // append starting at another place of the pattern, so that a byte lost,
    // doubled or moved on a growth shows.
    BinaryBuffer big;
    std::vector<uint8_t> block(100000);
    for (size_t i = 0; i < block.size(); ++i) block[i] = uint8_t(i * 7 + i / 256);
    std::vector<uint8_t> expected;
    for (int i = 0; i < 50; ++i) {
        const uint8_t* from = block.data() + i * 13;
        ASSERT_TRUE(big.AppendBytes(from, 1000 + i));
        expected.insert(expected.end(), from, from + 1000 + i);
        ASSERT_TRUE(big.AppendU8(uint8_t(i)));
        expected.push_back(uint8_t(i));
    }
    ASSERT_TRUE(big.AppendBytes(block.data(), uint32_t(block.size())));
    expected.insert(expected.end(), block.begin(), block.end());
    EXPECT_EQ(big.Size(), 50u * 1000 + 49 * 50 / 2 + 50 + 100000);
    EXPECT_EQ(big.Length(), big.Size());
    ASSERT_EQ(testutil::Bytes(big), expected);
    bool seen[256] = {};
    for (uint8_t b : testutil::Bytes(big)) seen[b] = true;
    EXPECT_EQ(std::count(std::begin(seen), std::end(seen), true), 256);
    // And read back through the handle, byte for byte.
    for (size_t i = 0; i < expected.size(); ++i) ASSERT_EQ(big.ReadU8(), expected[i]) << "byte " << i;
    EXPECT_THROW(big.ReadU8(), HException);
}

TEST(BinaryBuffer, EmptyAndMovedFromHandles) {
    // ReadString on an empty store (whose data is null) is a read past the end.
    BinaryBuffer empty;
    EXPECT_EQ(empty.Size(), 0u);
    EXPECT_THROW(empty.ReadString(), HException);
    BinaryBuffer emptyBytes(nullptr, 0);
    EXPECT_THROW(emptyBytes.ReadString(), HException);
    uint8_t none = 0;
    BinaryBuffer emptyWrapped(&none, 0, true);
    EXPECT_THROW(emptyWrapped.ReadString(), HException);
    BinaryBuffer nulOnly("", 1);
    EXPECT_EQ(nulOnly.ReadString(), "");
    EXPECT_THROW(nulOnly.ReadString(), HException);

    // A moved-from handle is an empty buffer that can be used again.
    BinaryBuffer source("abc", 3);
    BinaryBuffer moved(std::move(source));
    EXPECT_EQ(moved.Size(), 3u);
    EXPECT_EQ(source.Size(), 0u);  // NOLINT(bugprone-use-after-move): the point of the test
    EXPECT_EQ(source.Data(), nullptr);
    EXPECT_EQ(source.Remaining(), 0u);
    EXPECT_EQ(source.Length(), 0u);
    EXPECT_FALSE(source.IsExternal());
    EXPECT_EQ(source.MutableData(), nullptr);
    EXPECT_THROW(source.ReadU8(), HException);
    EXPECT_THROW(source.ReadString(), HException);
    EXPECT_EQ(source.ReadSpan(0), nullptr);
    BinaryBuffer copyOfMoved(source);
    EXPECT_EQ(copyOfMoved.Size(), 0u);
    BinaryBuffer assigned("xyz", 3);
    assigned = source;
    EXPECT_EQ(assigned.Size(), 0u);
    ASSERT_TRUE(source.AppendString("de"));
    EXPECT_EQ(source.Size(), 3u);
    EXPECT_EQ(source.ReadString(), "de");
    EXPECT_EQ(moved.Size(), 3u);  // untouched by the source's new life

    BinaryBuffer target("old", 3);
    target = std::move(moved);
    EXPECT_EQ(target.Size(), 3u);
    EXPECT_EQ(moved.Size(), 0u);  // NOLINT(bugprone-use-after-move)
    EXPECT_FALSE(moved.SaveToFile(""));  // no name to open
    moved.Clear();
    EXPECT_EQ(moved.Size(), 0u);
    ASSERT_TRUE(moved.AppendU8(7));
    EXPECT_EQ(moved.Size(), 1u);
}

TEST(BinaryBuffer, ExternalStoresRefuseAppendsAndAreNotFreed) {
    uint8_t caller[4] = {9, 8, 7, 6};
    BinaryBuffer wrapped(caller, 4, true);
    EXPECT_TRUE(wrapped.IsExternal());
    EXPECT_EQ(wrapped.Data(), caller);
    EXPECT_FALSE(wrapped.AppendU8(1));
    EXPECT_FALSE(wrapped.AppendString("x"));
    EXPECT_EQ(wrapped.Size(), 4u);
    EXPECT_EQ(wrapped.ReadU32(), 0x06070809u);
}

TEST(BinaryBuffer, FilesThroughTheMountTable) {
    testutil::TempFolder dir("buffer");
    std::string path = dir.File("data.bin");
    BinaryBuffer out;
    out.AppendString("content");
    ASSERT_TRUE(out.SaveToFile(path.c_str()));
    BinaryBuffer in;
    ASSERT_TRUE(in.LoadFromFile(path.c_str()));
    EXPECT_EQ(in.Size(), 8u);
    EXPECT_EQ(in.ReadString(), "content");
    EXPECT_FALSE(in.LoadFromFile(dir.File("missing").c_str()));

    std::string emptyPath = dir.File("empty.bin");
    testutil::WriteFile(emptyPath, "");
    ASSERT_TRUE(in.LoadFromFile(emptyPath.c_str()));
    EXPECT_EQ(in.Size(), 0u);
}

namespace {

// A file system whose written files take only so many bytes (a full disc),
// and whose close may fail; it notes what became of each file.
struct ShortDisc {
    uint64_t room = 0;
    bool closeFails = false;
    std::string written;
    int closes = 0, discards = 0;
    void Reset(uint64_t bytes, bool failClose) { *this = ShortDisc(), room = bytes, closeFails = failClose; }
};

class ShortDiscStream : public Stream {
public:
    explicit ShortDiscStream(ShortDisc& disc) : disc_(disc) {}
    uint64_t Read(void*, uint64_t) override { return 0; }
    uint64_t Write(const void* source, uint64_t count) override {
        uint64_t n = std::min<uint64_t>(count, disc_.room - std::min<uint64_t>(disc_.room, disc_.written.size()));
        disc_.written.append(static_cast<const char*>(source), size_t(n));
        return n;
    }
    bool Close() override {
        if (open_) ++disc_.closes;
        open_ = false;
        return !disc_.closeFails;
    }
    bool Discard() override {
        Close();
        ++disc_.discards;
        disc_.written.clear();
        return true;
    }
    bool Seek(int64_t, int) override { return false; }
    uint64_t Tell() override { return disc_.written.size(); }
    uint64_t GetSize() override { return disc_.written.size(); }

private:
    ShortDisc& disc_;
    bool open_ = true;
};

class ShortDiscFileSystem : public FileSystem {
public:
    explicit ShortDiscFileSystem(ShortDisc& disc) : disc_(disc) {}
    bool Mount(const std::string&, bool) override { return true; }
    void Unmount() override {}
    std::unique_ptr<Stream> Open(const char*, bool create, bool) override {
        if (!create) return nullptr;
        disc_.written.clear();
        return std::make_unique<ShortDiscStream>(disc_);
    }
    const char* Type() const override { return "ShortDisc"; }

private:
    ShortDisc& disc_;
};

}  // namespace

// SaveToFile is true only when every byte is written and the file closes
// cleanly; otherwise it is false and the partial file is removed (a full
// disc must not leave a truncated program that looks complete).
TEST(BinaryBuffer, SaveToFileReportsShortWritesAndFailedCloses) {
    std::vector<uint8_t> bytes(5000);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i);
    BinaryBuffer buffer(bytes.data(), uint32_t(bytes.size()));
    DataGroup tree;
    tree.SetValue("Program", DataValue(buffer));

    ShortDisc disc;
    UnmountAll();
    ASSERT_NE(MountTable::Instance().Add(std::make_unique<ShortDiscFileSystem>(disc)), nullptr);
    struct Case {
        uint64_t room;
        bool closeFails;
        bool saved;
    } cases[] = {
        {1u << 20, false, true},
        {4999, false, false},  // one byte short
        {0, false, false},     // nothing at all
        {1u << 20, true, false},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE("case " + std::to_string(i));
        disc.Reset(cases[i].room, cases[i].closeFails);
        EXPECT_EQ(buffer.SaveToFile("Setup.uni"), cases[i].saved);
        EXPECT_EQ(disc.discards, cases[i].saved ? 0 : 1);
        EXPECT_EQ(disc.written, cases[i].saved ? std::string(bytes.begin(), bytes.end()) : std::string());
        EXPECT_GE(disc.closes, 1);
        // A tree file is saved the same way.
        disc.Reset(cases[i].room, cases[i].closeFails);
        EXPECT_EQ(tree.Save("Setup.uni"), cases[i].saved);
        EXPECT_EQ(disc.discards, cases[i].saved ? 0 : 1);
    }
    // An empty buffer writes nothing and still checks the close.
    disc.Reset(0, false);
    EXPECT_TRUE(BinaryBuffer().SaveToFile("empty"));
    disc.Reset(0, true);
    EXPECT_FALSE(BinaryBuffer().SaveToFile("empty"));
    UnmountAll();
}

#ifndef _WIN32
// The same with the host's file stream, on a file that the process may not
// grow beyond a limit: the write comes short, the partial file is removed.
TEST(BinaryBuffer, SaveToFileRemovesAPartialHostFile) {
    testutil::TempFolder dir("shortwrite");
    std::string path = dir.File("uninstall.exe");
    std::vector<uint8_t> bytes(64 * 1024, 0xA5);
    BinaryBuffer buffer(bytes.data(), uint32_t(bytes.size()));
    UnmountAll();
    struct rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    void (*oldHandler)(int) = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool saved = buffer.SaveToFile(path.c_str());
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(saved);
    EXPECT_FALSE(std::filesystem::exists(path));
    // With room it is written whole.
    EXPECT_TRUE(buffer.SaveToFile(path.c_str()));
    EXPECT_EQ(std::filesystem::file_size(path), bytes.size());
    UnmountAll();
}
#endif

TEST(Exceptions, MessagesAndSeparateClasses) {
    EXPECT_STREQ(HException().What(), "");
    EXPECT_STREQ(CQmException().What(), "");
    HException copied = HException("text");
    EXPECT_STREQ(copied.What(), "text");

    auto throwGuid = [] { throw CQmException("guid"); };
    auto throwBuffer = [] { throw HException("buffer"); };
    bool wrongHandler = false;
    try {
        try {
            throwGuid();
        } catch (const HException&) {
            wrongHandler = true;
        }
    } catch (const CQmException& e) {
        EXPECT_STREQ(e.What(), "guid");
    }
    try {
        try {
            throwBuffer();
        } catch (const CQmException&) {
            wrongHandler = true;
        }
    } catch (const HException& e) {
        EXPECT_STREQ(e.What(), "buffer");
    }
    EXPECT_FALSE(wrongHandler);
}
