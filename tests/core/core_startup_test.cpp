#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <future>

#include "core/core_startup.h"
#include "core/mount_table.h"
#include "core/package_writer.h"
#include "test_util.h"

using namespace core;

TEST(CommandLine, Splitting) {
    struct Case {
        const char* line;
        std::vector<std::string> arguments;
    } cases[] = {
        {"\"C:\\Program Files\\Disc\\Setup.exe\" -uninst \"two words\"", {"-uninst", "two words"}},
        {"C:\\Disc\\Setup.exe", {}},
        {"Setup.exe   -restart  ", {"-restart"}},
        {"Setup.exe \"\" x", {"", "x"}},
        {"Setup.exe\t-a", {}},  // tabs do not separate
        {"Setup.exe \"open ended", {"open ended"}},
        {"", {}},
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(ParseCommandLine(cases[i].line), cases[i].arguments) << "case " << i;
    EXPECT_TRUE(ParseCommandLine(nullptr).empty());
    std::string huge = "Setup.exe " + std::string(5000, 'a');
    ASSERT_EQ(ParseCommandLine(huge.c_str()).size(), 1u);
    EXPECT_EQ(ParseCommandLine(huge.c_str())[0].size(), kArgumentLimit);
    // What the program builds to start a copy of itself reads back whole.
    const std::string program = "C:\\Program Files\\My Disc\\Setup.exe";
    EXPECT_EQ(ParseCommandLine((QuotedCommandWord(program) + " -restart").c_str()),
              std::vector<std::string>{"-restart"});
}

namespace {

// Runs each test in a folder of its own, as the program runs in its disc folder.
class CoreStartup : public ::testing::Test {
protected:
    CoreStartup() : dir_("startup"), previous_(std::filesystem::current_path()) {}
    void SetUp() override {
        UnmountAll();
        std::filesystem::current_path(dir_.Path());
    }
    void TearDown() override {
        GetCore().Shutdown();
        DestroyCore();
        std::filesystem::current_path(previous_);
    }
    std::vector<std::string> Types() {
        std::vector<std::string> types;
        for (const auto& fs : MountTable::Instance().FileSystems()) types.push_back(fs->Type());
        return types;
    }
    testutil::TempFolder dir_;
    std::filesystem::path previous_;
};

}  // namespace

TEST_F(CoreStartup, WithoutTessorIniOnlyTheDefaults) {
    ASSERT_TRUE(GetCore().Init(nullptr, nullptr, "Setup.exe -checkrestart"));
    EXPECT_EQ(Types(), (std::vector<std::string>{"Resource", "Physical"}));
    EXPECT_EQ(GetCore().Arguments(), std::vector<std::string>{"-checkrestart"});
    EXPECT_TRUE(GetCore().Services()->Started());
    EXPECT_FALSE(GetCore().Services()->Start());  // a second start is refused
    EXPECT_EQ(GetCore().Managers().size(), 2u);
    GetCore().Shutdown();
    EXPECT_TRUE(MountTable::Instance().FileSystems().empty());
}

TEST_F(CoreStartup, TessorIniMountsWhatItLists) {
    std::string error;
    std::vector<PackInput> inputs{PackInput::FromBytes("Docs\\readme.txt", {'h', 'i'})};
    PackOptions options;
    options.method = PackMethod::Lzss;
    ASSERT_TRUE(WritePackage(dir_.File("Data.pac"), inputs, options, &error)) << error;
    testutil::WriteFile(dir_.File("Tessor.ini"),
                        "Group FileSystems\r\n{\r\n"
                        "Missing = \"Setup.pac\" Type = Virtual\r\n"
                        "Odd = \".\" Type = Network\r\n"
                        "Data = \"Data.pac\" Type = Virtual OptimizeIO = true\r\n"
                        "}\r\nGroup MasterControl\r\n{\r\nPhysicalMemoryRequired = 0\r\n}\r\n");
    ASSERT_TRUE(GetCore().Init(nullptr, nullptr, "Setup.exe"));
    EXPECT_EQ(Types(), (std::vector<std::string>{"Resource", "Physical", "Virtual"}));
    auto stream = OpenForReading("docs\\README.txt");
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(stream->GetSize(), 2u);
}

TEST_F(CoreStartup, PluginsAndTheirIniFiles) {
    testutil::WriteFile(dir_.File("audio.ini"), "AutoRun = true\r\nGroup FileSystems\r\n{\r\nSounds = x\r\n}\r\n");
    testutil::WriteFile(dir_.File("Tessor.ini"), "Group PluginManager\r\n{\r\nAudio = audio.ini\r\n}\r\n");
    RegisterPluginDescription("audio", "first", "second");
    ASSERT_TRUE(GetCore().Init(nullptr, nullptr, "Setup.exe"));
    const auto& plugins = GetCore().Plugins()->Plugins();
    ASSERT_EQ(plugins.size(), 1u);
    EXPECT_TRUE(plugins[0]->autoRun);
    ASSERT_NE(plugins[0]->fileSystems, nullptr);
    EXPECT_EQ(plugins[0]->fileSystems->GetEntryString("Sounds"), "x");
    EXPECT_EQ(plugins[0]->registeredValue1, "first");
    GetCore().Shutdown();
    EXPECT_TRUE(GetCore().ManagersChanged());

    // A plug-in whose ini file cannot be read fails the start-up.
    testutil::WriteFile(dir_.File("Tessor.ini"), "Group PluginManager\r\n{\r\nGone = missing.ini\r\n}\r\n");
    EXPECT_FALSE(GetCore().Init(nullptr, nullptr, "Setup.exe"));
}

// "[$$$DEFAULT$$$]" and "[$CurrentDir]" are replaced wherever they stand in
// a mount path, not only when one of them is the whole path.
TEST_F(CoreStartup, MountPathTokensWhereverTheyStand) {
    std::string cwd = std::filesystem::current_path().string();
    EXPECT_EQ(ExpandMountPath("[$$$DEFAULT$$$]"), cwd);
    EXPECT_EQ(ExpandMountPath("[$CurrentDir]"), cwd);
    EXPECT_EQ(ExpandMountPath("[$$$DEFAULT$$$]\\Data"), cwd + "\\Data");
    EXPECT_EQ(ExpandMountPath("[$CurrentDir]\\a\\[$$$DEFAULT$$$]"), cwd + "\\a\\" + cwd);
    EXPECT_EQ(ExpandMountPath("x[$CurrentDir][$CurrentDir]"), "x" + cwd + cwd);
    EXPECT_EQ(ExpandMountPath("Data"), "Data");
    EXPECT_EQ(ExpandMountPath(""), "");

    std::filesystem::create_directories(dir_.Path() / "Data");
    testutil::WriteFile(dir_.File("Data/inside.txt"), "in");
    testutil::WriteFile(dir_.File("Tessor.ini"),
                        "Group FileSystems\r\n{\r\n"
                        "Data = \"[$$$DEFAULT$$$]\\Data\"\r\n"
                        "Missing = \"[$$$DEFAULT$$$]\\Missing\"\r\n"
                        "}\r\n");
    ASSERT_TRUE(GetCore().Init(nullptr, nullptr, "Setup.exe"));
    EXPECT_EQ(Types(), (std::vector<std::string>{"Resource", "Physical", "Physical"}));
    const auto& mounted = MountTable::Instance().FileSystems();
    ASSERT_EQ(mounted.size(), 3u);
    auto* data = static_cast<PhysicalFileSystem*>(mounted[2].get());
    EXPECT_EQ(std::filesystem::path(data->Root()), std::filesystem::path(cwd) / "Data");
    // Names that begin with "." resolve against that root.
    auto stream = mounted[2]->Open(".\\inside.txt", false, false);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(stream->GetSize(), 2u);
}

// A Tessor.ini whose last byte is a carriage return once made Init loop
// forever before any window appeared: the file stream's line reader seeked
// past the end to skip the line feed.
TEST_F(CoreStartup, TessorIniEndingInACarriageReturn) {
    std::filesystem::create_directories(dir_.Path() / "Data");
    testutil::WriteFile(dir_.File("Tessor.ini"), "Group FileSystems\r\n{\r\nData = Data\r\n}\r");
    auto init = std::async(std::launch::async, [] { return GetCore().Init(nullptr, nullptr, "Setup.exe"); });
    if (init.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
        std::fprintf(stderr, "FAILED: Core::Init did not end within 20 s\n");
        std::_Exit(1);
    }
    EXPECT_TRUE(init.get());
    EXPECT_EQ(Types(), (std::vector<std::string>{"Resource", "Physical", "Physical"}));
}
