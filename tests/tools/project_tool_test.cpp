// disctool project: validation messages, the tree a source becomes, and the
// build -> decompile -> build round trip.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "../core/test_util.h"
#include "run_tool.h"
#include "core/data_group.h"

namespace fs = std::filesystem;

namespace {

using testutil::Result;
using testutil::RunTool;
using testutil::Shell;


const fs::path kGood = fs::path(DISC_FIXTURES_DIR) / "projects" / "good";

// A copy of the good fixture project to change.
std::string CopyGood(const testutil::TempFolder& dir) {
    fs::path to = dir.Path() / "project";
    fs::copy(kGood, to, fs::copy_options::recursive);
    return to.string();
}

void Replace(std::string& text, const std::string& from, const std::string& to) {
    size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
}

core::DataGroup LoadTree(const std::string& path) {
    core::DataGroup tree;
    EXPECT_TRUE(tree.Load(path.c_str())) << path;
    return tree;
}

}  // namespace

TEST(ProjectTool, EveryValidationErrorNamesItsPlace) {
    // Each case changes one thing in the good project; the build must name the
    // line and column and say what is wrong.
    struct Case {
        const char* from;
        const char* to;
        const char* expected;
    } cases[] = {
        {"Width: 16\n", "", "project.yaml:2:1: missing required key 'Width'"},
        {"Actions: [install]", "Actions: [instal]", "project.yaml:12:15: unknown action 'instal' (one of: launch,"},
        {"Dependencies: [not-installed]", "Dependencies: [uninstalled]", "project.yaml:13:20: unknown dependency 'uninstalled'"},
        {"{Controller: Install, XPos: 0, YPos: 0, Image1: pictures/button-1.png}",
         "{Controller: Setup, XPos: 0, YPos: 0, Image1: pictures/button-1.png}",
         "project.yaml:41:22: object 1: no controller is named 'Setup'"},
        {"      - {Controller: Info, XPos: 8, YPos: 8, Image1: pictures/button-2.png}",
         "    Objects2: x", "project.yaml:41:7: language 'Français' has 1 objects, 'English' has 2"},
        {"    Objects:\n      - {Controller: Install, XPos: 0, YPos: 0, Image1: pictures/button-1.png}\n"
         "      - {Controller: Info, XPos: 8, YPos: 8, Image1: pictures/button-2.png}",
         "    Objects:\n      1: {Controller: Install, XPos: 0, YPos: 0}\n      3: {Controller: Info, XPos: 8, YPos: 8}",
         "project.yaml:41:7: Objects must be numbered 1 to 2 without gaps: 2 is missing"},
        {"    Background: pictures/background.png\n    Objects:\n      - {Controller: Install, XPos: 0, YPos: 0, "
         "Image1: pictures/button-1.png}\n      - {Controller: Info, XPos: 8, YPos: 8, Image1: pictures/button-2.png}",
         "    Background: pictures/background.png", "project.yaml:38:5: language 'Français' has no Objects"},
        {"Image2: pictures/button-2.png", "Image2: pictures/wrong-size.png",
         "project.yaml:35:88: pictures/wrong-size.png is 7x4, object 1 is 8x4"},
        {"Background: pictures/background.png", "Background: pictures/button-1.png",
         "project.yaml:33:17: pictures/button-1.png is 8x4, the background must be 16x12 (Width x Height)"},
        {"IntroSound: click.wav", "IntroSound: missing.wav", "project.yaml:7:13: missing.wav: no such file"},
        {"IntroSound: click.wav", "IntroSound: notwave.wav", "project.yaml:7:13: notwave.wav: not a WAVE file"},
        {"{String: \"[TargetFolder]\\\\Setup.exe -uninst\"}", "{String: \"a|b\"}",
         "project.yaml:50:35: 'String': \"|\" is not allowed in installer texts"},
        {"\"[TITLE]\": {Target", "\"A|B\": {Target", "project.yaml:53:7: 'A|B': \"|\" is not allowed in installer names"},
        {"DefaultLanguage: English", "DefaultLanguage: Klingon",
         "project.yaml:4:18: DefaultLanguage 'Klingon' is not one of the Languages"},
        {"        Language: Français", "        Language: Deutsch",
         "project.yaml:29:19: 'Deutsch' is not one of the Languages"},
        {"Root: HKEY_CURRENT_USER", "Root: HKCX", "project.yaml:22:15: 'Root' must be HKEY_CLASSES_ROOT"},
        {"ApplicationID: FixtureApp", "ApplicationId: FixtureApp",
         "project.yaml:3:1: unknown key 'ApplicationId' in the project (keys are case-sensitive: did you mean "
         "'ApplicationID'?)"},
        {"Width: 16", "Width: wide", "project.yaml:5:8: 'Width' must be a whole number"},
        {"Software\\[ApplicationID]:", "Software\\[ApplicationID]:\n        X: {DWord: 1}\n      System:",
         "project.yaml:47:5: HKEY_LOCAL_MACHINE holds 2 top keys"},
        {"ID: \"{0A1B2C3D-0000-4000-8000-000000000001}\"", "ID: \"0A1B2C3D\"", "project.yaml:15:9: 'ID' must be a braced GUID"},
        {"Texts: {TITLE: Fixture,", "Texts: {TITLE: Fixture, ONLY_HERE: x,", ""},
    };
    testutil::TempFolder dir("projectbad");
    const std::string project = CopyGood(dir);
    const std::string source = testutil::ReadFile(kGood / "project.yaml");
    for (size_t i = 0; i < std::size(cases); ++i) {
        std::string text = source;
        Replace(text, cases[i].from, cases[i].to);
        testutil::WriteFile(project + "/project.yaml", text);
        Result r = RunTool("project check " + project);
        if (!*cases[i].expected) {
            EXPECT_EQ(r.status, 0) << "case " << i << ": " << r.output;
            continue;
        }
        EXPECT_EQ(r.status, 1) << "case " << i << ": " << r.output;
        EXPECT_NE(r.output.find(cases[i].expected), std::string::npos) << "case " << i << ": " << r.output;
    }
}

TEST(ProjectTool, TextsThatSomeLanguagesLackAreWarnings) {
    testutil::TempFolder dir("projectwarn");
    const std::string project = CopyGood(dir);
    std::string text = testutil::ReadFile(kGood / "project.yaml");
    Replace(text, "Texts: {TITLE: Fixture,", "Texts: {TITLE: Fixture, ONLY_HERE: x,");
    testutil::WriteFile(project + "/project.yaml", text);
    Result r = RunTool("project check " + project);
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("project.yaml:38:12: warning: language 'Français' lacks the text ONLY_HERE that 'English' has"),
              std::string::npos)
        << r.output;
}

TEST(ProjectTool, BuildWritesTheTreeThePackageAndAutorun) {
    testutil::TempFolder dir("projectbuild");
    const std::string disc = dir.File("disc");
    Result r = RunTool("project build " + kGood.string() + " -o " + disc + " --no-runtime --method none");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("Setup.exe was NOT produced"), std::string::npos) << r.output;
    core::DataGroup tree = LoadTree(disc + "/project.vgf");

    // Type codes the runtime expects.
    struct Expect {
        const char* path;
        uint32_t type;
    } types[] = {{"ApplicationName", core::kVtText}, {"Width", core::kVtInt32},      {"UseInstaller", core::kVtBool},
                 {"IntroSound", core::kVtBinary},    {"RuntimeBorder", core::kVtBool}, {"License", core::kVtText}};
    for (const Expect& e : types) EXPECT_EQ(tree.GetValue(e.path).Type(), e.type) << e.path;
    EXPECT_EQ(tree.GetValue("License").Text(), std::string("Licence line one\r\nline two\r\n"));

    const core::DataGroup* info = tree.FindGroup("Controllers")->FindValue("2")->Group();
    ASSERT_TRUE(info);
    const core::DataGroup* write = (*info->FindValue("Actions")->GetList())[1].Group();
    EXPECT_EQ(write->GetValue("Type").Int(), 3);
    EXPECT_EQ(write->GetValue("Root").Int(), 1);
    EXPECT_EQ(write->GetValue("RegType").Int(), 0);
    EXPECT_EQ((*info->FindValue("Actions")->GetList())[0].Group()->GetValue("BackColor").Int(), 0x00C8D0D4);
    EXPECT_EQ((*info->FindValue("Dependencies")->GetList())[0].Group()->GetValue("Language").Text(),
              std::string("Fran\xe7" "ais"));  // code page 1252

    // The controller ID made from the name is stable and the objects use it.
    const core::DataGroup* install = tree.FindGroup("Controllers")->FindValue("1")->Group();
    EXPECT_EQ(install->GetValue("ID").Text(), std::string("{EE2C08F9-EF07-57BA-B6C3-18DE744A740C}"));
    const core::DataGroup* english = tree.FindGroup("Objects")->FindValue("English")->Group();
    const core::DataGroup* object = english->FindValue("1")->Group();
    EXPECT_EQ(std::string(object->GetValue("Controller").Text()), install->GetValue("ID").Text());

    // Pictures: BGRx rows top to bottom; a transparent pixel shows the background below it.
    const core::BinaryBuffer* background = english->FindValue("Background")->Binary();
    ASSERT_EQ(background->Size(), 16u * 12 * 4);
    const uint8_t pixel_3_2[4] = {128, 40, 48, 0};  // blue 128, green y*20, red x*16
    EXPECT_EQ(0, std::memcmp(background->Data() + (2 * 16 + 3) * 4, pixel_3_2, 4));
    const core::BinaryBuffer* image = object->FindValue("Image1")->Binary();
    ASSERT_EQ(image->Size(), 8u * 4 * 4);
    const uint8_t opaque[4] = {0, 0, 200, 0}, seeThrough[4] = {128, 20, 0, 0};  // (1,1) and (0,1)
    EXPECT_EQ(0, std::memcmp(image->Data() + (1 * 8 + 1) * 4, opaque, 4));
    EXPECT_EQ(0, std::memcmp(image->Data() + (1 * 8 + 0) * 4, seeThrough, 4));

    // The install copy lines ask the package for exactly the names it holds.
    const core::DataGroup* target = tree.FindValue("InstallerFilesFolders")->Group()->FindGroup("Install Target/[TargetFolder]");
    ASSERT_TRUE(target);
    EXPECT_EQ(target->FindGroup("Data/level1.dat")->GetValue("item").Int(), 2);
    EXPECT_EQ(target->FindGroup("Data")->GetValue("item").Int(), 1);
    Result list = RunTool("pack list " + disc + "/Setup.pac");
    EXPECT_NE(list.output.find("Data\\level1.dat"), std::string::npos) << list.output;
    EXPECT_NE(list.output.find("ReadMe.txt"), std::string::npos) << list.output;
    EXPECT_EQ(list.output.find("Setup.exe"), std::string::npos) << "disc files are not packed: " << list.output;
    const core::DataGroup* registry = tree.FindValue("InstallerRegistry")->Group();
    const core::DataGroup* installed = registry->FindGroup("Install Target/HKEY_LOCAL_MACHINE/Software/[ApplicationID]/AppInstalled");
    ASSERT_TRUE(installed);
    EXPECT_EQ(installed->GetValue("item").Int(), 6);
    EXPECT_EQ(installed->FindValue("data")->Group()->GetValue("DWord").Type(), core::kVtUInt32);
    const core::DataGroup* shortcut =
        tree.FindValue("InstallerStartMenu")->Group()->FindGroup("Install Target/[StartMenu]/[TITLE]");
    ASSERT_TRUE(shortcut);
    EXPECT_EQ(shortcut->FindValue("data")->Group()->GetValue("IconIndex").Int(), -1);
    EXPECT_EQ(testutil::ReadFile(disc + "/autorun.inf"), "[autorun]\r\nopen=Setup.exe\r\nicon=Setup.exe,0\r\nlabel=Fixture\r\n");

    // The same input gives the same bytes.
    const std::string again = dir.File("again");
    ASSERT_EQ(RunTool("project build " + kGood.string() + " -o " + again + " --no-runtime --method none").status, 0);
    EXPECT_EQ(testutil::ReadFile(again + "/project.vgf"), testutil::ReadFile(disc + "/project.vgf"));
    EXPECT_EQ(testutil::ReadFile(again + "/Setup.pac"), testutil::ReadFile(disc + "/Setup.pac"));
}

TEST(ProjectTool, BuildRefusesToReplaceAFolderThatIsNoDisc) {
    testutil::TempFolder dir("projectnodisc");
    testutil::WriteFile(dir.File("keep.txt"), "mine");
    Result r = RunTool("project build " + kGood.string() + " -o " + dir.Str() + " --no-runtime");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("is not a disc folder"), std::string::npos) << r.output;
    EXPECT_EQ(testutil::ReadFile(dir.File("keep.txt")), "mine");
}

TEST(ProjectTool, DecompiledSourceBuildsTheSameTree) {
    testutil::TempFolder dir("projectround");
    const std::string first = dir.File("first"), source = dir.File("source"), second = dir.File("second");
    ASSERT_EQ(RunTool("project build " + kGood.string() + " -o " + first + " --no-runtime").status, 0);
    Result d = RunTool("project decompile " + first + "/project.vgf -o " + source);
    ASSERT_EQ(d.status, 0) << d.output;
    EXPECT_EQ(testutil::ReadFile(source + "/payload/Data/level1.dat"), "level data\n");
    Result b = RunTool("project build " + source + " -o " + second + " --no-runtime");
    ASSERT_EQ(b.status, 0) << b.output;
    EXPECT_EQ(testutil::ReadFile(second + "/project.vgf"), testutil::ReadFile(first + "/project.vgf"));
    EXPECT_EQ(testutil::ReadFile(second + "/Setup.pac"), testutil::ReadFile(first + "/Setup.pac"));
}

TEST(ProjectTool, PreviewDrawsEachLanguageAtRestAndHot) {
    testutil::TempFolder dir("projectpreview");
    Result r = RunTool("project preview " + kGood.string() + " -o " + dir.Str());
    ASSERT_EQ(r.status, 0) << r.output;
    for (const char* name : {"English.png", "English-hot.png", "Fran__ais.png", "Fran__ais-hot.png"})
        EXPECT_EQ(testutil::ReadFile(dir.File(name)).substr(1, 3), "PNG") << name;
    EXPECT_NE(testutil::ReadFile(dir.File("English.png")), testutil::ReadFile(dir.File("English-hot.png")));
}
