#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "core/mount_table.h"
#include "core/package.h"
#include "core/package_writer.h"
#include "test_util.h"

using namespace core;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes RandomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes v(n);
    for (auto& b : v) b = uint8_t(rng());
    return v;
}

Bytes TextBytes(size_t n, uint32_t seed) {
    static const char* words[] = {"Setup", "the", "install", "folder", "file", "copy", "registry", "value",
                                  "program", "menu", "disc", "language", "window", "button", "[KEY]", "of"};
    std::mt19937 rng(seed);
    std::string s;
    while (s.size() < n) {
        s += words[rng() % 16];
        s += (rng() % 9 == 0) ? "\r\n" : " ";
    }
    s.resize(n);
    return Bytes(s.begin(), s.end());
}

Bytes Pattern(size_t n) {
    Bytes v(n);
    for (size_t i = 0; i < n; ++i) v[i] = uint8_t(i * 7 + i / 251);
    return v;
}

void PutU32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}

void SetU32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

// Hand-made packages, for layouts a correct writer never produces.
struct RawChunk {
    Bytes bytes;
    bool plain = false;
    uint32_t storedLength = 0;  // 0: the byte count
    uint32_t offset = 0;        // 0: where the bytes are
};

struct RawEntry {
    std::string name;
    uint32_t size = 0;
    std::vector<RawChunk> chunks;
    bool deleted = false;
    int64_t count = -1;       // chunk count written; -1: the real one
    int32_t nameLength = -1;  // name field length written; -1: the real one
};

Bytes BuildPackage(uint32_t blockSize, uint8_t method, const std::vector<RawEntry>& entries) {
    Bytes b(kPackageMagic, kPackageMagic + 8);
    PutU32(b, blockSize);
    b.push_back(method);
    PutU32(b, 0);
    for (const RawEntry& e : entries) {
        b.insert(b.end(), {'<', 'C', 'L', '>'});
        size_t lengthAt = b.size();
        PutU32(b, 0);
        std::vector<ChunkRow> rows;
        uint32_t stored = 0;
        for (const RawChunk& c : e.chunks) {
            uint32_t length = c.storedLength ? c.storedLength : uint32_t(c.bytes.size());
            rows.push_back({c.offset ? c.offset : uint32_t(b.size()), length | (c.plain ? kStoredPlain : 0)});
            b.insert(b.end(), c.bytes.begin(), c.bytes.end());
            stored += uint32_t(c.bytes.size());
        }
        SetU32(b, lengthAt, stored);
        b.insert(b.end(), {'<', 'F', 'H', '>'});
        PutU32(b, e.size);
        PutU32(b, 0);
        PutU32(b, stored);
        PutU32(b, e.count >= 0 ? uint32_t(e.count) : uint32_t(rows.size()));
        uint16_t n = e.nameLength >= 0 ? uint16_t(e.nameLength) : uint16_t(e.name.size() + 1);
        b.push_back(uint8_t(n));
        b.push_back(uint8_t(n >> 8));
        b.push_back(e.deleted ? 1 : 0);
        b.insert(b.end(), 24, 0);
        b.insert(b.end(), e.name.begin(), e.name.end());
        b.push_back(0);
        for (const ChunkRow& r : rows) PutU32(b, r.offset), PutU32(b, r.stored);
    }
    return b;
}

Bytes ReadAll(Stream& s, size_t step = 4096) {
    Bytes out, buf(step);
    while (uint64_t n = s.Read(buf.data(), buf.size())) out.insert(out.end(), buf.begin(), buf.begin() + n);
    return out;
}

Bytes Slice(const Bytes& v, size_t from, size_t n) { return Bytes(v.begin() + from, v.begin() + from + n); }

class PackageTest : public ::testing::Test {
protected:
    testutil::TempFolder dir_{"package"};
    std::string Path(const char* name = "Setup.pac") { return dir_.File(name); }

    void Write(const std::vector<PackInput>& inputs, PackMethod method, uint32_t blockSize, unsigned threads = 0,
               const char* name = "Setup.pac") {
        PackOptions options;
        options.method = method;
        options.blockSize = blockSize;
        options.threads = threads;
        std::string error;
        ASSERT_TRUE(WritePackage(Path(name), inputs, options, &error)) << error;
    }
    void WriteRaw(const Bytes& b, const char* name = "Setup.pac") {
        testutil::WriteFile(Path(name), std::string(b.begin(), b.end()));
    }
};

}  // namespace

TEST_F(PackageTest, EntryOfTwoPlainChunks) {
    Bytes data = Pattern(100000);
    Write({PackInput::FromBytes("big.bin", data)}, PackMethod::None, 65536);
    PackageFile p;
    ASSERT_TRUE(p.Open(Path()));
    EXPECT_EQ(p.Method(), kMethodNone);
    ASSERT_EQ(p.Entries().size(), 1u);
    const PackageEntry& e = p.Entries()[0];
    ASSERT_EQ(e.chunks.size(), 2u);
    EXPECT_EQ(e.chunks[0].stored, 65536u | kStoredPlain);
    EXPECT_EQ(e.chunks[1].stored, 34464u | kStoredPlain);
    EXPECT_EQ(e.storedSize, 100000u);
    auto s = p.FindEntry("big.bin");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(ReadAll(*s, 30000), data);
    EXPECT_TRUE(s->IsEOF());
    EXPECT_EQ(s->Read(s.get(), 1), 0u);
}

TEST_F(PackageTest, EmptyEntry) {
    Write({PackInput::FromBytes("empty", {}), PackInput::FromBytes("after", {'x'})}, PackMethod::Best, 65536);
    PackageFile p;
    ASSERT_TRUE(p.Open(Path()));
    ASSERT_EQ(p.Entries().size(), 2u);
    EXPECT_TRUE(p.Entries()[0].chunks.empty());
    auto s = p.FindEntry("EMPTY");
    ASSERT_NE(s, nullptr);
    uint8_t b = 0xCD;
    EXPECT_EQ(s->Read(&b, 1), 0u);
    EXPECT_EQ(b, 0xCD);
    EXPECT_TRUE(s->IsEOF());
    EXPECT_EQ(ReadAll(*p.FindEntry("after")), Bytes{'x'});
}

TEST_F(PackageTest, ReadAcrossAChunkBoundary) {
    const uint32_t B = 65536;
    Bytes data = TextBytes(3 * B, 11);
    for (PackMethod m : {PackMethod::None, PackMethod::Lzss, PackMethod::Bzip2}) {
        SCOPED_TRACE(PackMethodName(m));
        Write({PackInput::FromBytes("t", data)}, m, B);
        PackageFile p;
        ASSERT_TRUE(p.Open(Path()));
        auto s = p.FindEntry("t");
        ASSERT_TRUE(s->Seek(B - 4, kSeekBegin));
        uint8_t buf[10];
        ASSERT_EQ(s->Read(buf, 10), 10u);
        EXPECT_EQ(Bytes(buf, buf + 10), Slice(data, B - 4, 10));
        EXPECT_EQ(s->Tell(), B + 6u);
        // Seeks are not range-checked; a position past the end reads nothing.
        EXPECT_TRUE(s->Seek(10, kSeekEnd));
        EXPECT_EQ(s->Read(buf, 10), 0u);
        EXPECT_TRUE(s->Seek(-6, kSeekEnd));
        EXPECT_EQ(s->Read(buf, 10), 6u);
    }
}

TEST_F(PackageTest, HandMadeLzssChunks) {
    Bytes literals{0x09, 0, 0, 0, 0xFF, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'};
    Bytes spaces{0x03, 0, 0, 0, 0x00, 0xEE, 0xF0};
    WriteRaw(BuildPackage(4096, kMethodLzss, {{"lit", 8, {{literals}}}, {"ring", 3, {{spaces}}}}));
    PackageFile p;
    ASSERT_TRUE(p.Open(Path()));
    EXPECT_EQ(ReadAll(*p.FindEntry("lit")), (Bytes{'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'}));
    EXPECT_EQ(ReadAll(*p.FindEntry("ring")), (Bytes{' ', ' ', ' '}));
}

TEST_F(PackageTest, DeletedEntriesAreSkipped) {
    Write({PackInput::FromBytes("a", {'1'}), PackInput::FromBytes("gone", {'2'}), PackInput::FromBytes("c", {'3'})},
          PackMethod::Lzss, 4096);
    uint64_t mark;
    {
        PackageFile p;
        ASSERT_TRUE(p.Open(Path()));
        mark = p.Entries()[1].headerMark;
    }
    std::string bytes = testutil::ReadFile(Path());
    bytes[mark + 22] = 1;  // the deleted flag
    testutil::WriteFile(Path(), bytes);
    PackageFile p;
    ASSERT_TRUE(p.Open(Path()));
    ASSERT_EQ(p.Entries().size(), 2u);
    EXPECT_EQ(p.FindEntry("gone"), nullptr);
    EXPECT_EQ(ReadAll(*p.FindEntry("c")), Bytes{'3'});
    EXPECT_EQ(p.TotalSize(), 2u);
    EXPECT_TRUE(p.ScanStop().empty());
}

TEST_F(PackageTest, NamesDifferingInCaseFirstWins) {
    Write({PackInput::FromBytes("Docs\\Readme.txt", {'A'}), PackInput::FromBytes("DOCS\\README.TXT", {'B'})},
          PackMethod::None, 4096);
    PackageFile p;
    ASSERT_TRUE(p.Open(Path()));
    EXPECT_EQ(ReadAll(*p.FindEntry("docs\\readme.TXT")), Bytes{'A'});
    EXPECT_EQ(p.FindEntry("docs/readme.txt"), nullptr);  // names are compared as stored
}

TEST_F(PackageTest, TwoStreamsReadAlternately) {
    const uint32_t B = 4096;
    Bytes one = TextBytes(5 * B + 17, 1), two = TextBytes(3 * B + 5, 2);
    for (PackMethod m : {PackMethod::None, PackMethod::Lzss, PackMethod::Best}) {
        SCOPED_TRACE(PackMethodName(m));
        Write({PackInput::FromBytes("one", one), PackInput::FromBytes("two", two)}, m, B);
        PackageFile p;
        ASSERT_TRUE(p.Open(Path()));
        auto a = p.FindEntry("one"), b = p.FindEntry("two");
        Bytes gotA, gotB, buf(1000);
        for (;;) {
            uint64_t na = a->Read(buf.data(), buf.size());
            gotA.insert(gotA.end(), buf.begin(), buf.begin() + na);
            uint64_t nb = b->Read(buf.data(), buf.size());
            gotB.insert(gotB.end(), buf.begin(), buf.begin() + nb);
            if (!na && !nb) break;
        }
        EXPECT_EQ(gotA, one);
        EXPECT_EQ(gotB, two);
    }
}

TEST_F(PackageTest, RoundTripsOfEveryMethod) {
    Bytes mixed = TextBytes(150000, 4);
    Bytes noise = RandomBytes(60000, 5);
    mixed.insert(mixed.begin() + 70000, noise.begin(), noise.end());
    struct Data {
        const char* name;
        Bytes bytes;
    } data[] = {
        {"random.bin", RandomBytes(200000, 3)},
        {"text\\readme.txt", TextBytes(200000, 6)},
        {"mixed.dat", mixed},
        {"tiny", {'t', 'i', 'n', 'y'}},
    };
    std::vector<PackInput> inputs;
    for (const Data& d : data) inputs.push_back(PackInput::FromBytes(d.name, d.bytes));
    for (uint32_t B : {65536u, 1000u, 7u})
        for (PackMethod m : {PackMethod::None, PackMethod::Lzss, PackMethod::Bzip2, PackMethod::Best}) {
            SCOPED_TRACE(std::string(PackMethodName(m)) + ", block size " + std::to_string(B));
            Write(inputs, m, B);
            PackageFile p;
            ASSERT_TRUE(p.Open(Path()));
            EXPECT_EQ(p.Method(), PackMethodByte(m));
            ASSERT_EQ(p.Entries().size(), std::size(data));
            for (const Data& d : data) EXPECT_EQ(ReadAll(*p.FindEntry(d.name), 3000), d.bytes) << d.name;
            for (const PackageEntry& e : p.Entries())
                for (const ChunkRow& row : e.chunks) {
                    uint32_t length = e.size - uint32_t(&row - e.chunks.data()) * B;
                    bool mustBePlain = m == PackMethod::None || std::min(length, B) < kMinCompressedChunk;
                    if (mustBePlain) {
                        EXPECT_TRUE(row.stored & kStoredPlain) << e.name;
                    }
                    EXPECT_LE(row.stored & ~kStoredPlain, std::min(length, B)) << e.name;
                }
        }
}

TEST_F(PackageTest, ParallelOutputEqualsSingleThreaded) {
    Bytes text = TextBytes(700000, 8);
    std::vector<PackInput> inputs = {PackInput::FromBytes("a", text), PackInput::FromBytes("b", RandomBytes(90000, 9)),
                                     PackInput::FromBytes("c", {})};
    Write(inputs, PackMethod::Best, 16384, 1, "one.pac");
    Write(inputs, PackMethod::Best, 16384, 5, "five.pac");
    EXPECT_EQ(testutil::ReadFile(Path("one.pac")), testutil::ReadFile(Path("five.pac")));
}

TEST_F(PackageTest, WriterEitherCompletesOrLeavesNothing) {
    testutil::WriteFile(Path("real.txt"), "contents");
    testutil::WriteFile(Path(), "previous package");
    PackOptions options;
    std::string temporary;
    options.temporaryName = [&](const std::string& t) { temporary = t; };
    std::string error;
    std::vector<PackInput> inputs = {PackInput::FromFile("real.txt", Path("real.txt")),
                                     PackInput::FromFile("missing.txt", Path("missing.txt"))};
    EXPECT_FALSE(WritePackage(Path(), inputs, options, &error));
    EXPECT_NE(error.find("missing.txt"), std::string::npos) << error;
    EXPECT_EQ(testutil::ReadFile(Path()), "previous package");
    EXPECT_FALSE(WritePackage(Path("new.pac"), inputs, options, &error));
    EXPECT_FALSE(std::filesystem::exists(Path("new.pac")));

    inputs.pop_back();
    ASSERT_TRUE(WritePackage(Path(), inputs, options, &error)) << error;
    EXPECT_FALSE(temporary.empty());
    EXPECT_FALSE(std::filesystem::exists(temporary));
    size_t files = 0;
    for (const auto& f : std::filesystem::directory_iterator(dir_.Path())) (void)f, ++files;
    EXPECT_EQ(files, 2u);  // real.txt and the package: no leftovers
    PackageFile p;
    ASSERT_TRUE(p.Open(Path()));
    EXPECT_EQ(ReadAll(*p.FindEntry("real.txt")), Bytes({'c', 'o', 'n', 't', 'e', 'n', 't', 's'}));

    EXPECT_FALSE(WritePackage(dir_.File("no folder/x.pac"), inputs, options, &error));
    EXPECT_FALSE(WritePackage(Path("bad.pac"), {PackInput::FromBytes("", {})}, options, &error));
}

TEST_F(PackageTest, MountedAsVirtualFileSystem) {
    Bytes data = TextBytes(70000, 12);
    Write({PackInput::FromBytes("Images\\Logo.bmp", data)}, PackMethod::Best, 65536);
    UnmountAll();
    FileSystem* fs = Mount(Path().c_str(), "Virtual", false);
    ASSERT_NE(fs, nullptr);
    EXPECT_EQ(fs->Open("images\\logo.BMP", true, false), nullptr);  // nothing is created in a package
    std::unique_ptr<Stream> s = OpenForReading("images\\logo.BMP");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->GetSize(), data.size());
    EXPECT_EQ(s->Write("x", 1), 0xFFFFFFFFu);
    // A stream keeps the package's buffers alive past the unmount.
    UnmountAll();
    EXPECT_EQ(ReadAll(*s), data);
    s->Close();
    s->Close();
    EXPECT_EQ(s->Read(data.data(), 1), 0u);
    EXPECT_EQ(Mount(Path("none.pac").c_str(), "Virtual", false), nullptr);
}

// Each damaged package opens (or is refused) cleanly, keeps the entries before
// the damage, and reads a damaged entry short without passing its buffers.
TEST_F(PackageTest, DamagedPackages) {
    const uint32_t B = 64;
    const RawEntry good{"good", 10, {{Bytes(10, 'g'), true}}};
    Bytes text = TextBytes(B, 1);
    ChunkEncoder encoder;
    Bytes bzip2;
    ASSERT_NE(encoder.EncodeBzip2(Bytes(B, 'z').data(), B, bzip2), 0u);
    Bytes brokenBzip2 = bzip2;
    for (size_t i = 20; i < brokenBzip2.size(); ++i) brokenBzip2[i] ^= 0x55;
    Bytes bigBzip2 = bzip2;
    SetU32(bigBzip2, 4, 100000);  // claims more than a block
    Bytes spaces144{17, 0, 0, 0, 0x00};
    for (int m = 0; m < 8; ++m) spaces144.insert(spaces144.end(), {0xEE, 0xFF});
    Bytes short10{12, 0, 0, 0, 0xFF, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 0x03, 'i', 'j'};

    struct Case {
        const char* what;
        Bytes package;
        bool opens;
        std::vector<std::string> names;
        int64_t badRead;  // bytes that ReadAll gives for "bad"; -1 when not listed
        bool stops;       // ScanStop reports damage
    };
    auto with = [&](RawEntry bad, uint8_t method = kMethodLzss) { return BuildPackage(B, method, {good, bad}); };
    auto cut = [](Bytes b, size_t n) { return Bytes(b.begin(), b.end() - n); };
    Bytes badMagic = with({"bad", 1, {{{'x'}, true}}});
    badMagic[0] = 'p';
    Bytes noHeaderMark = with({"bad", 1, {{{'x'}, true}}});
    SetU32(noHeaderMark, 17 + 8 + 10 + 47 + 5 + 8 + 4, 2);  // "bad"'s L points into its chunk
    Bytes trailing = with({"bad", 1, {{{'x'}, true}}});
    trailing.insert(trailing.end(), {'<', 'C', 'L'});
    const Case cases[] = {
        {"not a package", badMagic, false, {}, -1, false},
        {"block size 0", BuildPackage(0, kMethodLzss, {good}), false, {}, -1, false},
        {"block size above 64 MiB", BuildPackage(kMaxBlockSize + 1, kMethodLzss, {good}), false, {}, -1, false},
        {"header only", BuildPackage(B, kMethodLzss, {}), true, {}, -1, false},
        {"chunk table past the end", cut(with({"bad", 1, {{{'x'}, true}}}), 4), true, {"good"}, -1, true},
        {"name past the end", with({"bad", 1, {{{'x'}, true}}, false, -1, 65535}), true, {"good"}, -1, true},
        {"absurd chunk count", with({"bad", 1, {{{'x'}, true}}, false, 0x20000000}), true, {"good"}, -1, true},
        {"no header mark", noHeaderMark, true, {"good"}, -1, true},
        {"stray bytes after the last entry", trailing, true, {"good", "bad"}, 1, true},
        {"LZSS chunk decodes beyond the block", with({"bad", B, {{spaces144}}}), true, {"good", "bad"}, B, false},
        {"LZSS chunk decodes short", with({"bad", B, {{short10}}}), true, {"good", "bad"}, 10, false},
        {"compressed chunk longer than the buffer", with({"bad", B, {{text, false, B + B / 2 + 1}}}), true,
         {"good", "bad"}, 0, false},
        {"damaged bzip2 stream", with({"bad", 2 * B, {{text, true}, {brokenBzip2}}}), true, {"good", "bad"}, B,
         false},
        {"bzip2 chunk claims more than a block", with({"bad", B, {{bigBzip2}}}, kMethodBzip2), true,
         {"good", "bad"}, B, false},
        {"chunk beyond the end of the file", with({"bad", B, {{text, true, 0, 0x7FFFFF00}}}), true, {"good", "bad"},
         0, false},
        {"plain chunk longer than a block", with({"bad", B, {{Bytes(B + 8, 'p'), true}}}), true, {"good", "bad"}, B,
         false},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE("case " + std::to_string(i) + ": " + c.what);
        WriteRaw(c.package);
        PackageFile p;
        ASSERT_EQ(p.Open(Path()), c.opens);
        if (!c.opens) continue;
        std::vector<std::string> names;
        for (const PackageEntry& e : p.Entries()) names.push_back(e.name);
        EXPECT_EQ(names, c.names);
        EXPECT_EQ(!p.ScanStop().empty(), c.stops) << p.ScanStop();
        if (!names.empty()) {
            EXPECT_EQ(ReadAll(*p.FindEntry("good")), Bytes(10, 'g'));
        }
        auto bad = p.FindEntry("bad");
        ASSERT_EQ(bad != nullptr, c.badRead >= 0);
        if (bad) {
            EXPECT_EQ(int64_t(ReadAll(*bad).size()), c.badRead);
            uint8_t b;
            EXPECT_EQ(bad->Read(&b, 1), 0u);  // and stays stopped
        }
    }
}

// An entry whose chunk count is not ceil(size / B) is damaged on its own: the
// scan goes on past it, the entries after it are found and read whole, and
// the odd entry itself reads no further than its chunk rows and its size.
TEST_F(PackageTest, ChunkCountThatDoesNotMatchTheSizeHidesNothingAfterIt) {
    const uint32_t B = 64;
    Bytes later = Pattern(3 * B + 5);
    RawEntry laterEntry{"later", uint32_t(later.size()), {}};
    for (size_t at = 0; at < later.size(); at += B)
        laterEntry.chunks.push_back({Slice(later, at, std::min<size_t>(B, later.size() - at)), true});
    const RawEntry good{"good", 10, {{Bytes(10, 'g'), true}}};
    // Too few rows: 100 bytes need two chunks, one is listed (and it is short).
    const RawEntry tooFew{"few", 100, {{{'x'}, true}}};
    // Too many rows: 10 bytes need one chunk, three are listed.
    const RawEntry tooMany{"many", 10, {{Bytes(10, 'm'), true}, {Bytes(B, 'M'), true}, {Bytes(B, 'N'), true}}};
    // None at all for a size that needs one.
    const RawEntry none{"none", 5, {}};
    for (uint8_t method : {kMethodNone, kMethodLzss}) {
        SCOPED_TRACE("method " + std::to_string(method));
        WriteRaw(BuildPackage(B, method, {good, tooFew, tooMany, none, laterEntry}));
        PackageFile p;
        ASSERT_TRUE(p.Open(Path()));
        std::vector<std::string> names;
        for (const PackageEntry& e : p.Entries()) names.push_back(e.name);
        EXPECT_EQ(names, (std::vector<std::string>{"good", "few", "many", "none", "later"}));
        EXPECT_TRUE(p.ScanStop().empty()) << p.ScanStop();
        for (const char* name : {"good", "few", "many", "none", "later"}) ASSERT_NE(p.FindEntry(name), nullptr) << name;
        EXPECT_EQ(ReadAll(*p.FindEntry("good")), Bytes(10, 'g'));
        EXPECT_EQ(ReadAll(*p.FindEntry("later")), later);
        EXPECT_EQ(ReadAll(*p.FindEntry("later"), 7), later);  // piece by piece, through the shared buffer
        EXPECT_EQ(p.TotalSize(), 10u + 100 + 10 + 5 + later.size());

        // The odd entries read what their rows and sizes allow, and stay stopped.
        auto few = p.FindEntry("few");
        EXPECT_EQ(ReadAll(*few), Bytes{'x'});
        uint8_t b;
        EXPECT_EQ(few->Read(&b, 1), 0u);
        few->Seek(B, kSeekBegin);  // the missing second chunk
        EXPECT_EQ(few->Read(&b, 1), 0u);
        EXPECT_EQ(ReadAll(*p.FindEntry("many")), Bytes(10, 'm'));
        EXPECT_EQ(ReadAll(*p.FindEntry("many"), 3), Bytes(10, 'm'));
        EXPECT_EQ(ReadAll(*p.FindEntry("none")), Bytes());
        // Through the mount table as well.
        ASSERT_NE(Mount(Path().c_str(), "Virtual", false), nullptr);
        auto s = OpenForReading("LATER");
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(ReadAll(*s), later);
        s.reset();
        UnmountAll();
    }
}
