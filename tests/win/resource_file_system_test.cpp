#include <gtest/gtest.h>

#include <windows.h>

#include "core/data_group.h"
#include "core/file_systems.h"
#include "core/mount_table.h"

using namespace core;

namespace {

// Registrations are forgotten whenever a resource file system is unmounted,
// so each test registers the test program's own resources afresh.
class ResourceTest : public ::testing::Test {
protected:
    void SetUp() override {
        UnmountAll();
        RegisterInternalResource("$:$Uninstaller_Runtime$:$", "EXE", 153);
        RegisterInternalResource("$:$Config_Runtime$:$", "VGF", 157);
    }
    void TearDown() override { UnmountAll(); }
};

}  // namespace

TEST_F(ResourceTest, ProjectTreeLoadsFromTheProgramItself) {
    DataGroup project;
    ASSERT_TRUE(project.Load("$:$CONFIG_RUNTIME$:$"));
    EXPECT_STREQ(project.GetValue("name").Text(), "Demo");
    // The first open mounted the defaults, resources first.
    const auto& table = MountTable::Instance().FileSystems();
    ASSERT_EQ(table.size(), 2u);
    EXPECT_STREQ(table[0]->Type(), "Resource");
}

TEST_F(ResourceTest, StreamsOverResourceBytes) {
    auto stream = OpenForReading("$:$Uninstaller_Runtime$:$");
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(stream->GetSize(), 32u);
    char line[64];
    EXPECT_EQ(stream->ReadLine(line, sizeof line), 19u);
    EXPECT_STREQ(line, "MZ fake uninstaller");
    EXPECT_FALSE(stream->Seek(1, kSeekEnd));
    EXPECT_EQ(stream->Write("x", 1), 0u);
    // Two opens are independent streams over the same bytes.
    auto again = OpenForReading("$:$uninstaller_runtime$:$");
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->Tell(), 0u);
}

TEST_F(ResourceTest, UnknownNamesMissingResourcesAndWrites) {
    RegisterInternalResource("registered but absent", "VGF", 999);
    RegisterInternalResource(nullptr, "VGF", 157);
    EXPECT_EQ(OpenForReading("registered but absent"), nullptr);
    EXPECT_NE(OpenForReading(":<illegal>"), nullptr);
    EXPECT_EQ(InternalResourceCount(), 4u);

    FileSystem* resources = MountTable::Instance().FileSystems()[0].get();
    EXPECT_EQ(resources->Open("$:$Config_Runtime$:$", true, false), nullptr);
    EXPECT_EQ(resources->Open("", false, false), nullptr);
    // Unmounting forgets every registration.
    EXPECT_TRUE(Unmount(resources));
    EXPECT_EQ(InternalResourceCount(), 0u);
}
