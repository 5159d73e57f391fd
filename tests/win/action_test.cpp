// The action engine on a real menu window: action lists, launching real
// programs (tests/win/stubs/action_helper), the other action types against
// the real registry and files, the information box, and the dependencies.
#include <gtest/gtest.h>

#include <algorithm>
#include <windows.h>
#include <richedit.h>

#include <filesystem>
#include <initializer_list>
#include <optional>
#include <thread>
#include <string>
#include <utility>
#include <vector>

#include "actions/action_keys.h"
#include "actions/actions.h"
#include "automation.h"
#include "core/mount_table.h"
#include "core/package_writer.h"
#include "menu_test_util.h"
#include "shell/startup.h"
#include "resources/resource_ids.h"
#include "wizard/info_box.h"

namespace {

namespace fs = std::filesystem;
using core::DataGroup;
using core::DataValue;
using testutil::ControllerId;

DataValue Int(int32_t v) {
    DataValue value;
    value.SetInt32(v);
    return value;
}

DataGroup Record(int32_t type, std::initializer_list<std::pair<const char*, DataValue>> keys = {}) {
    DataGroup group;
    group.SetValue("Type", Int(type));
    for (const auto& [key, value] : keys) group.SetValue(key, value);
    return group;
}

std::string TestsFolder() {
    char path[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    return folder.substr(0, folder.find_last_of('\\'));
}

std::string Helper() { return "\"" + TestsFolder() + "\\action_helper.exe\""; }

// A launch of the helper with the given arguments.
DataGroup Launch(const std::string& arguments, std::initializer_list<std::pair<const char*, DataValue>> more = {}) {
    DataGroup group = Record(actions::kActionLaunch, more);
    group.SetValue("Filename", DataValue(Helper()));
    group.SetValue("Parameters", DataValue(arguments));
    return group;
}

// Removes a key with everything below it.
void DeleteKeyTree(HKEY root, const char* path) {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(root, path, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        char name[256];
        std::vector<std::string> children;
        for (DWORD i = 0;; ++i) {
            DWORD size = sizeof name;
            if (::RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
            children.push_back(std::string(path) + "\\" + name);
        }
        ::RegCloseKey(key);
        for (const std::string& child : children) DeleteKeyTree(root, child.c_str());
    }
    ::RegDeleteKeyA(root, path);
}

std::string ReadText(const std::string& path) { return testutil::ReadFile(path); }

class ActionTest : public testutil::MenuTest {
protected:
    void SetUp() override {
        MenuTest::SetUp();
        ASSERT_TRUE(shell::LoadDirectX(TestsFolder()));
        startDirectory_ = actions_cwd();
        root_ = Project();
        DataGroup* english = root_.FindGroup("Languages/English");
        ASSERT_NE(english, nullptr);
        english->SetValue("AUTORUN_ERROR", DataValue("Trouble"));
        english->SetValue("AUTORUN_ERROR_ADMINRIGHTS", DataValue("Administrators only"));
        english->SetValue("AUTORUN_ERROR_STARTING_FILE", DataValue("Cannot start %s here."));
        english->SetValue("INSTALL_GENERAL_ERROROPENFILE", DataValue("Cannot read %s."));
        english->SetValue("INSTALL_GENERAL_ERRORCREATEFILE", DataValue("Cannot write %s."));
        english->SetValue("INSTALL_GENERAL_UNINSTALL_WARNING", DataValue("Really remove?"));
        registryKey_ = "Software\\DiscActionTest" + std::to_string(::GetCurrentProcessId());
        DeleteKeyTree(HKEY_CURRENT_USER, registryKey_.c_str());
    }
    void TearDown() override {
        ::SetEnvironmentVariableA("DISC_DSETUP_VERSION", nullptr);
        ::SetEnvironmentVariableA("DISC_DSETUP_RESULT", nullptr);
        DeleteKeyTree(HKEY_CURRENT_USER, registryKey_.c_str());
        DeleteKeyTree(HKEY_LOCAL_MACHINE, registryPath_.c_str());
        actions::SetRestartFunction(nullptr);
        shell::UnloadDirectX();
        ::SetCurrentDirectoryA(startDirectory_.c_str());
        MenuTest::TearDown();
    }
    static std::string actions_cwd() {
        char folder[MAX_PATH * 2] = {};
        ::GetCurrentDirectoryA(sizeof folder, folder);
        return folder;
    }

    DataGroup& Controller(int n) { return *root_.FindValue("Controllers/" + std::to_string(n))->Group(); }
    void SetList(int controller, const char* key, const std::vector<DataGroup>& records) {
        DataValue::List list;
        for (const DataGroup& r : records) list.emplace_back(r);
        Controller(controller).SetValue(key, DataValue(list));
    }
    shell::MenuWindow* LoadWith(const std::vector<DataGroup>& actionList) {
        SetList(1, "Actions", actionList);
        return Load(root_);
    }
    // Runs one record on its own through the first controller.
    bool RunOne(const DataGroup& record) {
        shell::MenuWindow* menu = menu_ ? menu_.get() : Load(root_);
        return actions::RunAction(*menu, actions::RecordType(record), record);
    }
    std::string Marker(const char* name) { return folder_.File(name); }

    DataGroup root_;
    std::string registryKey_;
    std::string startDirectory_;
};

}  // namespace

// --- action lists ----------------------------------------------------------

TEST_F(ActionTest, ListsStopAtTheFirstFailureAndAtTheExitAction) {
    struct Case {
        const char* name;
        std::vector<int> steps;  // 0: record marker, 1: exit action, 2: failing launch, 3: type 13, 4: exit 1 waited with return code
        bool result;
        std::vector<bool> markers;  // which record markers exist afterwards
    };
    const Case cases[] = {
        {"empty", {}, true, {}},
        {"exit alone", {1}, false, {}},
        {"record then exit", {0, 1}, false, {true}},
        {"exit then record", {1, 0}, false, {false}},
        {"unknown type between launches", {0, 3, 0}, true, {true, true}},
        {"mismatching exit code stops", {4, 0}, true, {false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<DataGroup> list;
        std::vector<std::string> markers;
        for (int step : c.steps) {
            switch (step) {
            case 0:
                markers.push_back(Marker(("m" + std::to_string(markers.size())).c_str()));
                fs::remove(markers.back());
                list.push_back(Launch("record " + markers.back(), {{"Wait", DataValue(true)}}));
                break;
            case 1: list.push_back(Record(actions::kActionExit)); break;
            case 3: list.push_back(Record(13)); break;
            case 4:
                list.push_back(Launch("exit 1", {{"Wait", DataValue(true)}, {"UseReturncode", DataValue(true)}}));
                break;
            }
        }
        shell::MenuWindow* menu = LoadWith(list);
        ASSERT_NE(menu, nullptr);
        EXPECT_EQ(actions::RunActions(*menu, ControllerId(1)), c.result);
        for (size_t i = 0; i < markers.size(); ++i) EXPECT_EQ(fs::exists(markers[i]), bool(c.markers[i])) << i;
    }
}

TEST_F(ActionTest, AnEmptyListStillEvaluatesTheDependencies) {
    SetList(2, "Dependencies", {Record(actions::kDependFile, {{"Filename", DataValue(Marker("absent").c_str())}})});
    shell::MenuWindow* menu = LoadWith({});
    ASSERT_NE(menu, nullptr);
    ASSERT_TRUE(menu->FindObject(shell::kFirstObjectId + 1)->IsEnabled());
    EXPECT_TRUE(actions::RunActions(*menu, ControllerId(1)));
    EXPECT_FALSE(menu->FindObject(shell::kFirstObjectId + 1)->IsEnabled());
    EXPECT_FALSE(menu->FindController(ControllerId(2))->Available);
    // An unknown controller runs nothing and evaluates nothing.
    ::CreateDirectoryA(Marker("absent").c_str(), nullptr);
    EXPECT_TRUE(actions::RunActions(*menu, "{no such controller}"));
    EXPECT_FALSE(menu->FindObject(shell::kFirstObjectId + 1)->IsEnabled());
}

TEST_F(ActionTest, RightsActionWithoutRightsShowsTheMessageAndLaunchesNothing) {
    std::string marker = Marker("ran");
    shell::MenuWindow* menu = LoadWith({Record(actions::kActionAdminRights), Launch("record " + marker, {{"Wait", DataValue(true)}})});
    ASSERT_NE(menu, nullptr);
    menu->SetAdminRights(false);
    std::string text;
    {
        automation::DialogAnswerer answer("Trouble", IDOK, [&](HWND box) { text = automation::MessageBoxText(box); });
        EXPECT_TRUE(actions::RunActions(*menu, ControllerId(1)));
    }
    EXPECT_EQ(text, "Administrators only");
    EXPECT_FALSE(fs::exists(marker));
    // With rights the list goes on.
    menu->SetAdminRights(true);
    EXPECT_TRUE(actions::RunActions(*menu, ControllerId(1)));
    EXPECT_TRUE(fs::exists(marker));
}

TEST_F(ActionTest, MissingProgramShowsTheStartErrorAndStopsTheList) {
    fs::create_directories(Marker("Tools"));
    ::SetCurrentDirectoryA(folder_.Str().c_str());
    DataGroup missing = Record(actions::kActionLaunch, {{"Directory", DataValue("Tools")},
                                                        {"Filename", DataValue("Missing.exe")},
                                                        {"Parameters", DataValue("-set")}});
    SetList(2, "Dependencies", {Record(actions::kDependFile, {{"Filename", DataValue(Marker("absent").c_str())}})});
    shell::MenuWindow* menu = LoadWith({missing, Record(actions::kActionInfo, {{"Title", DataValue("Never")}})});
    ASSERT_NE(menu, nullptr);
    std::string text;
    {
        automation::DialogAnswerer answer("Trouble", IDOK, [&](HWND box) { text = automation::MessageBoxText(box); });
        EXPECT_TRUE(actions::RunActions(*menu, ControllerId(1)));
        EXPECT_TRUE(answer.Answered());
    }
    EXPECT_EQ(text, "Cannot start " + folder_.Str() + "\\Tools\\Missing.exe -set here.");
    EXPECT_EQ(actions_cwd(), folder_.Str());
    EXPECT_FALSE(menu->FindObject(shell::kFirstObjectId + 1)->IsEnabled());  // evaluated all the same
}

// A start error text without "%s", or with other conversions, is shown as it stands.
TEST_F(ActionTest, StartErrorTextIsNeverAFormat) {
    root_.FindGroup("Languages/English")->SetValue("AUTORUN_ERROR_STARTING_FILE", DataValue("Bad %d %n %x"));
    shell::MenuWindow* menu = LoadWith({Record(actions::kActionLaunch, {{"Filename", DataValue("Missing.exe")}})});
    ASSERT_NE(menu, nullptr);
    std::string text;
    {
        automation::DialogAnswerer answer("Trouble", IDOK, [&](HWND box) { text = automation::MessageBoxText(box); });
        actions::RunActions(*menu, ControllerId(1));
    }
    EXPECT_EQ(text, "Bad %d %n %x");
}

// --- launching -------------------------------------------------------------

TEST(ProcessCommandTest, WorkingFolderAndCommandLine) {
    struct Case {
        const char *current, *directory, *filename, *parameters, *folder, *line;
    };
    const Case cases[] = {
        {"D:\\", "Tools", "Config.exe", "-set", "D:\\Tools", "Config.exe -set"},
        {"D:\\Disc", "Tools", "Config.exe", "", "D:\\Disc\\Tools", "Config.exe"},
        {"D:\\Disc", "", "\"My Game.exe\"", "-x -y", "D:\\Disc", "\"My Game.exe\" -x -y"},
    };
    for (const Case& c : cases) {
        actions::ProcessCommand command = actions::BuildProcessCommand(c.current, c.directory, c.filename, c.parameters);
        EXPECT_EQ(command.workingFolder, c.folder);
        EXPECT_EQ(command.commandLine, c.line);
    }
}

TEST_F(ActionTest, LaunchRunsInTheWorkingFolderAndRestoresTheCurrentOne) {
    fs::create_directories(Marker("Sub"));
    ::SetCurrentDirectoryA(folder_.Str().c_str());
    std::string record = Marker("record.txt");
    ASSERT_TRUE(RunOne(Launch("record " + record, {{"Directory", DataValue("Sub")}, {"Wait", DataValue(true)}})));
    EXPECT_EQ(actions_cwd(), folder_.Str());
    std::string text = ReadText(record);
    EXPECT_EQ(text.substr(0, text.find('\n')), folder_.Str() + "\\Sub");
    EXPECT_NE(text.find("action_helper.exe\" record " + record), std::string::npos) << text;
}

TEST_F(ActionTest, WaitingAndExitCodes) {
    struct Case {
        const char* name;
        bool wait, useReturnCode;
        int32_t returnCode, exitCode;
        bool result;
    };
    const Case cases[] = {
        {"not waited: true whatever the program returns", false, true, 0, 1, true},
        {"waited, mismatch", true, true, 0, 1, false},
        {"waited, match", true, true, 7, 7, true},
        {"waited without comparing", true, false, 0, 3, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(RunOne(Launch("exit " + std::to_string(c.exitCode), {{"Wait", DataValue(c.wait)},
                                                                     {"UseReturncode", DataValue(c.useReturnCode)},
                                                                     {"ReturnCode", Int(c.returnCode)}})),
                  c.result);
    }
}

TEST_F(ActionTest, MinimizedMenuComesBackAfterTheWait) {
    shell::MenuWindow* menu = Load(root_);
    ASSERT_NE(menu, nullptr);
    // The program itself tells whether the menu was out of sight while it ran.
    const std::string seen = Marker("visible.txt");
    const std::string visible =
        "visible " + seen + " " + std::to_string(reinterpret_cast<uintptr_t>(menu->Handle()));
    EXPECT_TRUE(RunOne(Launch(visible, {{"Wait", DataValue(true)}, {"Minimize", DataValue(true)}})));
    EXPECT_EQ(testutil::ReadFile(seen), "0");
    EXPECT_TRUE(menu->IsVisible());
    // Without waiting the menu is never hidden.
    fs::remove(seen);
    EXPECT_TRUE(RunOne(Launch(visible, {{"Minimize", DataValue(true)}})));
    for (int i = 0; i < 200 && testutil::ReadFile(seen).empty(); ++i) ::Sleep(20);
    EXPECT_EQ(testutil::ReadFile(seen), "1");
    EXPECT_TRUE(menu->IsVisible());
}

TEST_F(ActionTest, AtomWaitHoldsUntilTheAtomIsGone) {
    std::string atom = "DiscActionAtom" + std::to_string(::GetCurrentProcessId());
    // The helper adds the atom and leaves a copy that deletes it 2.5 s later.
    EXPECT_TRUE(RunOne(Launch("atom " + atom + " 2500", {{"Wait", DataValue(true)},
                                                       {"WaitForAtom", DataValue(true)},
                                                       {"AtomName", DataValue(atom)}})));
    EXPECT_EQ(::GlobalFindAtomA(atom.c_str()), 0);

    // A stale atom from before the start does not hold the menu: it is removed.
    ::GlobalAddAtomA(atom.c_str());
    EXPECT_TRUE(RunOne(Launch("exit 0", {{"Wait", DataValue(true)},
                                      {"WaitForAtom", DataValue(true)},
                                      {"AtomName", DataValue(atom)}})));
    EXPECT_EQ(::GlobalFindAtomA(atom.c_str()), 0);

    // Without Wait no atom is touched.
    ATOM added = ::GlobalAddAtomA(atom.c_str());
    EXPECT_TRUE(RunOne(Launch("exit 0", {{"WaitForAtom", DataValue(true)}, {"AtomName", DataValue(atom)}})));
    EXPECT_EQ(::GlobalFindAtomA(atom.c_str()), added);
    ::GlobalDeleteAtom(added);
}

// --- the other actions -----------------------------------------------------

TEST_F(ActionTest, DeleteRemovesFilesAndEmptyFoldersOnly) {
    fs::create_directories(Marker("full"));
    fs::create_directories(Marker("empty"));
    testutil::WriteFile(Marker("full") + "\\keep.txt", "x");
    testutil::WriteFile(Marker("file.txt"), "x");
    for (const char* name : {"full", "empty", "file.txt", "absent"})
        EXPECT_TRUE(RunOne(Record(actions::kActionDelete, {{"Filename", DataValue(Marker(name).c_str())}}))) << name;
    EXPECT_TRUE(fs::exists(Marker("full") + "\\keep.txt"));
    EXPECT_FALSE(fs::exists(Marker("empty")));
    EXPECT_FALSE(fs::exists(Marker("file.txt")));
}

TEST_F(ActionTest, RegistryWriteAndDelete) {
    std::string key = registryKey_ + "\\Deep\\Er";
    auto write = [&](const char* name, int32_t regType, const char* value) {
        return RunOne(Record(actions::kActionRegistryWrite, {{"Root", Int(1)},
                                                             {"Key", DataValue(key)},
                                                             {"Name", DataValue(name)},
                                                             {"RegType", Int(regType)},
                                                             {"Value", DataValue(value)}}));
    };
    EXPECT_TRUE(write("Number", 0, "12abc"));
    EXPECT_TRUE(write("Negative", 0, "  -3"));
    EXPECT_TRUE(write("Text", 1, "12abc"));
    core::RegistryKey reg;
    ASSERT_TRUE(reg.Open(key.c_str(), true, HKEY_CURRENT_USER));
    EXPECT_EQ(reg.GetDword("Number"), 12u);
    EXPECT_EQ(reg.GetDword("Negative"), uint32_t(-3));
    EXPECT_EQ(reg.GetString("Text"), "12abc");

    HKEY raw = nullptr;
    ASSERT_EQ(::RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_ALL_ACCESS, &raw), ERROR_SUCCESS);
    const BYTE bytes[] = {1, 2, 3};
    ::RegSetValueExA(raw, "Binary", 0, REG_BINARY, bytes, sizeof bytes);
    auto remove = [&](const char* name) {
        return RunOne(Record(actions::kActionRegistryDelete,
                             {{"Root", Int(1)}, {"Key", DataValue(key)}, {"Name", DataValue(name)}}));
    };
    for (const char* name : {"Number", "Text", "Binary", "Absent"}) EXPECT_TRUE(remove(name)) << name;
    DWORD type = 0;
    EXPECT_NE(::RegQueryValueExA(raw, "Number", nullptr, &type, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_NE(::RegQueryValueExA(raw, "Text", nullptr, &type, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(::RegQueryValueExA(raw, "Binary", nullptr, &type, nullptr, nullptr), ERROR_SUCCESS);
    ::RegCloseKey(raw);
}

namespace {
int g_restarts = 0;
bool g_restartWorks = true;
bool RecordRestart() {
    ++g_restarts;
    return g_restartWorks;
}
}  // namespace

TEST_F(ActionTest, DirectXSetupAndItsRestart) {
    actions::SetRestartFunction(RecordRestart);
    struct Case {
        const char* result;
        bool restartWorks;
        bool prompt;
        int restarts;
        bool goesOn;
    };
    const Case cases[] = {
        {"0", true, false, 0, true},   // already current
        {"1", true, true, 1, true},    // restart needed and started
        {"1", false, true, 1, false},  // restart needed, cannot be started
        {"-9", true, false, 0, false}, // setup failed
    };
    Load(root_);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.result);
        ::SetEnvironmentVariableA("DISC_DSETUP_RESULT", c.result);
        g_restarts = 0;
        g_restartWorks = c.restartWorks;
        std::string text;
        bool result;
        {
            std::optional<automation::DialogAnswerer> answer;
            if (c.prompt)
                answer.emplace("English title", IDOK, [&](HWND box) { text = automation::MessageBoxText(box); }, true);
            result = RunOne(Record(actions::kActionDirectX, {{"Folder", DataValue("DirectX")}}));
        }
        EXPECT_EQ(result, c.goesOn);
        EXPECT_EQ(g_restarts, c.restarts);
        EXPECT_EQ(text, c.prompt ? "Press OK to reboot machine." : "");
    }
}

TEST_F(ActionTest, LanguageSwitch) {
    testutil::AddLanguage(root_, "Danish", "Dansk", {1, 2}, 0x60);
    shell::MenuWindow* menu = Load(root_);
    ASSERT_NE(menu, nullptr);
    EXPECT_TRUE(RunOne(Record(actions::kActionLanguage, {{"Language", DataValue("Danish")}})));
    EXPECT_EQ(menu->CurrentLanguage(), "Danish");
    EXPECT_FALSE(RunOne(Record(actions::kActionLanguage, {{"Language", DataValue("Klingon")}})));
    EXPECT_EQ(menu->CurrentLanguage(), "Danish");
}

TEST_F(ActionTest, CopyThroughTheFileSystems) {
    auto copy = [&](const std::string& source, const std::string& target) {
        return RunOne(Record(actions::kActionCopy, {{"Source", DataValue(source)}, {"Target", DataValue(target)}}));
    };
    std::string big(3 * 1024 * 1024 + 17, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = char(i * 7 + (i >> 11));
    testutil::WriteFile(Marker("source.bin"), big);
    EXPECT_TRUE(copy(Marker("source.bin"), Marker("copy.bin")));
    EXPECT_EQ(ReadText(Marker("copy.bin")), big);

    // A read-only target is replaced.
    testutil::WriteFile(Marker("readonly.bin"), "old");
    ::SetFileAttributesA(Marker("readonly.bin").c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(copy(Marker("source.bin"), Marker("readonly.bin")));
    EXPECT_EQ(ReadText(Marker("readonly.bin")), big);

    // A folder as target, or a missing source (as in a menu that mounted no
    // package), fail with a message that names the file.
    fs::create_directories(Marker("folder"));
    const struct {
        std::string source, target, message;
    } failures[] = {
        {Marker("source.bin"), Marker("folder"), "Cannot write " + Marker("folder") + "."},
        {Marker("absent.bin"), Marker("other.bin"), "Cannot read " + Marker("absent.bin") + "."},
        {"Data\\inner.dat", Marker("other.bin"), "Cannot read Data\\inner.dat."},
    };
    for (size_t i = 0; i < std::size(failures); ++i) {
        std::string shown;
        {
            automation::DialogAnswerer answer("Trouble", IDOK,
                                              [&](HWND box) { shown = automation::MessageBoxText(box); }, true);
            EXPECT_FALSE(copy(failures[i].source, failures[i].target)) << "case " << i;
        }
        EXPECT_EQ(shown, failures[i].message) << "case " << i;
    }
    EXPECT_FALSE(fs::exists(Marker("other.bin")));

    // A source inside a mounted package.
    std::vector<uint8_t> data(big.begin(), big.begin() + 100000);
    std::string error;
    core::PackOptions options;
    options.method = core::PackMethod::Bzip2;
    ASSERT_TRUE(core::WritePackage(Marker("Setup.pac"), {core::PackInput::FromBytes("Data\\inner.dat", data)}, options,
                                   &error))
        << error;
    core::FileSystem* mounted = core::Mount(Marker("Setup.pac").c_str(), "Virtual", false);
    ASSERT_NE(mounted, nullptr);
    EXPECT_TRUE(copy("Data\\inner.dat", Marker("inner.dat")));
    core::Unmount(mounted);
    EXPECT_EQ(ReadText(Marker("inner.dat")), std::string(data.begin(), data.end()));
}

TEST_F(ActionTest, OpenIsRefusedInTestMode) {
    root_.SetValue("TestMode", DataValue(true));
    Load(root_);
    std::string text;
    {
        automation::DialogAnswerer answer("Information", IDOK, [&](HWND box) { text = automation::MessageBoxText(box); });
        EXPECT_TRUE(RunOne(Record(actions::kActionOpen, {{"URL", DataValue("http://example.invalid/")}})));
    }
    EXPECT_EQ(text, "Due to unknown behaviors in the Win32 API, this function does not work in test mode - sorry :(");
}

TEST_F(ActionTest, UninstallAnsweredNoStopsTheListAndKeepsTheMenu) {
    shell::MenuWindow* menu = Load(root_);
    ASSERT_NE(menu, nullptr);
    std::string text;
    {
        automation::DialogAnswerer answer(
            "English title", IDNO, [&](HWND box) { text = automation::MessageBoxText(box); }, true);
        EXPECT_FALSE(RunOne(Record(actions::kActionUninstall)));
    }
    EXPECT_EQ(text, "Really remove?");
    EXPECT_FALSE(menu->ExitRequested);
}

// --- the information box ---------------------------------------------------

namespace {

struct CharFormat {
    char c;
    bool bold, italic, underline;
    COLORREF color;
};

// Every character of the box's text view with its format, read back from the control.
std::vector<CharFormat> ReadFormats(HWND box) {
    HWND view = ::GetDlgItem(box, wizard::InfoBox::kTextViewId);
    std::string text = automation::WindowText(view);
    std::vector<CharFormat> formats;
    for (size_t i = 0; i < text.size(); ++i) {
        ::SendMessageA(view, EM_SETSEL, WPARAM(i), LPARAM(i + 1));
        CHARFORMATA format = {};
        format.cbSize = sizeof format;
        ::SendMessageA(view, EM_GETCHARFORMAT, SCF_SELECTION, LPARAM(&format));
        formats.push_back({text[i], (format.dwEffects & CFE_BOLD) != 0, (format.dwEffects & CFE_ITALIC) != 0,
                           (format.dwEffects & CFE_UNDERLINE) != 0, format.crTextColor});
    }
    return formats;
}

std::string Describe(const std::vector<CharFormat>& formats) {
    std::string out;
    for (const CharFormat& f : formats) {
        out += f.c;
        if (f.bold) out += 'B';
        if (f.italic) out += 'I';
        if (f.underline) out += 'U';
        out += ' ';
    }
    return out;
}

}  // namespace

TEST(InfoMarkupTest, TagsAreSwitchesAndOtherTextStays) {
    struct Case {
        const char* text;
        const char* expected;  // each shown character followed by its formats
    };
    const Case cases[] = {
        {"a<B>b</b>c", "a bB c "},
        {"<b><i>x</b>y</i>z", "xBI yI z "},
        {"<b><b>x</b>y", "xB y "},
        {"a\tb\x07" "c", "a b c "},
        {"\x01x\x02\x05y\x06", "xB yU "},
        {"<b >x<q>y</u", "< b   > x < q > y < / u "},
        {"", ""},
    };
    for (const Case& c : cases) {
        std::string described;
        for (const wizard::FormattedRun& run : wizard::FormatMarkup(c.text))
            for (char ch : run.text) {
                described += ch;
                if (run.bold) described += 'B';
                if (run.italic) described += 'I';
                if (run.underline) described += 'U';
                described += ' ';
            }
        EXPECT_EQ(described, c.expected) << c.text;
    }
}

TEST_F(ActionTest, InfoBoxShowsTheFormatsAndColours) {
    Load(root_);
    const COLORREF text = RGB(200, 10, 20), back = RGB(10, 120, 30);
    std::string formats;
    COLORREF textColor = 0, backPixel = 0, clientPixel = 0;
    std::string caption;
    {
        automation::DialogAnswerer answer("Notice", IDCANCEL, [&](HWND box) {
            caption = automation::WindowText(box);
            std::vector<CharFormat> read = ReadFormats(box);
            formats = Describe(read);
            if (!read.empty()) textColor = read[0].color;
            HWND view = ::GetDlgItem(box, wizard::InfoBox::kTextViewId);
            RECT r;
            ::GetClientRect(view, &r);
            for (int tries = 0; tries < 50; ++tries) {
                HDC dc = ::GetDC(box);
                clientPixel = ::GetPixel(dc, 1, 1);
                ::ReleaseDC(box, dc);
                dc = ::GetDC(view);
                backPixel = ::GetPixel(dc, r.right - 4, r.bottom - 4);
                ::ReleaseDC(view, dc);
                if (clientPixel == back && backPixel == back) break;
                ::Sleep(40);
            }
        });
        EXPECT_TRUE(RunOne(Record(actions::kActionInfo, {{"Title", DataValue("Notice")},
                                                        {"Text", DataValue("a<B>b</b>c<u>d")},
                                                        {"TextColor", Int(int32_t(text))},
                                                        {"BackColor", Int(int32_t(back))}})));
    }
    EXPECT_EQ(caption, "Notice");
    EXPECT_EQ(formats, "a bB c dU ");
    EXPECT_EQ(textColor, text);
    EXPECT_EQ(clientPixel, back);
    EXPECT_EQ(backPixel, back);
}

// With RightAligned on, a text in several formats keeps its words in reading
// order, and a bar that comes with a text key breaks the line as a typed one
// does: every glyph pixel of the plain text stands at the same place when a
// word of it is underlined, which only adds pixels.
TEST_F(ActionTest, InfoBoxRightAlignedKeepsTheReadingOrder) {
    root_.SetValue("RightAligned", DataValue(true));
    root_.FindGroup("Languages/English")->SetValue("INFO_LINES", DataValue("Line one|Line <u>two</u>"));
    Load(root_);
    auto render = [&](const char* text, std::string* shownText) {
        automation::Pixels shown;
        automation::DialogAnswerer answer("Notice", IDCANCEL, [&](HWND box) {
            HWND view = ::GetDlgItem(box, wizard::InfoBox::kTextViewId);
            *shownText = automation::WindowText(view);
            for (int tries = 0; tries < 50; ++tries, ::Sleep(40)) {
                shown = automation::CaptureClient(view);
                if (std::count(shown.colors.begin(), shown.colors.end(), RGB(0, 0, 0)) > 20) break;
            }
        });
        EXPECT_TRUE(RunOne(Record(actions::kActionInfo, {{"Title", DataValue("Notice")}, {"Text", DataValue(text)}})));
        return shown;
    };
    std::string plainText, formattedText;
    const automation::Pixels plain = render("Line one|Line two", &plainText);
    const automation::Pixels formatted = render("[INFO_LINES]", &formattedText);
    EXPECT_EQ(formattedText, plainText);
    ASSERT_EQ(plain.width, formatted.width);
    ASSERT_EQ(plain.height, formatted.height);
    int glyphs = 0, moved = 0;
    for (size_t i = 0; i < plain.colors.size(); ++i) {
        if (plain.colors[i] != RGB(0, 0, 0)) continue;
        ++glyphs;
        if (formatted.colors[i] != RGB(0, 0, 0)) ++moved;
    }
    EXPECT_GT(glyphs, 20);
    EXPECT_EQ(moved, 0) << "of " << glyphs << " glyph pixels";
}

TEST_F(ActionTest, InfoBoxDefaults) {
    Load(root_);
    std::string shown;
    COLORREF pixel = 0;
    {
        automation::DialogAnswerer answer("Information", IDOK, [&](HWND box) {
            shown = automation::WindowText(::GetDlgItem(box, wizard::InfoBox::kTextViewId));
            for (int tries = 0; tries < 50 && pixel != RGB(212, 208, 200); ++tries) {
                HDC dc = ::GetDC(box);
                pixel = ::GetPixel(dc, 1, 1);
                ::ReleaseDC(box, dc);
                ::Sleep(40);
            }
        });
        EXPECT_TRUE(RunOne(Record(actions::kActionInfo)));
    }
    EXPECT_EQ(shown, "...");
    EXPECT_EQ(pixel, RGB(212, 208, 200));
}

// --- dependencies ----------------------------------------------------------

TEST_F(ActionTest, EveryDependencyType) {
    // Registry: a DWORD, a string, a binary value.
    core::RegistryKey reg;
    ASSERT_TRUE(reg.Create(registryKey_.c_str(), HKEY_CURRENT_USER));
    reg.SetDword("Dword", 1);
    reg.SetString("Text", "x");
    HKEY raw = nullptr;
    ::RegOpenKeyExA(HKEY_CURRENT_USER, registryKey_.c_str(), 0, KEY_ALL_ACCESS, &raw);
    const BYTE bytes[] = {1};
    ::RegSetValueExA(raw, "Binary", 0, REG_BINARY, bytes, 1);
    ::RegCloseKey(raw);
    testutil::WriteFile(Marker("present.txt"), "x");
    std::string installedKey = registryPath_;

    auto value = [&](int32_t type, const std::string& key, const char* name) {
        return Record(type, {{"Root", Int(1)}, {"Key", DataValue(key)}, {"Name", DataValue(name)}});
    };
    auto file = [&](int32_t type, const std::string& path) { return Record(type, {{"Filename", DataValue(path)}}); };
    auto program = [&](const char* arguments, int32_t code) {
        return Record(actions::kDependExitCode, {{"Filename", DataValue(Helper())},
                                                 {"Parameters", DataValue(arguments)},
                                                 {"ReturnCode", Int(code)}});
    };
    auto language = [&](int32_t type, const char* name) { return Record(type, {{"Language", DataValue(name)}}); };
    auto directX = [&](int32_t type, int32_t version) { return Record(type, {{"Version", Int(version)}}); };
    auto setInstalled = [&](int how) {  // 0 none, 1 DWORD 1, 2 string "1", 3 DWORD 2
        DeleteKeyTree(HKEY_LOCAL_MACHINE, installedKey.c_str());
        if (how == 0) return;
        core::RegistryKey k;
        ASSERT_TRUE(k.Create(installedKey.c_str(), HKEY_LOCAL_MACHINE));
        if (how == 2) k.SetString("AppInstalled", "1");
        else k.SetDword("AppInstalled", how == 1 ? 1 : 2);
    };

    struct Case {
        const char* name;
        DataGroup record;
        bool holds;
        const char* directXVersion = nullptr;
        int installed = 0;
    };
    const Case cases[] = {
        {"DWORD value exists", value(0, registryKey_, "Dword"), true},
        {"string value exists", value(0, registryKey_, "Text"), true},
        {"binary value does not count", value(0, registryKey_, "Binary"), false},
        {"missing key", value(0, registryKey_ + "\\Absent", "Dword"), false},
        {"no value: missing key", value(1, registryKey_ + "\\Absent", "Dword"), true},
        {"no value: present", value(1, registryKey_, "Dword"), false},
        {"DirectX 9 needs 9", directX(2, 9), true, "9"},
        {"DirectX 8 lacks 9", directX(2, 9), false, "8"},
        {"older DirectX than 9", directX(3, 9), true, "8"},
        {"unreadable version: not at least", directX(2, 1), false, "fail"},
        {"unreadable version: older", directX(3, 1), true, "fail"},
        {"file exists", file(4, Marker("present.txt")), true},
        {"folder exists", file(4, folder_.Str()), true},
        {"file absent", file(4, Marker("absent.txt")), false},
        {"no file", file(5, Marker("absent.txt")), true},
        {"program returns 3", program("exit 3", 3), true},
        {"program returns another code", program("exit 4", 3), false},
        {"program cannot start", Record(6, {{"Filename", DataValue("Missing.exe")}}), false},
        {"current language", language(7, "English"), true},
        {"language compared exactly", language(7, "english"), false},
        {"other language", language(8, "English"), false},
        {"installed", Record(9), true, nullptr, 1},
        {"installed as a string does not count", Record(9), false, nullptr, 2},
        {"installed with another number", Record(9), false, nullptr, 3},
        {"not installed", Record(10), true, nullptr, 0},
        {"rights", Record(11), true},
        {"unknown type", Record(12), true},
    };
    shell::MenuWindow* menu = Load(root_);
    ASSERT_NE(menu, nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ::SetEnvironmentVariableA("DISC_DSETUP_VERSION", c.directXVersion);
        setInstalled(c.installed);
        EXPECT_EQ(actions::TestDependency(*menu, actions::RecordType(c.record), c.record), c.holds);
    }
}

TEST_F(ActionTest, DependenciesStopAtTheFirstFailureAndShowGreyOrHide) {
    std::string marker = Marker("ran");
    auto missing = Record(actions::kDependFile, {{"Filename", DataValue(Marker("absent").c_str())}});
    auto record = Record(actions::kDependExitCode, {{"Filename", DataValue(Helper())},
                                                    {"Parameters", DataValue("record " + marker)},
                                                    {"ReturnCode", Int(0)}});
    struct Case {
        const char* name;
        std::vector<DataGroup> records;
        bool invisible;
        bool rights;
        bool available, visible, ran;
    };
    const Case cases[] = {
        {"failing test first: later tests do not run", {missing, record}, false, true, false, true, false},
        {"unavailable and invisible: hidden", {missing}, true, true, false, false, false},
        {"passing tests run in order", {record}, true, true, true, true, true},
        {"unknown type then failing test", {Record(12), missing}, false, true, false, true, false},
        {"a lone unknown type", {Record(12)}, true, true, true, true, false},
        {"not installed, no rights: unavailable", {Record(10), Record(11)}, false, false, false, true, false},
        {"not installed, rights: available", {Record(10), Record(11)}, false, true, true, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(marker);
        SetList(1, "Dependencies", c.records);
        Controller(1).SetValue("Invisible", DataValue(c.invisible));
        shell::MenuWindow* menu = Load(root_);
        ASSERT_NE(menu, nullptr);
        menu->SetAdminRights(c.rights);
        actions::EvaluateDependencies(*menu);
        shell::MenuObject* object = menu->FindObject(shell::kFirstObjectId);
        EXPECT_EQ(menu->FindController(ControllerId(1))->Available, c.available);
        EXPECT_EQ(object->IsEnabled(), c.available);
        EXPECT_EQ(object->IsVisible(), c.visible);
        EXPECT_EQ(fs::exists(marker), c.ran);
    }
}

TEST_F(ActionTest, LanguageEntryFollowsTheCurrentLanguage) {
    testutil::AddLanguage(root_, "Danish", "Dansk", {1, 2}, 0x60);
    SetList(1, "Dependencies", {Record(actions::kDependOtherLanguage, {{"Language", DataValue("Danish")}})});
    SetList(2, "Actions", {});
    shell::MenuWindow* menu = LoadWith({Record(actions::kActionLanguage, {{"Language", DataValue("Danish")}})});
    ASSERT_NE(menu, nullptr);
    actions::EvaluateDependencies(*menu);
    EXPECT_TRUE(menu->FindObject(shell::kFirstObjectId)->IsEnabled());
    EXPECT_TRUE(actions::RunActions(*menu, ControllerId(1)));  // switches to Danish
    EXPECT_EQ(menu->CurrentLanguage(), "Danish");
    EXPECT_FALSE(menu->FindObject(shell::kFirstObjectId)->IsEnabled());
}

// --- install -----------------------------------------------------------------

namespace {

BOOL CALLBACK FindWizard(HWND hwnd, LPARAM param) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    if (pid != ::GetCurrentProcessId() || !::IsWindowVisible(hwnd) || !::GetDlgItem(hwnd, IDC_WIZ_CANCEL)) return TRUE;
    *reinterpret_cast<HWND*>(param) = hwnd;
    return FALSE;
}

}  // namespace

TEST_F(ActionTest, CancelledInstallBringsTheMenuBack) {
    shell::MenuWindow* menu = Load(root_);
    ASSERT_NE(menu, nullptr);
    RECT before, during = {};
    menu->GetWindowRect(&before);
    std::thread user([&] {
        HWND wizard = nullptr;
        for (int i = 0; i < 500 && !wizard; ++i) {
            ::EnumWindows(FindWizard, reinterpret_cast<LPARAM>(&wizard));
            if (!wizard) ::Sleep(20);
        }
        if (!wizard) return;
        ::GetWindowRect(menu->Handle(), &during);
        automation::PressButton(wizard, IDC_WIZ_CANCEL);
        if (HWND box = automation::WaitForDialog("Setup", 10000, true)) automation::PressButton(box, IDYES);
    });
    EXPECT_TRUE(RunOne(Record(actions::kActionInstall)));
    user.join();
    EXPECT_EQ(during.left, 2048);
    EXPECT_EQ(during.top, 1536);
    RECT after;
    menu->GetWindowRect(&after);
    EXPECT_EQ(after.left, before.left);
    EXPECT_EQ(after.top, before.top);
    EXPECT_EQ(after.right - after.left, before.right - before.left);
    EXPECT_FALSE(menu->ExitRequested);
    EXPECT_FALSE(menu->RestartRequested);
}
