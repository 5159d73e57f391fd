// The real Setup.exe on a disc folder made here: the project tree is put
// into a copy of the program with the portable resource editor, the program
// is started as its own process, and its window is driven and read from
// outside, as a user would see it.
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "../core/sample_project.h"
#include "../core/test_util.h"
#include "automation.h"
#include "core/core_startup.h"
#include "core/package_writer.h"
#include "core/registry.h"
#include "shell/startup.h"
#include "tools/disctool/pe_resources.h"

namespace {

constexpr const char* kMarker = "$$_Qm_DummyButton_$$";

std::string ProgramFolderOfTests() {
    char path[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    return folder.substr(0, folder.find_last_of('\\') + 1);
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out);
}

// The text of a message box, to tell why a menu did not come.
std::string StaticText(HWND box) {
    char text[512] = {};
    if (box) ::GetWindowTextA(::GetDlgItem(box, 0xFFFF), text, sizeof text);
    return text;
}

// A started copy of the program; ended at the end of the test at the latest.
class Process {
public:
    bool Start(const std::string& program, const std::string& arguments = "") {
        std::string line = "\"" + program + "\"" + (arguments.empty() ? "" : " " + arguments);
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        std::string folder = program.substr(0, program.find_last_of('\\'));
        return ::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                                &info_) != FALSE;
    }
    ~Process() {
        if (!info_.hProcess) return;
        if (::WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) ::TerminateProcess(info_.hProcess, 99);
        ::WaitForSingleObject(info_.hProcess, 5000);
        ::CloseHandle(info_.hThread);
        ::CloseHandle(info_.hProcess);
    }
    DWORD Id() const { return info_.dwProcessId; }
    // True when the process ended within timeoutMs.
    bool WaitEnd(DWORD timeoutMs) const { return ::WaitForSingleObject(info_.hProcess, timeoutMs) == WAIT_OBJECT_0; }
    DWORD ExitCode() const {
        DWORD code = 0xdeadbeef;
        ::GetExitCodeProcess(info_.hProcess, &code);
        return code;
    }

private:
    PROCESS_INFORMATION info_ = {};
};

// A background of one colour in every channel order the test can tell apart.
constexpr uint8_t kBlue = 0x18, kGreen = 0x90, kRed = 0xD0;

class SetupProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        appId_ = "DiscSetupTest" + std::to_string(::GetCurrentProcessId());
        ::RegDeleteKeyA(HKEY_CURRENT_USER, ("Software\\Trelvo\\Autorun\\" + appId_).c_str());
    }
    void TearDown() override {
        ::RegDeleteKeyA(HKEY_CURRENT_USER, ("Software\\Trelvo\\Autorun\\" + appId_).c_str());
    }

    core::DataGroup Project(bool testMode) {
        core::DataGroup root = testutil::SampleProject(appId_, kWidth, kHeight);
        root.SetValue("TestMode", core::DataValue(testMode));
        core::DataGroup& objects = *root.FindGroup("Objects")->FindValue("English")->Group();
        std::vector<uint8_t> pixels(size_t(kWidth) * kHeight * 4);
        for (size_t i = 0; i < pixels.size(); i += 4) {
            pixels[i] = kBlue;
            pixels[i + 1] = kGreen;
            pixels[i + 2] = kRed;
        }
        objects.SetValue("Background", core::DataValue(core::BinaryBuffer(pixels.data(), uint32_t(pixels.size()))));
        return root;
    }

    // Setup.exe with root as its project in the disc folder, and our
    // DirectX library beside it unless withDirectX is false.
    std::string MakeDisc(const core::DataGroup& root, bool withDirectX = true) {
        std::string tree = disc_.File("project.vgf");
        EXPECT_TRUE(root.Save(tree.c_str()));
        return MakeDiscWithTree(ReadBytes(tree), withDirectX);
    }
    // The same with the project tree's bytes as they are, damaged or not.
    std::string MakeDiscWithTree(const std::vector<uint8_t>& treeBytes, bool withDirectX = true) {
        std::string tree = disc_.File("project.vgf");
        WriteBytes(tree, treeBytes);
        std::vector<uint8_t> program = ReadBytes(ProgramFolderOfTests() + "Setup.exe");
        EXPECT_FALSE(program.empty());
        std::string error;
        EXPECT_TRUE(pe::SetResource(&program, pe::ResourceId::Name("VGF"), pe::ResourceId::Number(157),
                                    ReadBytes(tree), &error))
            << error;
        ::DeleteFileA(tree.c_str());
        std::string setup = disc_.File("Setup.exe");
        EXPECT_TRUE(WriteBytes(setup, program));
        if (withDirectX) {
            EXPECT_TRUE(::CopyFileA((ProgramFolderOfTests() + "dsetup.dll").c_str(), disc_.File("dsetup.dll").c_str(),
                                    FALSE));
        }
        return setup;
    }

    // The installer switch on, with empty install trees.
    static void UseInstaller(core::DataGroup& root) {
        root.SetValue("UseInstaller", core::DataValue(true));
        for (const char* key : {"InstallerFilesFolders", "InstallerRegistry", "InstallerStartMenu"}) {
            core::DataGroup list;
            list.AddChild("Install Target");
            root.SetValue(key, core::DataValue(list));
        }
    }
    static void SetList(core::DataGroup& root, int controller, const char* key, std::vector<core::DataGroup> records) {
        core::DataValue::List list;
        for (const core::DataGroup& r : records) list.emplace_back(r);
        root.FindValue("Controllers/" + std::to_string(controller))->Group()->SetValue(key, core::DataValue(list));
    }
    static core::DataGroup Record(int32_t type, std::vector<std::pair<const char*, core::DataValue>> keys = {}) {
        core::DataGroup group;
        core::DataValue t;
        t.SetInt32(type);
        group.SetValue("Type", t);
        for (const auto& [key, value] : keys) group.SetValue(key, value);
        return group;
    }

    static constexpr int kWidth = 200, kHeight = 120;
    std::string appId_;
    testutil::TempFolder disc_{"setup"};
};

// The colour on screen at a client point of window, or CLR_INVALID.
COLORREF ScreenPixel(HWND window, int x, int y) {
    POINT point = {x, y};
    ::ClientToScreen(window, &point);
    HDC screen = ::GetDC(nullptr);
    COLORREF color = ::GetPixel(screen, point.x, point.y);
    ::ReleaseDC(nullptr, screen);
    return color;
}

TEST_F(SetupProgramTest, ShowsTheProjectBackgroundAndClosesByTheCloseBox) {
    std::string setup = MakeDisc(Project(true));
    Process process;
    ASSERT_TRUE(process.Start(setup));
    HWND menu = automation::WaitForWindowOf(process.Id(), kMarker, nullptr);
    ASSERT_NE(menu, nullptr) << "no menu window appeared";

    RECT client = {};
    ASSERT_TRUE(::GetClientRect(menu, &client));
    EXPECT_EQ(client.right, kWidth);
    EXPECT_EQ(client.bottom, kHeight);
    // Points away from the two objects (top left, 30 x 20 and 31 x 21 from x 10 and 50).
    static const POINT points[] = {{0, 0}, {5, 60}, {150, 100}, {kWidth - 1, kHeight - 1}, {120, 5}};
    COLORREF expected = RGB(kRed, kGreen, kBlue);
    for (size_t i = 0; i < std::size(points); ++i) {
        COLORREF seen = CLR_INVALID;
        for (int tries = 0; tries < 100 && seen != expected; ++tries, ::Sleep(50))
            seen = ScreenPixel(menu, points[i].x, points[i].y);
        EXPECT_EQ(seen, expected) << "point " << i << " (" << points[i].x << ", " << points[i].y << ")";
    }

    ::PostMessageA(menu, WM_SYSCOMMAND, SC_CLOSE, 0);
    ASSERT_TRUE(process.WaitEnd(20000));
    EXPECT_EQ(process.ExitCode(), 0u);
}

// Keys reach the menu through its focused marker button, as typing does.
TEST_F(SetupProgramTest, EscapeClosesOnlyInTestModeAndEnterNever) {
    static const struct {
        bool testMode;
        WPARAM key;
        bool closes;
    } cases[] = {
        {false, VK_ESCAPE, false},
        {false, VK_RETURN, false},
        {true, VK_RETURN, false},
        {true, VK_ESCAPE, true},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        std::string setup = MakeDisc(Project(cases[i].testMode));
        Process process;
        ASSERT_TRUE(process.Start(setup)) << "case " << i;
        HWND menu = automation::WaitForWindowOf(process.Id(), kMarker, nullptr);
        ASSERT_NE(menu, nullptr) << "case " << i;
        HWND marker = ::GetDlgItem(menu, 1044);
        ::PostMessageA(marker, WM_KEYDOWN, cases[i].key, 1);
        ::PostMessageA(marker, WM_KEYUP, cases[i].key, 0xC0000001);
        EXPECT_EQ(process.WaitEnd(cases[i].closes ? 20000 : 1500), cases[i].closes) << "case " << i;
        if (!cases[i].closes) {
            ::PostMessageA(menu, WM_SYSCOMMAND, SC_CLOSE, 0);
            EXPECT_TRUE(process.WaitEnd(20000)) << "case " << i;
        }
    }
}

TEST_F(SetupProgramTest, SecondStartBringsTheFirstForwardAndEnds) {
    std::string setup = MakeDisc(Project(true));
    Process first;
    ASSERT_TRUE(first.Start(setup));
    HWND menu = automation::WaitForWindowOf(first.Id(), kMarker, nullptr);
    ASSERT_NE(menu, nullptr);

    Process second;
    ASSERT_TRUE(second.Start(setup));
    ASSERT_TRUE(second.WaitEnd(20000)) << "the second start kept running";
    EXPECT_EQ(automation::FindWindowOf(second.Id(), nullptr, nullptr), nullptr);
    EXPECT_TRUE(::IsWindow(menu));
    EXPECT_FALSE(first.WaitEnd(0));

    ::PostMessageA(menu, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(first.WaitEnd(20000));
}

// Object 1 (10,10 30x20) and object 2 (50,10 31x21) share the selectable
// controller; picture k of each is grey 0x40 + k.
TEST_F(SetupProgramTest, HoverAndPressLightLinkedObjectsTogether) {
    core::DataGroup root = Project(true);
    core::DataGroup& objects = *root.FindGroup("Objects")->FindValue("English")->Group();
    objects.FindValue("2")->Group()->SetValue("Controller", core::DataValue(testutil::ControllerId(1)));
    std::string setup = MakeDisc(root);
    Process process;
    ASSERT_TRUE(process.Start(setup));
    HWND menu = automation::WaitForWindowOf(process.Id(), kMarker, nullptr);
    ASSERT_NE(menu, nullptr) << "a window of the program says: " << StaticText(automation::FindWindowOf(process.Id(), nullptr, nullptr))
                             << "; ended " << process.WaitEnd(0) << " with " << std::hex << process.ExitCode();
    ::SetForegroundWindow(menu);

    enum Step { kAway, kOverFirst, kOverSecond, kDown, kUp };
    // The cursor rests near an object's bottom right; pixels are read near
    // its top left, clear of the arrow.
    static const struct {
        Step step;
        uint8_t first, second;  // expected grey of each object
    } cases[] = {
        {kAway, 0x41, 0x41},      {kOverFirst, 0x42, 0x42}, {kAway, 0x41, 0x41},
        {kOverSecond, 0x42, 0x42}, {kOverFirst, 0x42, 0x42}, {kDown, 0x43, 0x43},
        {kAway, 0x41, 0x41},      {kUp, 0x41, 0x41},
    };
    auto moveTo = [&](int x, int y) {
        POINT point = {x, y};
        ::ClientToScreen(menu, &point);
        ::SetCursorPos(point.x, point.y);
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        switch (cases[i].step) {
        case kAway: moveTo(150, 100); break;
        case kOverFirst: moveTo(36, 26); break;
        case kOverSecond: moveTo(77, 27); break;
        case kDown: ::mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0); break;
        case kUp: ::mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0); break;
        }
        COLORREF first = RGB(cases[i].first, cases[i].first, cases[i].first);
        COLORREF second = RGB(cases[i].second, cases[i].second, cases[i].second);
        COLORREF seenFirst = CLR_INVALID, seenSecond = CLR_INVALID;
        for (int tries = 0; tries < 60 && (seenFirst != first || seenSecond != second); ++tries, ::Sleep(50)) {
            seenFirst = ScreenPixel(menu, 12, 12);
            seenSecond = ScreenPixel(menu, 52, 12);
        }
        EXPECT_EQ(seenFirst, first) << "case " << i;
        EXPECT_EQ(seenSecond, second) << "case " << i;
    }
    ::PostMessageA(menu, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(process.WaitEnd(20000));
}

TEST_F(SetupProgramTest, SystemMenuAboutNamesTheEditorVersion) {
    std::string setup = MakeDisc(Project(true));  // made with editor version 3.5
    Process process;
    ASSERT_TRUE(process.Start(setup));
    HWND menu = automation::WaitForWindowOf(process.Id(), kMarker, nullptr);
    ASSERT_NE(menu, nullptr);
    ::PostMessageA(menu, WM_SYSCOMMAND, 0x10, 0);
    HWND about = automation::WaitForWindowOf(process.Id(), nullptr, "(CU)  w 3.5  s 3.4");
    ASSERT_NE(about, nullptr);
    ::PostMessageA(about, WM_COMMAND, IDOK, 0);
    for (int tries = 0; tries < 100 && ::IsWindow(about); ++tries) ::Sleep(50);
    EXPECT_FALSE(::IsWindow(about));
    EXPECT_FALSE(process.WaitEnd(0)) << "the menu stays after the about box";
    ::PostMessageA(menu, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(process.WaitEnd(20000));
}

TEST_F(SetupProgramTest, SplashShowsWhileLoadingAndAtLeastSetTimeOutsideTestMode) {
    static const struct {
        bool testMode;
        DWORD atLeastMs;
    } cases[] = {{false, 1500}, {true, 0}};
    for (size_t i = 0; i < std::size(cases); ++i) {
        std::string setup = MakeDisc(Project(cases[i].testMode));
        Process process;
        DWORD started = ::GetTickCount();
        ASSERT_TRUE(process.Start(setup)) << "case " << i;
        HWND first = automation::WaitForWindowOf(process.Id(), nullptr, nullptr);
        const DWORD firstSeen = ::GetTickCount();
        ASSERT_NE(first, nullptr) << "case " << i;
        const bool firstIsSplash = ::GetDlgItem(first, 1003) != nullptr;
        HWND menu = automation::WaitForWindowOf(process.Id(), kMarker, nullptr);
        DWORD elapsed = ::GetTickCount() - started;
        ASSERT_NE(menu, nullptr) << "case " << i;
        if (cases[i].atLeastMs) {
            EXPECT_TRUE(firstIsSplash) << "case " << i << ": the splash comes first";
            EXPECT_GE(elapsed, cases[i].atLeastMs) << "case " << i;
        } else {
            // A splash held for its full time would keep the menu back at
            // least 1.5 s after it showed; loading this project takes a
            // fraction of that.
            EXPECT_LT(::GetTickCount() - firstSeen, 1000u) << "case " << i << ": the splash waited in test mode";
        }
        EXPECT_TRUE(first == menu || !::IsWindow(first)) << "case " << i << ": the splash is gone with the menu";
        ::PostMessageA(menu, WM_SYSCOMMAND, SC_CLOSE, 0);
        EXPECT_TRUE(process.WaitEnd(20000)) << "case " << i;
    }
}

TEST_F(SetupProgramTest, MissingDirectXLibraryShowsTheMessageAndNoMenu) {
    std::string setup = MakeDisc(Project(true), false);
    Process process;
    ASSERT_TRUE(process.Start(setup));
    HWND box = automation::WaitForWindowOf(process.Id(), shell::kDirectXMissingText, "Error");
    ASSERT_NE(box, nullptr) << "no message box";
    EXPECT_EQ(automation::FindWindowOf(process.Id(), kMarker, nullptr), nullptr);
    ::PostMessageA(box, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(process.WaitEnd(20000));
    EXPECT_EQ(automation::FindWindowOf(process.Id(), kMarker, nullptr), nullptr);
}

// A click with the mouse at a client point of the menu.
void ClickAt(HWND menu, int x, int y) {
    ::SetForegroundWindow(menu);
    POINT point = {x, y};
    ::ClientToScreen(menu, &point);
    ::SetCursorPos(point.x, point.y);
    ::Sleep(200);
    ::mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
    ::Sleep(100);
    ::mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
}

// Object 1 waits on a file that is missing, so it is greyed: picture 4.
// A click on the enabled object 1 of a second run runs its actions: a
// program that leaves a mark, then the exit action, which ends the menu.
TEST_F(SetupProgramTest, DisabledObjectShowsPictureFourAndAClickRunsTheActions) {
    core::DataGroup root = Project(true);
    std::string mark = disc_.File("mark.txt");
    std::string helper = "\"" + ProgramFolderOfTests() + "action_helper.exe\"";
    SetList(root, 1, "Dependencies", {Record(4, {{"Filename", core::DataValue(disc_.File("gate.txt"))}})});
    SetList(root, 1, "Actions",
            {Record(0, {{"Filename", core::DataValue(helper)},
                        {"Parameters", core::DataValue("record " + mark)},
                        {"Wait", core::DataValue(true)}}),
             Record(7)});
    std::string setup = MakeDisc(root);
    {
        Process process;
        ASSERT_TRUE(process.Start(setup));
        HWND menu = automation::WaitForWindowOf(process.Id(), kMarker, nullptr);
        ASSERT_NE(menu, nullptr);
        COLORREF seen = CLR_INVALID;
        for (int tries = 0; tries < 100 && seen != RGB(0x44, 0x44, 0x44); ++tries, ::Sleep(50))
            seen = ScreenPixel(menu, 12, 12);
        EXPECT_EQ(seen, RGB(0x44, 0x44, 0x44));
        EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(menu, 4700)));
        ::PostMessageA(menu, WM_SYSCOMMAND, SC_CLOSE, 0);
        ASSERT_TRUE(process.WaitEnd(20000));
    }
    testutil::WriteFile(disc_.File("gate.txt"), "open");
    Process process;
    ASSERT_TRUE(process.Start(setup));
    HWND menu = automation::WaitForWindowOf(process.Id(), kMarker, nullptr);
    ASSERT_NE(menu, nullptr);
    HWND object = ::GetDlgItem(menu, 4700);
    ASSERT_TRUE(::IsWindowEnabled(object));
    ClickAt(menu, 20, 18);
    ASSERT_TRUE(process.WaitEnd(20000)) << "the exit action did not close the menu";
    EXPECT_EQ(process.ExitCode(), 0u);
    EXPECT_NE(testutil::ReadFile(mark).find("record"), std::string::npos);
}

// Users double-click disc menus out of habit: a double-click runs the entry
// once. A later click on the second entry shows that every message of the
// double-click has been handled by the time its line is there.
TEST_F(SetupProgramTest, DoubleClickRunsTheEntryOnce) {
    core::DataGroup root = Project(true);
    std::string runs = disc_.File("runs.txt");
    std::string helper = "\"" + ProgramFolderOfTests() + "action_helper.exe\"";
    root.FindValue("Controllers/2")->Group()->SetValue("Selectable", core::DataValue(true));
    for (int controller : {1, 2}) {
        SetList(root, controller, "Actions",
                {Record(0, {{"Filename", core::DataValue(helper)},
                            {"Parameters", core::DataValue("append " + runs + " entry" + std::to_string(controller))},
                            {"Wait", core::DataValue(true)}})});
    }
    std::string setup = MakeDisc(root);
    Process process;
    ASSERT_TRUE(process.Start(setup));
    HWND menu = automation::WaitForWindowOf(process.Id(), kMarker, nullptr);
    ASSERT_NE(menu, nullptr);
    ::SetForegroundWindow(menu);
    POINT point = {20, 18};
    ::ClientToScreen(menu, &point);
    ::SetCursorPos(point.x, point.y);
    ::Sleep(200);
    for (int press = 0; press < 2; ++press) {
        ::mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
        ::mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
    }
    ::Sleep(::GetDoubleClickTime() + 100);
    ClickAt(menu, 60, 18);
    for (int i = 0; i < 400 && testutil::ReadFile(runs).find("entry2") == std::string::npos; ++i) ::Sleep(50);
    ::PostMessageA(menu, WM_SYSCOMMAND, SC_CLOSE, 0);
    ASSERT_TRUE(process.WaitEnd(20000));
    EXPECT_EQ(testutil::ReadFile(runs), "entry1\nentry2\n");
}

// Object 1 leaves a mark, copies a file out of Setup.pac and closes the
// menu: the copy is only there when the package was mounted, which
// "-checkrestart" skips, and there the failed copy is told, naming the entry.
// The menu is asked to close once the mark is there: the rest of the actions
// run before that request is handled.
TEST_F(SetupProgramTest, CheckRestartDoesNotMountThePackage) {
    core::DataGroup root = Project(true);
    root.FindGroup("Languages/English")->SetValue("INSTALL_GENERAL_ERROROPENFILE", core::DataValue("Cannot read %s."));
    std::string copied = disc_.File("copied.dat"), mark = disc_.File("mark.txt");
    std::string helper = "\"" + ProgramFolderOfTests() + "action_helper.exe\"";
    SetList(root, 1, "Actions",
            {Record(0, {{"Filename", core::DataValue(helper)},
                        {"Parameters", core::DataValue("record " + mark)},
                        {"Wait", core::DataValue(true)}}),
             Record(10, {{"Source", core::DataValue("Data\\a.dat")}, {"Target", core::DataValue(copied)}}), Record(7)});
    std::string setup = MakeDisc(root);
    std::string error;
    core::PackOptions options;
    options.method = core::PackMethod::Lzss;
    std::vector<uint8_t> data(5000, 7);
    ASSERT_TRUE(core::WritePackage(disc_.File("Setup.pac"), {core::PackInput::FromBytes("Data\\a.dat", data)},
                                   options, &error))
        << error;
    for (const char* argument : {"", "-checkrestart"}) {
        ::DeleteFileA(copied.c_str());
        ::DeleteFileA(mark.c_str());
        Process process;
        ASSERT_TRUE(process.Start(setup, argument));
        HWND menu = automation::WaitForWindowOf(process.Id(), kMarker, nullptr);
        ASSERT_NE(menu, nullptr) << argument;
        ClickAt(menu, 20, 18);
        for (int i = 0; i < 400 && testutil::ReadFile(mark).empty(); ++i) ::Sleep(50);
        bool mounted = std::string(argument).empty();
        if (!mounted) {
            HWND box = automation::WaitForProcessDialog(process.Id(), nullptr, 10000, true);
            ASSERT_NE(box, nullptr) << "the failed copy was not told";
            EXPECT_EQ(automation::MessageBoxText(box), "Cannot read Data\\a.dat.");
            automation::PressButton(box, IDOK);
        }
        ::PostMessageA(menu, WM_SYSCOMMAND, SC_CLOSE, 0);
        ASSERT_TRUE(process.WaitEnd(20000)) << "argument \"" << argument << "\"";
        EXPECT_EQ(testutil::ReadFile(copied).size(), mounted ? data.size() : 0u) << "argument \"" << argument << "\"";
    }
}

// "-restart" on the disc hands over to the copy recorded as installed in
// another folder, and ends. The installed folder holds a blank, as
// "C:\\Program Files" does, and a program stands where the system would look
// first for an unquoted path: the copy must be started, with "-restart" as its
// first word, and not that program.
TEST_F(SetupProgramTest, RestartHandsOverToTheInstalledCopy) {
    testutil::TempFolder base("installed");
    const std::string installed = base.File("Installed Copy");
    ASSERT_TRUE(::CreateDirectoryA(installed.c_str(), nullptr));
    ASSERT_TRUE(::CopyFileA((ProgramFolderOfTests() + "action_helper.exe").c_str(), base.File("Installed.exe").c_str(),
                            FALSE));
    core::DataGroup disc = Project(false);
    UseInstaller(disc);
    std::string setup = MakeDisc(disc);
    // The installed copy shows another title.
    core::DataGroup copy = Project(true);
    copy.FindGroup("Languages/English")->SetValue("APP_TITLE", core::DataValue("Installed copy"));
    std::string copySetup = MakeDisc(copy);
    ASSERT_TRUE(::CopyFileA(copySetup.c_str(), (installed + "\\Setup.exe").c_str(), FALSE));
    ASSERT_TRUE(::CopyFileA(disc_.File("dsetup.dll").c_str(), (installed + "\\dsetup.dll").c_str(), FALSE));
    MakeDisc(disc);
    {
        core::RegistryKey record;
        ASSERT_TRUE(record.Create(("Software\\Trelvo\\Autorun\\" + appId_).c_str(), HKEY_CURRENT_USER));
        record.SetDword("AppInstalled", 1);
        record.SetString("InstalledFolder", (installed + "\\").c_str());
    }
    Process process;
    ASSERT_TRUE(process.Start(setup, "-restart"));
    ASSERT_TRUE(process.WaitEnd(20000)) << "the disc copy did not end";
    EXPECT_EQ(automation::FindWindowOf(process.Id(), kMarker, nullptr), nullptr);
    HWND menu = automation::WaitForWindowOf(0, kMarker, "Installed copy   (Language is \"English\")");
    ASSERT_NE(menu, nullptr) << "the installed copy shows no menu";
    DWORD pid = automation::ProcessOf(menu);
    const std::string line = automation::CommandLineOf(pid);
    EXPECT_EQ(core::ParseCommandLine(line.c_str()), std::vector<std::string>{"-restart"}) << line;
    HANDLE other = ::OpenProcess(SYNCHRONIZE, FALSE, pid);
    ::PostMessageA(menu, WM_SYSCOMMAND, SC_CLOSE, 0);
    if (other) {
        EXPECT_EQ(::WaitForSingleObject(other, 20000), WAIT_OBJECT_0);
        ::CloseHandle(other);
    }
}

// A package that is cut short, has a damaged directory or is no package
// at all leaves the menu working; only copies out of it would fail.
TEST_F(SetupProgramTest, DamagedPackageStillShowsTheMenu) {
    std::string setup = MakeDisc(Project(true));
    std::vector<uint8_t> data(200000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t((i * 131) ^ (i >> 9));
    std::string error;
    core::PackOptions options;
    options.method = core::PackMethod::Bzip2;
    ASSERT_TRUE(core::WritePackage(disc_.File("Setup.pac"), {core::PackInput::FromBytes("Data\\a.dat", data)},
                                   options, &error))
        << error;
    const std::vector<uint8_t> good = ReadBytes(disc_.File("Setup.pac"));
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
    };
    std::vector<Case> cases = {
        {"cut short", std::vector<uint8_t>(good.begin(), good.begin() + good.size() / 3)},
        {"damaged directory", good},
        {"not a package", std::vector<uint8_t>(4096, 0xAB)},
        {"empty", {}},
    };
    for (size_t i = good.size() - 64; i < good.size(); ++i) cases[1].bytes[i] ^= 0x5A;
    for (const Case& c : cases) {
        ASSERT_TRUE(WriteBytes(disc_.File("Setup.pac"), c.bytes));
        Process process;
        ASSERT_TRUE(process.Start(setup)) << c.name;
        HWND menu = automation::WaitForWindowOf(process.Id(), kMarker, nullptr);
        ASSERT_NE(menu, nullptr) << c.name << ": " << StaticText(automation::FindWindowOf(process.Id(), nullptr, nullptr));
        ::PostMessageA(menu, WM_SYSCOMMAND, SC_CLOSE, 0);
        EXPECT_TRUE(process.WaitEnd(20000)) << c.name;
    }
}

// A damaged project inside the program, or one without a required setting:
// a message that says what is wrong, then a clean end without a menu.
TEST_F(SetupProgramTest, DamagedProjectIsNamedInAMessageAndTheProgramEnds) {
    core::DataGroup good = Project(true);
    core::BinaryBuffer bytes;
    ASSERT_TRUE(good.WriteTo(bytes));
    std::vector<uint8_t> tree(bytes.Data(), bytes.Data() + bytes.Size());
    core::DataGroup noWidth = good;
    noWidth.RemoveValue("Width");
    core::BinaryBuffer noWidthBytes;
    ASSERT_TRUE(noWidth.WriteTo(noWidthBytes));
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        const char* start;  // how the message begins
    };
    const Case cases[] = {
        {"cut short", std::vector<uint8_t>(tree.begin(), tree.begin() + tree.size() / 2),
         "The menu data cannot be read: "},
        {"garbage", std::vector<uint8_t>(300, 0xEE), "The menu data cannot be read: "},
        {"no Width", std::vector<uint8_t>(noWidthBytes.Data(), noWidthBytes.Data() + noWidthBytes.Size()),
         "The menu data is damaged: the setting \"Width\" is missing or invalid."},
    };
    for (const Case& c : cases) {
        std::string setup = MakeDiscWithTree(c.bytes);
        Process process;
        ASSERT_TRUE(process.Start(setup)) << c.name;
        HWND box = automation::WaitForWindowOf(process.Id(), nullptr, "Setup");
        ASSERT_NE(box, nullptr) << c.name << ": no message";
        std::string text = StaticText(box);
        EXPECT_EQ(text.rfind(c.start, 0), 0u) << c.name << ": " << text;
        ::PostMessageA(box, WM_COMMAND, IDOK, 0);
        ASSERT_TRUE(process.WaitEnd(20000)) << c.name;
        EXPECT_EQ(automation::FindWindowOf(process.Id(), kMarker, nullptr), nullptr);
    }
}

}  // namespace
