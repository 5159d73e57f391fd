// The demo disc as ./run test builds it (examples/demo.sh with the 64-bit
// runtime into <build>/demo/disc): its entries are shown, greyed and hidden
// on screen as its dependencies say, and follow a language switch and the
// installed state.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "../core/test_util.h"
#include "automation.h"
#include "demo_disc.h"
#include "core/binary_buffer.h"
#include "core/core_startup.h"
#include "core/data_group.h"
#include "core/file_path.h"
#include "core/registry.h"
#include "resources/resource_ids.h"

using testutil::DemoDisc;
using testutil::ReadProject;

namespace {

constexpr const char* kMarker = "$$_Qm_DummyButton_$$";
constexpr const char* kRegistryPath = "Software\\Trelvo\\Autorun\\DemoQuest";

class DemoMenu {
public:
    bool Start(const std::string& disc) {
        ::SetCursorPos(0, 0);
        std::string line = "\"" + disc + "\\Setup.exe\"";
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, disc.c_str(), &startup,
                              &process_))
            return false;
        menu_ = automation::WaitForWindowOf(process_.dwProcessId, kMarker, nullptr, 30000);
        return menu_ != nullptr;
    }
    ~DemoMenu() {
        if (menu_) ::PostMessageA(menu_, WM_SYSCOMMAND, SC_CLOSE, 0);
        if (!process_.hProcess) return;
        if (::WaitForSingleObject(process_.hProcess, 20000) != WAIT_OBJECT_0) ::TerminateProcess(process_.hProcess, 9);
        ::CloseHandle(process_.hThread);
        ::CloseHandle(process_.hProcess);
    }
    HWND Menu() const { return menu_; }
    DWORD Id() const { return process_.dwProcessId; }
    bool WaitEnd(DWORD timeoutMs) const { return ::WaitForSingleObject(process_.hProcess, timeoutMs) == WAIT_OBJECT_0; }
    HWND Object(int number) const { return ::GetDlgItem(menu_, 4700 + number - 1); }
    // The colour on screen at a client point of the menu.
    COLORREF Pixel(int x, int y) const {
        POINT point = {x, y};
        ::ClientToScreen(menu_, &point);
        HDC screen = ::GetDC(nullptr);
        COLORREF color = ::GetPixel(screen, point.x, point.y);
        ::ReleaseDC(nullptr, screen);
        return color;
    }
    void Click(int x, int y) const {
        ::SetForegroundWindow(menu_);
        POINT point = {x, y};
        ::ClientToScreen(menu_, &point);
        ::SetCursorPos(point.x, point.y);
        ::Sleep(200);
        ::mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
        ::Sleep(100);
        ::mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
        // Away again, so that nothing shows its highlighted picture.
        ::Sleep(300);
        ::SetCursorPos(0, 0);
    }

private:
    PROCESS_INFORMATION process_ = {};
    HWND menu_ = nullptr;
};

// A visible window of process pid (0: of any process) that holds a control with id.
struct ChildSearch {
    DWORD pid;
    int id;
    HWND found;
};

BOOL CALLBACK FindWithChild(HWND hwnd, LPARAM param) {
    auto* search = reinterpret_cast<ChildSearch*>(param);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    if ((search->pid && pid != search->pid) || !::IsWindowVisible(hwnd)) return TRUE;
    if (!::GetDlgItem(hwnd, search->id)) return TRUE;
    search->found = hwnd;
    return FALSE;
}

HWND WaitForWindowWith(DWORD pid, int id, DWORD timeoutMs = 30000) {
    for (DWORD waited = 0; waited < timeoutMs; waited += 50, ::Sleep(50)) {
        ChildSearch search{pid, id, nullptr};
        ::EnumWindows(FindWithChild, reinterpret_cast<LPARAM>(&search));
        if (search.found) return search.found;
    }
    return nullptr;
}

enum Look { kShown, kGreyed, kHidden };

class DemoDiscTest : public ::testing::Test {
protected:
    void SetUp() override {
        disc_ = DemoDisc();
        if (::GetFileAttributesA((disc_ + "\\Setup.exe").c_str()) == INVALID_FILE_ATTRIBUTES)
            GTEST_SKIP() << "no demo disc at " << disc_ << " (./run test builds it)";
        ASSERT_TRUE(ReadProject(disc_ + "\\Setup.exe", &project_));
        Reset();
        core::RegistryKey key;
        ASSERT_TRUE(key.Create(kRegistryPath, HKEY_CURRENT_USER));
        key.SetString("CurrentLanguage", "English");
    }
    void TearDown() override { Reset(); }
    static void Reset() {
        ::RegDeleteKeyA(HKEY_CURRENT_USER, kRegistryPath);
        ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, kRegistryPath);
    }

    // The colour of picture image (1 to 4) of object number in language,
    // 4 pixels in from its top left corner, and that point in the menu.
    COLORREF PictureColor(const char* language, int number, int image, POINT* at) {
        const core::DataGroup* objects = project_.FindValue(std::string("Objects/") + language)->Group();
        const core::DataGroup* object = objects->FindValue(std::to_string(number))->Group();
        int width = int(object->FindValue("Width")->Number());
        at->x = int(object->FindValue("XPos")->Number()) + 4;
        at->y = int(object->FindValue("YPos")->Number()) + 4;
        const core::BinaryBuffer* bytes = object->FindValue("Image" + std::to_string(image))->Binary();
        const uint8_t* p = bytes->Data() + (size_t(4) * width + 4) * 4;
        return RGB(p[2], p[1], p[0]);
    }

    void ExpectLooks(const DemoMenu& menu, const char* language, const std::vector<Look>& looks) {
        for (size_t i = 0; i < looks.size(); ++i) {
            int number = int(i) + 1;
            HWND object = menu.Object(number);
            ASSERT_NE(object, nullptr) << "object " << number;
            EXPECT_EQ(::IsWindowVisible(object) != FALSE, looks[i] != kHidden) << "object " << number;
            if (looks[i] == kHidden) continue;
            EXPECT_EQ(::IsWindowEnabled(object) != FALSE, looks[i] == kShown) << "object " << number;
            // What the screen shows: picture 1 when shown, picture 4 when greyed.
            POINT at;
            COLORREF expected = PictureColor(language, number, looks[i] == kShown ? 1 : 4, &at);
            COLORREF seen = CLR_INVALID;
            for (int tries = 0; tries < 60 && seen != expected; ++tries, ::Sleep(50)) seen = menu.Pixel(at.x, at.y);
            EXPECT_EQ(seen, expected) << "object " << number << " at " << at.x << "," << at.y;
        }
    }

    // Runs the Install entry of the disc's menu through the wizard into
    // target; the menu closes and starts again with "-checkrestart".
    // Returns the restarted menu, or null.
    HWND InstallThroughTheWizard(const std::string& target, const std::string& startMenu) {
        DemoMenu menu;
        if (!menu.Start(disc_)) return nullptr;
        menu.Click(50, 130);  // Install
        HWND wizard = WaitForWindowWith(menu.Id(), IDC_WIZ_NEXT);
        EXPECT_NE(wizard, nullptr) << "no wizard";
        if (!wizard) return nullptr;
        std::vector<std::string> titles;
        std::string title;
        for (int step = 0; step < 12; ++step) {
            std::string now;
            for (int i = 0; i < 600 && ::IsWindow(wizard); ++i, ::Sleep(50)) {
                now = automation::WindowText(::GetDlgItem(wizard, IDC_WIZ_TITLE));
                if (now != title && !now.empty()) break;
            }
            if (!::IsWindow(wizard) || now == title) break;
            title = now;
            if (title == "Installing") continue;  // the page goes on to the next by itself
            titles.push_back(title);
            if (title == "Registration") {
                ::SetWindowTextA(automation::Descendant(wizard, IDC_REGISTRATION_NAME), "Ann Example");
            } else if (title == "Target folder") {
                ::SetWindowTextA(automation::Descendant(wizard, IDC_TARGET_PATH), target.c_str());
            } else if (title == "Start menu") {
                ::SetWindowTextA(automation::Descendant(wizard, IDC_STARTMENU_FOLDER), startMenu.c_str());
            }
            HWND next = ::GetDlgItem(wizard, IDC_WIZ_NEXT);
            for (int i = 0; i < 200 && !::IsWindowEnabled(next); ++i) ::Sleep(50);
            automation::PressButton(wizard, IDC_WIZ_NEXT);
        }
        EXPECT_EQ(titles, (std::vector<std::string>{"Welcome", "Licence agreement", "Registration", "Target folder",
                                                    "Start menu", "Ready to install", "Done"}));
        EXPECT_TRUE(menu.WaitEnd(30000)) << "the menu stayed after the install";
        HWND again = automation::WaitForWindowOf(0, kMarker, nullptr, 30000);
        EXPECT_NE(again, nullptr) << "no menu after the restart";
        if (!again) return nullptr;
        // The disc's own program again, told that it restarts.
        const std::string line = automation::CommandLineOf(automation::ProcessOf(again));
        EXPECT_EQ(core::ParseCommandLine(line.c_str()), std::vector<std::string>{"-checkrestart"}) << line;
        EXPECT_EQ(::lstrcmpiA(line.substr(0, line.find("\" ")).c_str(), ("\"" + disc_ + "\\Setup.exe").c_str()), 0)
            << line;
        return again;
    }

    // Closes a menu of another process and waits for that process.
    static void CloseMenuOf(HWND menu) {
        DWORD pid = 0;
        ::GetWindowThreadProcessId(menu, &pid);
        HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, pid);
        ::PostMessageA(menu, WM_SYSCOMMAND, SC_CLOSE, 0);
        if (!process) return;
        EXPECT_EQ(::WaitForSingleObject(process, 20000), WAIT_OBJECT_0);
        ::CloseHandle(process);
    }

    std::string disc_;
    core::DataGroup project_;
};

// A visible dialog of any process with caption; message boxes only when asked.
struct AnyDialogSearch {
    const char* caption;
    bool messageBox;
    HWND found;
};

BOOL CALLBACK MatchAnyDialog(HWND hwnd, LPARAM param) {
    auto* s = reinterpret_cast<AnyDialogSearch*>(param);
    if (!::IsWindowVisible(hwnd) || automation::ClassName(hwnd) != "#32770") return TRUE;
    if (automation::WindowText(hwnd) != s->caption) return TRUE;
    if (s->messageBox != (::GetDlgItem(hwnd, 0xFFFF) != nullptr)) return TRUE;
    s->found = hwnd;
    return FALSE;
}

HWND WaitForAnyDialog(const char* caption, bool messageBox, DWORD timeoutMs = 30000) {
    for (DWORD waited = 0; waited < timeoutMs; waited += 50, ::Sleep(50)) {
        AnyDialogSearch search{caption, messageBox, nullptr};
        ::EnumWindows(MatchAnyDialog, reinterpret_cast<LPARAM>(&search));
        if (search.found) return search.found;
    }
    return nullptr;
}

std::string TempFile(const char* extension) {
    char folder[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, folder);
    std::string path = folder;
    if (path.empty() || path.back() != '\\') path += '\\';
    return path + "{Trelvo_QmSetup}" + extension;
}

bool Exists(const std::string& path) { return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool KeyExists(const char* path) {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    ::RegCloseKey(key);
    return true;
}

constexpr const char* kUninstallKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\DemoQuest";

// What an install touches, to compare before and after.
struct Snapshot {
    bool target, links, installedKey, uninstallKey, tempProgram, tempScript;
    bool operator==(const Snapshot&) const = default;
};

Snapshot Take(const std::string& target, const std::string& links) {
    return {Exists(target),           Exists(links),           KeyExists(kRegistryPath), KeyExists(kUninstallKey),
            Exists(TempFile(".exe")), Exists(TempFile(".ini"))};
}

// "Setup.exe ARGS" of folder, started as the system's list of installed
// programs starts it.
class SetupRun {
public:
    SetupRun(const std::string& folder, const char* args) {
        std::string line = "\"" + folder + "\\Setup.exe\" " + args;
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        started_ = ::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                                    &startup, &process_) != FALSE;
    }
    ~SetupRun() {
        if (!started_) return;
        if (::WaitForSingleObject(process_.hProcess, 20000) != WAIT_OBJECT_0) ::TerminateProcess(process_.hProcess, 9);
        ::CloseHandle(process_.hThread);
        ::CloseHandle(process_.hProcess);
    }
    bool Started() const { return started_; }
    DWORD Id() const { return process_.dwProcessId; }
    bool WaitEnd(DWORD timeoutMs) const { return ::WaitForSingleObject(process_.hProcess, timeoutMs) == WAIT_OBJECT_0; }

private:
    PROCESS_INFORMATION process_ = {};
    bool started_ = false;
};

// The uninstaller's wizard (of whatever process), once it shows its done page.
HWND WaitForUninstallDone() {
    for (int i = 0; i < 600; ++i, ::Sleep(50)) {
        HWND wizard = WaitForWindowWith(0, IDC_WIZ_NEXT, 50);
        if (wizard && automation::WindowText(::GetDlgItem(wizard, IDC_WIZ_TITLE)) == "Done" &&
            ::IsWindowEnabled(::GetDlgItem(wizard, IDC_WIZ_NEXT)))
            return wizard;
    }
    return nullptr;
}

// Answers the uninstall warning (a message box captioned caption) with Yes,
// waits for the done page and closes it; false, with the reason, when one of
// them does not come.
testing::AssertionResult ConfirmAndFinishUninstall(const char* caption) {
    HWND warning = WaitForAnyDialog(caption, true);
    if (!warning) return testing::AssertionFailure() << "no uninstall warning captioned " << caption;
    automation::PressButton(warning, IDYES);
    HWND wizard = WaitForUninstallDone();
    if (!wizard) return testing::AssertionFailure() << "no uninstall done page";
    automation::PressButton(wizard, IDC_WIZ_NEXT);
    return testing::AssertionSuccess();
}

// The state once it has settled to expected (the uninstaller's temporary
// copy removes itself a moment after it ends), or the last one seen.
Snapshot Settled(const Snapshot& expected, const std::string& target, const std::string& links) {
    Snapshot now{};
    for (int i = 0; i < 600; ++i, ::Sleep(50)) {
        now = Take(target, links);
        if (now == expected) break;
    }
    return now;
}

void ExpectSame(const Snapshot& after, const Snapshot& before, const std::string& target) {
    std::string left;
    std::error_code ec;
    if (after.target && !before.target)
        for (const auto& entry : std::filesystem::recursive_directory_iterator(target, ec))
            left += " " + entry.path().filename().string();
    EXPECT_EQ(after.target, before.target) << "left in the target folder:" << left;
    EXPECT_EQ(after.links, before.links);
    EXPECT_EQ(after.installedKey, before.installedKey);
    EXPECT_EQ(after.uninstallKey, before.uninstallKey);
    EXPECT_EQ(after.tempProgram, before.tempProgram);
    EXPECT_EQ(after.tempScript, before.tempScript);
}

// The lines of a Setup.uni, or none when it cannot be read as one.
std::vector<std::string> LogLines(const std::string& path) {
    core::DataGroup log;
    std::vector<std::string> lines;
    if (!log.Load(path.c_str())) return lines;
    if (const core::DataValue* todo = log.FindValue("ToDo"))
        if (const core::DataValue::List* list = todo->GetList())
            for (const core::DataValue& line : *list) lines.push_back(line.Text());
    return lines;
}

}  // namespace

// Install, Play, Uninstall, Manual, About, Deutsch, English, Exit.
TEST_F(DemoDiscTest, EntriesFollowTheDependenciesOnScreen) {
    {
        DemoMenu menu;
        ASSERT_TRUE(menu.Start(disc_));
        // Not installed: Play greyed, Uninstall hidden; the manual lies on
        // the disc; the current language's own entry is hidden.
        ExpectLooks(menu, "English", {kShown, kGreyed, kHidden, kShown, kShown, kShown, kHidden, kShown});

        // Deutsch switches the language; the entries follow at once.
        menu.Click(385, 345);
        for (int i = 0; i < 100 && ::IsWindowVisible(menu.Object(6)); ++i) ::Sleep(50);
        ExpectLooks(menu, "Deutsch", {kShown, kGreyed, kHidden, kShown, kShown, kHidden, kShown, kShown});
    }
    // Installed, and run by an administrator (as every Wine user is).
    core::RegistryKey installed;
    ASSERT_TRUE(installed.Create(kRegistryPath, HKEY_LOCAL_MACHINE));
    installed.SetDword("AppInstalled", 1);
    DemoMenu menu;
    ASSERT_TRUE(menu.Start(disc_));
    ExpectLooks(menu, "Deutsch", {kGreyed, kShown, kShown, kShown, kShown, kHidden, kShown, kShown});
}



// A whole install from the menu, then the removal each way: the installed
// copy's Uninstall entry, "Setup.exe -uninst" as the system's list of
// installed programs starts it, and the disc's own Uninstall entry (which
// finds the installed copy through the records the install left).
// Afterwards the machine is as before, and a target folder that existed
// before the install stays.
TEST_F(DemoDiscTest, InstallThroughTheWizardThenUninstallEachWay) {
    testutil::TempFolder work("demo-install");
    core::FilePath programs;
    programs.SetSpecialFolder(core::kFolderCommonPrograms);
    const std::string startMenu = "Demo Quest " + std::to_string(::GetCurrentProcessId());
    const std::string links = programs.FullPath() + "\\" + startMenu;

    struct Way {
        const char* name;
        bool menuEntry;  // else "-uninst"
        bool fromDisc;   // else from the installed folder
        const char* folder;
        bool existed;
    };
    const Way ways[] = {
        {"the installed copy's menu entry", true, false, "Demo Quest", false},
        {"-uninst", false, false, "Existing", true},
        {"the disc's menu entry", true, true, "Demo Quest", false},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        const std::string target = work.File(way.folder);
        if (way.existed) std::filesystem::create_directories(target);
        ::DeleteFileA(TempFile(".exe").c_str());
        ::DeleteFileA(TempFile(".ini").c_str());
        const Snapshot before = Take(target, links);

        HWND menu = InstallThroughTheWizard(target, startMenu);
        ASSERT_NE(menu, nullptr);
        // Installed: Install greyed, Play and Uninstall offered.
        EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(menu, 4700)));
        EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(menu, 4701)));
        EXPECT_TRUE(::IsWindowVisible(::GetDlgItem(menu, 4702)));
        CloseMenuOf(menu);
        for (const char* file : {"Setup.exe", "Setup.uni", "ReadMe.txt"})
            EXPECT_TRUE(Exists(target + "\\" + file)) << file;
        core::RegistryKey key;
        EXPECT_TRUE(key.Open(kRegistryPath, true, HKEY_LOCAL_MACHINE));
        EXPECT_EQ(key.GetDword("AppInstalled"), 1u);
        EXPECT_EQ(key.GetString("InstallDir"), target);
        key.Close();
        EXPECT_TRUE(Exists(links + "\\Demo Quest.lnk"));

        DemoMenu shown;
        std::unique_ptr<SetupRun> run;
        if (way.menuEntry) {
            ASSERT_TRUE(shown.Start(way.fromDisc ? disc_ : target));
            shown.Click(50, 218);  // Uninstall
            // The menu asks, and the uninstaller then runs with "-quiet".
            ASSERT_TRUE(ConfirmAndFinishUninstall("Demo Quest"));
        } else {
            run = std::make_unique<SetupRun>(target, "-uninst");
            ASSERT_TRUE(run->Started());
            // Without "-quiet" the uninstaller asks first.
            ASSERT_TRUE(ConfirmAndFinishUninstall("Setup"));
        }
        ExpectSame(Settled(before, target, links), before, target);
        Reset();
        core::RegistryKey language;
        ASSERT_TRUE(language.Create(kRegistryPath, HKEY_CURRENT_USER));
        language.SetString("CurrentLanguage", "English");
    }
}

// Nothing installed where the records say (the folder removed by hand): the
// disc's Uninstall entry and "-uninst" say which log they did not find, start
// no uninstaller and remove nothing; the menu stays.
TEST_F(DemoDiscTest, UninstallWithoutAnInstalledCopyTellsAndRemovesNothing) {
    testutil::TempFolder work("demo-noinst");
    const std::string gone = work.File("Removed By Hand");
    {
        // Installed as far as the menu can tell, and listed among the installed programs.
        core::RegistryKey installed, entry;
        ASSERT_TRUE(installed.Create(kRegistryPath, HKEY_LOCAL_MACHINE));
        installed.SetDword("AppInstalled", 1);
        ASSERT_TRUE(entry.Create(kUninstallKey, HKEY_LOCAL_MACHINE));
        entry.SetString("UninstallString", (gone + "\\Setup.exe -uninst").c_str());
    }
    for (bool menuEntry : {true, false}) {
        SCOPED_TRACE(menuEntry ? "the disc's menu entry" : "-uninst on the disc");
        ::DeleteFileA(TempFile(".exe").c_str());
        ::DeleteFileA(TempFile(".ini").c_str());
        DemoMenu menu;
        std::unique_ptr<SetupRun> run;
        DWORD pid = 0;
        if (menuEntry) {
            ASSERT_TRUE(menu.Start(disc_));
            menu.Click(50, 218);  // Uninstall
            HWND warning = WaitForAnyDialog("Demo Quest", true);
            ASSERT_NE(warning, nullptr) << "no uninstall warning from the menu";
            automation::PressButton(warning, IDYES);
            pid = menu.Id();
        } else {
            run = std::make_unique<SetupRun>(disc_, "-uninst");
            ASSERT_TRUE(run->Started());
            pid = run->Id();
        }
        HWND box = automation::WaitForProcessDialog(pid, "Setup", 30000, true);
        ASSERT_NE(box, nullptr) << "no message";
        const std::string text = automation::MessageBoxText(box);
        for (const std::string& part : {std::string("Setup.uni"), gone, disc_, std::string("Nothing has been removed")})
            EXPECT_NE(text.find(part), std::string::npos) << part << " in: " << text;
        automation::PressButton(box, IDOK);
        if (menuEntry) {
            EXPECT_FALSE(menu.WaitEnd(500)) << "the menu closed";
        } else {
            EXPECT_TRUE(run->WaitEnd(20000));
        }
        EXPECT_FALSE(Exists(TempFile(".exe")));
        EXPECT_FALSE(Exists(TempFile(".ini")));
        EXPECT_TRUE(KeyExists(kRegistryPath));
        EXPECT_TRUE(KeyExists(kUninstallKey));
    }
    ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, kUninstallKey);
}

// An uninstall that meets trouble leaves the install removable. Setup.uni
// held by another program: the error names it with Retry and Cancel; Cancel
// removes nothing, Retry once it is free goes on. A file in use makes the
// uninstaller wait; cancelled there, the installed Setup.exe, its DirectX
// library, the entries and the log (now of what is left) stay, and a second
// "Setup.exe -uninst" removes the rest.
TEST_F(DemoDiscTest, TroubledUninstallLeavesTheInstallRemovable) {
    testutil::TempFolder work("demo-trouble");
    core::FilePath programs;
    programs.SetSpecialFolder(core::kFolderCommonPrograms);
    const std::string startMenu = "Demo Quest " + std::to_string(::GetCurrentProcessId()) + " trouble";
    const std::string links = programs.FullPath() + "\\" + startMenu;
    const std::string target = work.File("Demo Quest");
    ::DeleteFileA(TempFile(".exe").c_str());
    ::DeleteFileA(TempFile(".ini").c_str());
    const Snapshot before = Take(target, links);
    HWND menu = InstallThroughTheWizard(target, startMenu);
    ASSERT_NE(menu, nullptr);
    CloseMenuOf(menu);
    const Snapshot installed = Take(target, links);
    const std::string log = target + "\\Setup.uni", busy = target + "\\Data\\settings.ini";
    const std::vector<std::string> logged = LogLines(log);
    ASSERT_FALSE(logged.empty());

    HANDLE heldLog = ::CreateFileA(log.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(heldLog, INVALID_HANDLE_VALUE);
    {
        SetupRun run(target, "-uninst");
        HWND box = automation::WaitForProcessDialog(run.Id(), "Setup", 30000, true);
        ASSERT_NE(box, nullptr) << "no error for the held log";
        EXPECT_EQ(automation::MessageBoxText(box), "The file " + log + " could not be read.");
        EXPECT_NE(::GetDlgItem(box, IDRETRY), nullptr);
        automation::PressButton(box, IDCANCEL);
        EXPECT_TRUE(run.WaitEnd(20000));
        EXPECT_EQ(Take(target, links), installed);
        EXPECT_EQ(LogLines(log), std::vector<std::string>{}) << "still held";
    }

    HANDLE heldFile = ::CreateFileA(busy.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(heldFile, INVALID_HANDLE_VALUE);
    {
        SetupRun run(target, "-uninst");
        HWND box = automation::WaitForProcessDialog(run.Id(), "Setup", 30000, true);
        ASSERT_NE(box, nullptr) << "no error for the held log";
        ::CloseHandle(heldLog);
        automation::PressButton(box, IDRETRY);
        EXPECT_TRUE(run.WaitEnd(20000));
        HWND warning = WaitForAnyDialog("Setup", true);
        ASSERT_NE(warning, nullptr) << "no uninstall warning from the uninstaller";
        automation::PressButton(warning, IDYES);
        HWND wizard = WaitForWindowWith(0, IDC_WIZ_NEXT);
        ASSERT_NE(wizard, nullptr);
        DWORD pid = 0;
        ::GetWindowThreadProcessId(wizard, &pid);
        HANDLE uninstaller = ::OpenProcess(SYNCHRONIZE, FALSE, pid);
        // The Start-menu lines come before the files: once they are done
        // the uninstaller is at the files, waiting for the one in use.
        for (int i = 0; i < 600 && Exists(links); ++i) ::Sleep(50);
        EXPECT_FALSE(Exists(links));
        automation::PressButton(wizard, IDC_WIZ_CANCEL);
        HWND question = automation::WaitForProcessDialog(pid, "Setup", 30000, true);
        ASSERT_NE(question, nullptr) << "no question on Cancel";
        automation::PressButton(question, IDYES);
        EXPECT_EQ(::WaitForSingleObject(uninstaller, 20000), WAIT_OBJECT_0);
        ::CloseHandle(uninstaller);
    }
    ::CloseHandle(heldFile);
    for (const char* file : {"Setup.exe", "dsetup.dll", "Setup.uni", "Data\\settings.ini"})
        EXPECT_TRUE(Exists(target + "\\" + file)) << file;
    EXPECT_TRUE(KeyExists(kRegistryPath));
    EXPECT_TRUE(KeyExists(kUninstallKey));
    // The log keeps, in its order, the lines of every file and folder that
    // is still there and all registry lines.
    std::vector<std::string> expected;
    for (const std::string& line : logged)
        if (line.rfind("delete_registry_", 0) == 0 || Exists(line.substr(line.find('|') + 1)))
            expected.push_back(line);
    EXPECT_EQ(LogLines(log), expected);
    EXPECT_NE(std::find(expected.begin(), expected.end(), "delete_file|" + busy), expected.end());
    EXPECT_LT(expected.size(), logged.size());

    {
        SetupRun run(target, "-uninst");
        ASSERT_TRUE(ConfirmAndFinishUninstall("Setup"));
    }
    ExpectSame(Settled(before, target, links), before, target);
}
