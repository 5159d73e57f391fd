#include <gtest/gtest.h>

#include "core/data_group.h"
#include "core/exceptions.h"
#include "core/mount_table.h"
#include "test_util.h"

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

    // Large appends and many small ones keep every byte.
    BinaryBuffer big;
    std::vector<uint8_t> block(100000, 0x5A);
    for (int i = 0; i < 50; ++i) ASSERT_TRUE(big.AppendBytes(block.data(), 1000 + i));
    ASSERT_TRUE(big.AppendBytes(block.data(), uint32_t(block.size())));
    EXPECT_EQ(big.Size(), 50u * 1000 + 49 * 50 / 2 + 100000);
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
