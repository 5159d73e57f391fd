#include <gtest/gtest.h>

#include <cstring>

#include "shell/project.h"
#include "sample_project.h"

using namespace shell;

TEST(ProjectRead, SampleProject) {
    core::DataGroup root = testutil::SampleProject("App");
    root.SetValue("AltApplicationName", core::DataValue(""));
    Project p;
    std::string missing = "canary";
    ASSERT_TRUE(p.Read(root, &missing)) << missing;
    EXPECT_EQ(missing, "");
    EXPECT_EQ(p.settings.AltApplicationName, "[APP_TITLE]");  // empty takes ApplicationName
    EXPECT_EQ(p.settings.RegistryPath, "Software\\Trelvo\\Autorun\\App");
    EXPECT_EQ(p.settings.Width, 200);
    ASSERT_EQ(p.controllers.size(), 2u);
    EXPECT_TRUE(p.controllers[0].Selectable);
    EXPECT_FALSE(p.controllers[1].Selectable);
    EXPECT_FALSE(p.controllers[0].Invisible);
    EXPECT_TRUE(p.controllers[0].Available);
    EXPECT_EQ(p.FindController(testutil::ControllerId(2)), &p.controllers[1]);
    EXPECT_EQ(p.FindController("{a0000000-0000-0000-0000-000000000002}"), nullptr);
    EXPECT_EQ(p.FindController(""), nullptr);
    ASSERT_EQ(p.languages.count("English"), 1u);
    ASSERT_EQ(p.backgrounds.at("English").size(), 200u * 120u * 4u);
    EXPECT_EQ(p.objects.at("English").FindValue("Background"), nullptr);
    EXPECT_EQ(p.ObjectsOf("English").size(), 2u);
    EXPECT_TRUE(p.ObjectsOf("Klingon").empty());
}

TEST(ProjectRead, MissingRequiredKeysAreNamed) {
    static const struct {
        const char* remove;   // value removed from the sample
        const char* set;      // or a value set (to true) first
        const char* missing;  // what Read names
    } cases[] = {
        {"RuntimeCaption", nullptr, "RuntimeCaption"},
        {"ApplicationID", nullptr, "ApplicationID"},
        {"Width", nullptr, "Width"},
        {"License", nullptr, "License"},
        {nullptr, "PlayIntroSound", "IntroSound"},
        {nullptr, "UseInstaller", "InstallerFilesFolders"},
        {"Controllers/1/UseSound", nullptr, "Controllers/1/UseSound"},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        core::DataGroup root = testutil::SampleProject("App");
        if (cases[i].set) root.SetValue(cases[i].set, core::DataValue(true));
        if (cases[i].remove) {
            if (std::strncmp(cases[i].remove, "Controllers/", 12) == 0) {
                root.FindGroup("Controllers")->FindValue("1")->Group()->RemoveValue("UseSound");
            } else {
                root.RemoveValue(cases[i].remove);
            }
        }
        Project p;
        std::string missing;
        EXPECT_FALSE(p.Read(root, &missing)) << "case " << i;
        EXPECT_EQ(missing, cases[i].missing) << "case " << i;
    }
    // Required groups, and sizes nothing can show.
    for (const char* group : {"Controllers", "Languages", "Objects"}) {
        core::DataGroup root = testutil::SampleProject("App");
        root.Children().erase(group);
        Project p;
        std::string missing;
        EXPECT_FALSE(p.Read(root, &missing)) << group;
        EXPECT_EQ(missing, group);
    }
    core::DataGroup root = testutil::SampleProject("App");
    root.SetValue("Height", core::DataValue(0u));
    Project p;
    std::string missing;
    EXPECT_FALSE(p.Read(root, &missing));
    EXPECT_EQ(missing, "Height");
}

TEST(ProjectRead, NumberedEntriesWithGapsAndStrayNames) {
    core::DataGroup root = testutil::SampleProject("App");
    core::DataGroup* controllers = root.FindGroup("Controllers");
    core::DataGroup third;
    third.SetValue("ID", core::DataValue(testutil::ControllerId(3)));
    third.SetValue("UseSound", core::DataValue(false));
    controllers->SetValue("10", core::DataValue(third));  // after 2, not between 1 and 2
    controllers->SetValue("01", core::DataValue(third));  // not an entry name
    controllers->SetValue("Comment", core::DataValue("not a group"));
    core::DataGroup* english = root.FindGroup("Objects")->FindValue("English")->Group();
    english->RemoveValue("1");  // objects: only number 2 left
    Project p;
    std::string missing;
    ASSERT_TRUE(p.Read(root, &missing)) << missing;
    ASSERT_EQ(p.controllers.size(), 3u);
    EXPECT_EQ(p.controllers[2].ID(), testutil::ControllerId(3));
    auto objects = p.ObjectsOf("English");
    ASSERT_EQ(objects.size(), 1u);
    EXPECT_EQ(objects[0].number, 2u);  // keeps its number, so its control id stays 4701
    EXPECT_EQ(objects[0].controllerId, testutil::ControllerId(2));
}

TEST(ProjectRead, BackgroundsOfTheWrongSize) {
    static const struct {
        int bytes;      // background size given; -1 none
        int copied;     // bytes expected from it
    } cases[] = {{-1, 0}, {0, 0}, {4 * 10, 40}, {4 * 8 * 6, 4 * 8 * 6}, {4 * 8 * 6 + 100, 4 * 8 * 6}};
    for (size_t i = 0; i < std::size(cases); ++i) {
        core::DataGroup root = testutil::SampleProject("App", 8, 6);
        core::DataGroup* english = root.FindGroup("Objects")->FindValue("English")->Group();
        if (cases[i].bytes < 0) {
            english->RemoveValue("Background");
        } else {
            std::vector<uint8_t> bytes(size_t(cases[i].bytes), 0x11);
            english->SetValue("Background", core::DataValue(core::BinaryBuffer(bytes.data(), uint32_t(bytes.size()))));
        }
        Project p;
        ASSERT_TRUE(p.Read(root, nullptr)) << "case " << i;
        if (cases[i].bytes < 0) {
            EXPECT_EQ(p.backgrounds.count("English"), 0u) << "case " << i;  // the menu paints grey
            continue;
        }
        const std::vector<uint8_t>& block = p.backgrounds.at("English");
        ASSERT_EQ(block.size(), 8u * 6u * 4u) << "case " << i;
        for (size_t b = 0; b < block.size(); ++b) {
            uint8_t expected = int(b) < cases[i].copied ? 0x11 : (b % 4 == 3 ? 0 : 128);
            ASSERT_EQ(block[b], expected) << "case " << i << " byte " << b;
        }
    }
}

TEST(ProjectRead, InstallerTreesBecomeTheOperationList) {
    core::DataGroup root = testutil::SampleProject("App");
    root.SetValue("UseInstaller", core::DataValue(true));
    auto node = [](core::DataGroup& tree, const std::string& path, int32_t item) {
        core::DataValue v;
        v.SetInt32(item);
        tree.SetValue(path + "/item", v);
    };
    core::DataGroup files, registry, menu;
    node(files, "Install Target", 0);
    node(files, "Install Target/[TargetFolder]", 1);
    node(files, "Install Target/[TargetFolder]/Game.exe", 2);
    node(registry, "Install Target", 3);
    node(registry, "Install Target/HKEY_CURRENT_USER", 4);
    node(menu, "Install Target", 7);
    root.SetValue("InstallerFilesFolders", core::DataValue(files));
    root.SetValue("InstallerRegistry", core::DataValue(registry));
    root.SetValue("InstallerStartMenu", core::DataValue(menu));
    Project p;
    std::string missing;
    ASSERT_TRUE(p.Read(root, &missing)) << missing;
    EXPECT_EQ(p.settings.Operations,
              (installer::OperationList{"create_folder|[TargetFolder]", "copy_file|Game.exe|[TargetFolder]\\Game.exe"}));

    // A group without "Install Target" (a project that installs no registry
    // values) installs nothing of its kind and the project still loads.
    root.SetValue("InstallerRegistry", core::DataValue(core::DataGroup()));
    Project withoutTarget;
    ASSERT_TRUE(withoutTarget.Read(root, &missing)) << missing;
    EXPECT_EQ(withoutTarget.settings.Operations, p.settings.Operations);
}
