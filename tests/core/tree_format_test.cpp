#include <gtest/gtest.h>

#include <cstring>

#include "core/data_group.h"
#include "core/exceptions.h"
#include "core/mount_table.h"
#include "sample_trees.h"
#include "test_util.h"

using namespace core;
using testutil::Bytes;
using testutil::EveryCodeTree;

namespace {

std::vector<uint8_t> Serialise(const DataGroup& g) {
    BinaryBuffer b;
    EXPECT_TRUE(g.WriteTo(b));
    return Bytes(b);
}

BinaryBuffer FromBytes(const std::vector<uint8_t>& v) { return BinaryBuffer(v.data(), uint32_t(v.size())); }

}  // namespace

TEST(TreeFormat, ByteVectorsFromTheFormat) {
    DataGroup empty;
    EXPECT_EQ(Serialise(empty), (std::vector<uint8_t>{0x67, 0x5F, 0, 0, 0, 0, 0, 0, 0, 0, 0}));

    DataGroup withText;
    withText.SetValue("x", DataValue("abc"));
    std::vector<uint8_t> textEntry = {0x76, 0x5F, 0x78, 0x00, 0x01, 0x03, 0x00, 0x00, 0x00, 0x61, 0x62, 0x63};
    std::vector<uint8_t> got = Serialise(withText);
    ASSERT_EQ(got.size(), 11u + textEntry.size());
    EXPECT_EQ(std::vector<uint8_t>(got.begin() + 11, got.end()), textEntry);
    EXPECT_EQ(got[7], 1);  // value count

    BinaryBuffer listBytes;
    DataValue(DataValue::List{DataValue(true), DataValue(false)}).WriteTo(listBytes);
    EXPECT_EQ(Bytes(listBytes), (std::vector<uint8_t>{0x10, 2, 0, 0, 0, 0x09, 0x01, 0x09, 0x00}));
}

TEST(TreeFormat, EveryCodeRoundTripsToTheSameBytes) {
    DataGroup original = EveryCodeTree();
    std::vector<uint8_t> bytes = Serialise(original);
    BinaryBuffer in = FromBytes(bytes);
    DataGroup read;
    ASSERT_TRUE(read.ReadFrom(in));
    EXPECT_EQ(in.ReadPosition(), bytes.size());
    EXPECT_TRUE(read.Equals(original));
    EXPECT_EQ(Serialise(read), bytes);

    EXPECT_EQ(read.GetValue("Case").Text(), std::string("upper"));
    EXPECT_EQ(read.GetValue("").Text(), std::string("no name"));
    EXPECT_EQ(read.GetValue("n10").Number(), 0x0123456789ABCDEFULL);
    EXPECT_EQ(read.FindValue("unknown")->Type(), 200u);  // a copy would be empty
    EXPECT_TRUE(read.GetValue("nullguid").Guid()->IsNull());
    EXPECT_FALSE(read.GetValue("guid").Guid()->IsNull());
    const DataGroup* inner = read.FindValue("group")->Group();
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(inner->GetValue("DEEP/ER/VALUE").Word(), 5u);
    EXPECT_EQ(read.FindGroup("deep"), nullptr);
    EXPECT_EQ(read.FindGroup("child")->GetValue("v").Word(), 1u);  // "Child" sorts first
    EXPECT_EQ(read.FindGroup("Child")->Parent(), &read);
}

// A group held in a value (code 17) is a whole group record, name and all:
// reading keeps the name, so the record writes back to the same bytes.
TEST(TreeFormat, GroupInAValueKeepsItsName) {
    std::vector<uint8_t> bytes = {0x67, 0x5F, 0, 0, 0, 0, 0, 2, 0, 0, 0,
                                  // "g": a group named "inner" with a value b = true
                                  0x76, 0x5F, 'g', 0, 0x11, 0x67, 0x5F, 'i', 'n', 'n', 'e', 'r', 0, 0, 0, 0, 0,
                                  1, 0, 0, 0, 0x76, 0x5F, 'b', 0, 0x09, 0x01,
                                  // "l": a list of one group named "x" that holds a group value named "y"
                                  0x76, 0x5F, 'l', 0, 0x10, 1, 0, 0, 0, 0x11, 0x67, 0x5F, 'x', 0, 0, 0, 0, 0,
                                  1, 0, 0, 0, 0x76, 0x5F, 'z', 0, 0x11, 0x67, 0x5F, 'y', 0, 0, 0, 0, 0, 0, 0,
                                  0, 0};
    BinaryBuffer in = FromBytes(bytes);
    DataGroup g;
    ASSERT_TRUE(g.ReadFrom(in));
    EXPECT_EQ(in.ReadPosition(), bytes.size());
    const DataGroup* inner = g.FindValue("g")->Group();
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(inner->Name(), "inner");
    EXPECT_EQ(inner->Parent(), nullptr);
    EXPECT_TRUE(inner->GetValue("b").Bool());
    const DataValue::List* list = g.FindValue("l")->GetList();
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->size(), 1u);
    ASSERT_NE((*list)[0].Group(), nullptr);
    EXPECT_EQ((*list)[0].Group()->Name(), "x");
    EXPECT_EQ((*list)[0].Group()->FindValue("z")->Group()->Name(), "y");
    EXPECT_EQ(Serialise(g), bytes);

    // Copies of the value, of the tree and through GetValue keep the name too.
    DataValue copy = *g.FindValue("g");
    EXPECT_EQ(copy.Group()->Name(), "inner");
    EXPECT_EQ(g.GetValue("g").Group()->Name(), "inner");
    DataGroup tree(g);
    EXPECT_EQ(Serialise(tree), bytes);
    DataGroup assigned;
    assigned = g;
    EXPECT_EQ(Serialise(assigned), bytes);
    // A value made from a named group holds the name; its parent is none.
    DataGroup parent;
    DataGroup* child = parent.AddChild("child");
    DataValue made(*child);
    EXPECT_EQ(made.Group()->Name(), "child");
    EXPECT_EQ(made.Group()->Parent(), nullptr);
    // Names inside a group value make a difference to equality.
    DataGroup renamed(g);
    renamed.FindValue("g")->Group()->SetName("other");
    EXPECT_FALSE(renamed.Equals(g));

    // The whole sample tree, which holds named group values, round-trips.
    DataGroup every = EveryCodeTree();
    EXPECT_EQ(every.FindValue("namedgroup")->Group()->Name(), "Named \xe9");
    std::vector<uint8_t> everyBytes = Serialise(every);
    BinaryBuffer everyIn = FromBytes(everyBytes);
    DataGroup everyRead;
    ASSERT_TRUE(everyRead.ReadFrom(everyIn));
    EXPECT_EQ(everyRead.FindValue("namedgroup")->Group()->Name(), "Named \xe9");
    EXPECT_EQ(everyRead.FindValue("grouplist")->GetList()->at(0).Group()->Name(), "in a list");
    EXPECT_EQ(Serialise(everyRead), everyBytes);
}

TEST(TreeFormat, UnknownCodeCarriesNoPayload) {
    // Root with one value of code 0x40 followed by a second value: the reader
    // goes on with the byte after the type byte.
    std::vector<uint8_t> bytes = {0x67, 0x5F, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0x76, 0x5F, 'a', 0, 0x40,
                                  0x76, 0x5F, 'b', 0, 0x09, 0x01};
    BinaryBuffer in = FromBytes(bytes);
    DataGroup g;
    ASSERT_TRUE(g.ReadFrom(in));
    EXPECT_EQ(g.FindValue("a")->Type(), 0x40u);
    EXPECT_TRUE(g.GetValue("b").Bool());
    EXPECT_EQ(Serialise(g), bytes);
    // Copying an unknown code gives an empty value.
    DataValue copy = g.GetValue("a");
    EXPECT_TRUE(copy.IsEmpty());
}

TEST(TreeFormat, LaterDuplicatesReplaceEarlierOnes) {
    std::vector<uint8_t> bytes = {0x67, 0x5F, 0, 2, 0, 0, 0,
                                  0x67, 0x5F, 'k', 0, 0, 0, 0, 0, 1, 0, 0, 0, 0x76, 0x5F, 'v', 0, 0x07, 1,
                                  0x67, 0x5F, 'k', 0, 0, 0, 0, 0, 1, 0, 0, 0, 0x76, 0x5F, 'v', 0, 0x07, 2,
                                  2, 0, 0, 0,
                                  0x76, 0x5F, 'x', 0, 0x07, 3,
                                  0x76, 0x5F, 'x', 0, 0x07, 4};
    BinaryBuffer in = FromBytes(bytes);
    DataGroup g;
    ASSERT_TRUE(g.ReadFrom(in));
    ASSERT_EQ(g.Children().size(), 1u);
    EXPECT_EQ(g.GetValue("k/v").Byte(), 2);
    ASSERT_EQ(g.ValueCount(), 1u);
    EXPECT_EQ(g.GetValue("x").Byte(), 4);
}

TEST(TreeFormat, MalformedRecordsAreRefusedWhereTheyFail) {
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        uint32_t offset;
        size_t valuesKept;
    };
    std::vector<uint8_t> longName = {0x67, 0x5F};
    longName.insert(longName.end(), 1024, 'n');
    longName.push_back(0);
    longName.insert(longName.end(), 8, 0);
    std::vector<uint8_t> maxName = {0x67, 0x5F};
    maxName.insert(maxName.end(), 1023, 'n');
    maxName.push_back(0);
    maxName.insert(maxName.end(), 8, 0);
    // Lists nested 300 deep.
    std::vector<uint8_t> deep = {0x67, 0x5F, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0x76, 0x5F, 'd', 0};
    for (int i = 0; i < 300; ++i) deep.insert(deep.end(), {0x10, 1, 0, 0, 0});
    deep.push_back(0);

    const Case cases[] = {
        {"wrong group mark", {0x67, 0x5E, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0, 0},
        {"value mark 76 5E after a good value",
         {0x67, 0x5F, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0x76, 0x5F, 'a', 0, 0x07, 9, 0x76, 0x5E, 'b', 0, 0x07, 1},
         17, 1},
        {"name over 1023 bytes", longName, 2, 0},
        {"nesting deeper than the limit", deep, 0, 0},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        BinaryBuffer in = FromBytes(c.bytes);
        DataGroup g;
        TreeReadError error;
        EXPECT_FALSE(g.ReadFrom(in, &error)) << "case " << i << ": " << c.what;
        EXPECT_FALSE(error.reason.empty()) << "case " << i;
        if (c.offset) {
            EXPECT_EQ(error.offset, c.offset) << "case " << i << ": " << error.reason;
        }
        EXPECT_EQ(g.ValueCount(), c.valuesKept) << "case " << i;
    }
    BinaryBuffer in = FromBytes(maxName);
    DataGroup g;
    EXPECT_TRUE(g.ReadFrom(in));
    EXPECT_EQ(g.Name().size(), 1023u);
}

TEST(TreeFormat, CutShortOrAbsurdLengthsThrowWithoutHugeAllocations) {
    DataGroup original = EveryCodeTree();
    std::vector<uint8_t> bytes = Serialise(original);
    // Every proper prefix of a valid record ends early.
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
        BinaryBuffer in(bytes.data(), uint32_t(cut));
        DataGroup g;
        try {
            g.ReadFrom(in);
            ADD_FAILURE() << "prefix of " << cut << " bytes was accepted";
        } catch (const HException& e) {
            EXPECT_STREQ(e.What(), kBufferOverrunMessage);
        }
    }
    // A binary that claims 4 GB, a list that claims 4 billion elements.
    const std::vector<uint8_t> absurd[] = {
        {0x67, 0x5F, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0x76, 0x5F, 'b', 0, 0x02, 0xFF, 0xFF, 0xFF, 0xFF, 1, 2},
        {0x67, 0x5F, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0x76, 0x5F, 'l', 0, 0x10, 0xFF, 0xFF, 0xFF, 0xFF, 0x09},
        {0x67, 0x5F, 0, 0xFF, 0xFF, 0xFF, 0xFF},
    };
    for (size_t i = 0; i < std::size(absurd); ++i) {
        BinaryBuffer in = FromBytes(absurd[i]);
        DataGroup g;
        EXPECT_THROW(g.ReadFrom(in), HException) << "case " << i;
    }
}

TEST(TreeFormat, LoadAndSaveThroughTheMountTable) {
    testutil::TempFolder dir("tree");
    std::string path = dir.File("project.vgf");
    DataGroup original = EveryCodeTree();
    ASSERT_TRUE(original.Save(path.c_str()));
    EXPECT_EQ(testutil::ReadFile(path).size(), Serialise(original).size());

    DataGroup loaded;
    loaded.SetValue("stale", DataValue(1u));
    ASSERT_TRUE(loaded.Load(path.c_str()));
    EXPECT_TRUE(loaded.Equals(original));

    testutil::WriteFile(path, std::string("\x67\x5F\x00\x01\x00", 5));
    TreeReadError error;
    EXPECT_FALSE(loaded.Load(path.c_str(), &error));
    EXPECT_EQ(error.offset, 3u);
    EXPECT_FALSE(loaded.Load(dir.File("missing.vgf").c_str()));
}
