// The uninstaller program (Uninstall.exe beside win_tests.exe), driven from
// the outside as Setup.exe starts it: a script file of delete operations and
// language texts, with and without "-quiet".
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/data_group.h"
#include "core/mount_table.h"
#include "core/registry.h"
#include "installer/executor.h"
#include "resources/resource_ids.h"
#include "uninstaller/uninstall_work.h"
#include "../core/test_util.h"
#include "automation.h"

namespace fs = std::filesystem;

namespace {

constexpr char kAppName[] = "Demo Uninst";
constexpr char kWarning[] = "Really remove Demo Uninst?";
constexpr char kAbort[] = "Stop removing?";
constexpr char kCloseText[] = "Close it";
constexpr char kDoneTitle[] = "All removed";
constexpr DWORD kWait = 30000;

fs::path BinFolder() {
    char self[MAX_PATH * 2] = {};
    ::GetModuleFileNameA(nullptr, self, sizeof self);
    return fs::path(self).parent_path();
}

fs::path UninstallerProgram() { return BinFolder() / "Uninstall.exe"; }

// A real program to run, with "sleep MS" (tests/win/stubs/action_helper.cpp).
fs::path HelperProgram() { return BinFolder() / "action_helper.exe"; }

core::DataGroup Texts(const std::string& targetFolder) {
    core::DataGroup texts;
    const std::pair<const char*, std::string> values[] = {
        {"INSTALL_GENERAL_UNINSTALL_WARNING", "Really remove [ApplicationName]?"},
        {"INSTALL_GENERAL_ABORTUNINSTALL", kAbort},
        {"INSTALL_GENERAL_CLOSEBUTTON", kCloseText},
        {"INSTALL_UNINST_UNINSTALLING_TITLE", "Removing"},
        {"INSTALL_UNINST_DONE_TITLE", kDoneTitle},
        {"INSTALL_UNINST_DONE_MESSAGE", "Gone from [TargetFolder]."},
        {"ApplicationName", kAppName},
        {"ApplicationID", "DemoUninst"},
        {"TargetFolder", targetFolder},
    };
    for (const auto& [name, text] : values) texts.SetValue(name, core::DataValue(text));
    return texts;
}

// The script as Setup.exe writes it: ToDo, Lang and RightAligned.
void WriteScript(const std::string& path, const std::vector<std::string>& todo, const std::string& targetFolder,
                 bool rightAligned = false) {
    core::DataValue::List list;
    for (const std::string& line : todo) list.push_back(core::DataValue(line));
    core::DataGroup script;
    script.SetValue("ToDo", core::DataValue(list));
    script.SetValue("Lang", core::DataValue(Texts(targetFolder)));
    script.SetValue("RightAligned", core::DataValue(rightAligned));
    ASSERT_TRUE(script.Save(path.c_str()));
}

// A started program; one still running at the end of a test is ended.
class Program {
public:
    explicit Program(std::string commandLine) {
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        started_ = ::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                    &startup, &process_) != FALSE;
    }
    ~Program() {
        if (!started_) return;
        if (::WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) ::TerminateProcess(process_.hProcess, 99);
        ::CloseHandle(process_.hThread);
        ::CloseHandle(process_.hProcess);
    }
    bool Started() const { return started_; }
    DWORD Pid() const { return process_.dwProcessId; }
    void End() const {
        ::TerminateProcess(process_.hProcess, 99);
        ::WaitForSingleObject(process_.hProcess, kWait);
    }
    // The exit code, or STILL_ACTIVE when it has not ended in time.
    DWORD WaitForExit(DWORD timeoutMs = kWait) const {
        if (::WaitForSingleObject(process_.hProcess, timeoutMs) != WAIT_OBJECT_0) return STILL_ACTIVE;
        DWORD code = STILL_ACTIVE;
        ::GetExitCodeProcess(process_.hProcess, &code);
        return code;
    }

private:
    PROCESS_INFORMATION process_ = {};
    bool started_ = false;
};

Program StartUninstaller(const fs::path& program, const std::string& script, bool quiet) {
    return Program("\"" + program.string() + "\" \"" + script + "\"" + (quiet ? " -quiet" : ""));
}

// Waits for the done page of the uninstaller's wizard and closes it there.
bool CloseDonePage(DWORD pid, HWND* frameOut = nullptr) {
    HWND frame = automation::WaitForProcessDialog(pid, kAppName, kWait);
    if (!frame) return false;
    if (frameOut) *frameOut = frame;
    HWND next = ::GetDlgItem(frame, IDC_WIZ_NEXT);
    for (DWORD waited = 0; waited < kWait; waited += 20) {
        if (automation::WindowText(next) == kCloseText && ::IsWindowEnabled(next)) {
            automation::PressButton(frame, IDC_WIZ_NEXT);
            return true;
        }
        ::Sleep(20);
    }
    return false;
}

// Everything below a folder, as relative paths (folders end with "\").
std::set<std::string> FolderSnapshot(const fs::path& root) {
    std::set<std::string> out;
    std::error_code ec;
    if (!fs::exists(root, ec)) return out;
    out.insert("\\");
    for (const auto& entry : fs::recursive_directory_iterator(root, ec))
        out.insert(fs::relative(entry.path(), root).string() + (entry.is_directory() ? "\\" : ""));
    return out;
}

// A key with its subkeys and value names; empty when it does not exist.
void KeySnapshot(HKEY root, const std::string& path, std::set<std::string>* out) {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    out->insert(path + "\\");
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD size = sizeof name;
        if (::RegEnumValueA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        out->insert(path + "|" + name);
    }
    std::vector<std::string> subkeys;
    for (DWORD i = 0;; ++i) {
        DWORD size = sizeof name;
        if (::RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        subkeys.push_back(name);
    }
    ::RegCloseKey(key);
    for (const std::string& sub : subkeys) KeySnapshot(root, path + "\\" + sub, out);
}

void DeleteKeyTree(HKEY root, const std::string& path) {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
        std::vector<std::string> subkeys;
        char name[256];
        for (DWORD i = 0;; ++i) {
            DWORD size = sizeof name;
            if (::RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
            subkeys.push_back(name);
        }
        ::RegCloseKey(key);
        for (const std::string& sub : subkeys) DeleteKeyTree(root, path + "\\" + sub);
    }
    ::RegDeleteKeyA(root, path.c_str());
}

bool Exists(const std::string& path) { return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The Programs folder of the Start menu that the executor uses.
std::string ProgramsFolder() {
    char path[MAX_PATH] = {};
    ::SHGetSpecialFolderPathA(nullptr, path, CSIDL_COMMON_PROGRAMS, TRUE);
    return path;
}

// The install side: placeholders filled, nothing asked.
class InstallSide : public installer::InstallContext {
public:
    InstallSide(std::string target, std::string startMenu) : target_(std::move(target)), menu_(std::move(startMenu)) {}
    HWND Owner() override { return nullptr; }
    std::string Expand(std::string_view text) override {
        std::string out(text);
        for (const auto& [token, value] : {std::pair<std::string, std::string>{"[TargetFolder]", target_},
                                           {"[StartMenu]", menu_}})
            for (size_t at; (at = out.find(token)) != std::string::npos;) out.replace(at, token.size(), value);
        return out;
    }
    void KeepAlive() override {}

private:
    std::string target_, menu_;
};

class UninstallerTest : public ::testing::Test {
protected:
    UninstallerTest() : disc_("unidisc"), work_("uniwork"), previous_(fs::current_path()) {}
    void SetUp() override {
        ASSERT_TRUE(fs::exists(UninstallerProgram())) << UninstallerProgram();
        core::UnmountAll();
        fs::current_path(disc_.Path());
        testutil::WriteFile(disc_.File("Setup.exe"), "the installed program");
        testutil::WriteFile(disc_.File("Game.dat"), std::string(5000, 'g'));
        key_ = "Software\\DiscSetupUninstTest" + std::to_string(::GetCurrentProcessId());
        startMenu_ = "DiscSetup Uninst " + std::to_string(::GetCurrentProcessId());
        DeleteKeyTree(HKEY_CURRENT_USER, key_);
        ::CoInitialize(nullptr);
    }
    void TearDown() override {
        DeleteKeyTree(HKEY_CURRENT_USER, key_);
        std::error_code ec;
        fs::remove_all(fs::path(ProgramsFolder()) / startMenu_, ec);
        core::UnmountAll();
        fs::current_path(previous_);
        ::CoUninitialize();
    }

    // Installs with the real executor (as the wizard does) and returns the
    // uninstall log's ToDo: folders, a copied file, registry key and values,
    // a Start-menu folder with a shortcut, Setup.exe and Setup.uni.
    std::vector<std::string> Install(const std::string& target) {
        InstallSide side(target, startMenu_);
        installer::OperationList lines = {
            "create_folder|[TargetFolder]",
            "create_folder|[TargetFolder]\\data",
            "copy_file|Game.dat|[TargetFolder]\\data\\Game.dat",
            "create_registry_key|HKEY_CURRENT_USER|" + key_ + "\\App",
            "create_registry_string|HKEY_CURRENT_USER|" + key_ + "\\App|Path|[TargetFolder]",
            "create_registry_dword|HKEY_CURRENT_USER|" + key_ + "\\App|Installed|1",
            "create_startmenu_folder|[StartMenu]",
            "create_shortcut|[StartMenu]\\Demo|[TargetFolder]\\data\\Game.dat||[TargetFolder]|[TargetFolder]\\Setup.exe|0",
        };
        installer::OperationList undo;
        EXPECT_TRUE(installer::RunInstall(side, lines, &undo, nullptr, false));
        core::DataGroup log;
        EXPECT_TRUE(log.Load((target + "\\Setup.uni").c_str()));
        std::vector<std::string> todo;
        if (const core::DataValue* v = log.FindValue("ToDo"))
            if (const core::DataValue::List* list = v->GetList())
                for (const core::DataValue& line : *list) todo.push_back(line.Text());
        return todo;
    }

    std::set<std::string> Snapshot() {
        std::set<std::string> out;
        for (const std::string& f : FolderSnapshot(work_.Path())) out.insert("work:" + f);
        for (const std::string& f : FolderSnapshot(fs::path(ProgramsFolder()) / startMenu_)) out.insert("menu:" + f);
        KeySnapshot(HKEY_CURRENT_USER, key_, &out);
        return out;
    }

    testutil::TempFolder disc_, work_;
    fs::path previous_;
    std::string key_, startMenu_;
};

// Install, then uninstall quietly: what existed before is exactly what is
// left, whether the target folder existed before or not.
TEST_F(UninstallerTest, QuietUninstallRemovesWhatTheInstallMade) {
    struct Case {
        bool targetExisted;
        bool rightAligned;
    };
    for (const Case& c : {Case{false, false}, Case{true, true}}) {
        SCOPED_TRACE(c.targetExisted);
        const std::string target = work_.File("Target App");
        testutil::WriteFile(work_.File("sibling.txt"), "keep");
        if (c.targetExisted) {
            fs::create_directories(target);
            testutil::WriteFile(target + "\\mine.txt", "the user's");
        }
        {
            core::RegistryKey parent;
            ASSERT_TRUE(parent.Create(key_.c_str(), HKEY_CURRENT_USER));
            ASSERT_TRUE(parent.SetString("Keep", "before"));
        }
        const std::set<std::string> before = Snapshot();

        std::vector<std::string> todo = Install(target);
        ASSERT_GE(todo.size(), 8u);
        EXPECT_NE(Snapshot(), before);
        const std::string script = disc_.File("uninstall script.ini");
        WriteScript(script, todo, target, c.rightAligned);

        Program uninstaller = StartUninstaller(UninstallerProgram(), script, true);
        ASSERT_TRUE(uninstaller.Started());
        HWND frame = nullptr;
        ASSERT_TRUE(CloseDonePage(uninstaller.Pid(), &frame));
        // With -quiet the warning is not asked again.
        EXPECT_EQ(automation::FindProcessDialog(uninstaller.Pid(), "Setup", true), nullptr);
        EXPECT_EQ(uninstaller.WaitForExit(), 0u);

        EXPECT_EQ(Snapshot(), before);
        EXPECT_EQ(fs::exists(target), c.targetExisted);
        // A program that is not the temporary copy leaves itself and its script.
        EXPECT_TRUE(Exists(script));
        EXPECT_TRUE(fs::exists(UninstallerProgram()));

        std::error_code ec;
        fs::remove_all(target, ec);
        fs::remove(work_.File("sibling.txt"), ec);
        DeleteKeyTree(HKEY_CURRENT_USER, key_);
    }
}

// The pages show the script's texts, mirrored when RightAligned is on.
TEST_F(UninstallerTest, PagesShowTheScriptsTexts) {
    for (bool rightAligned : {false, true}) {
        SCOPED_TRACE(rightAligned);
        const std::string script = disc_.File("texts.ini");
        WriteScript(script, {"delete_file|" + work_.File("gone.txt")}, work_.Str(), rightAligned);
        Program uninstaller = StartUninstaller(UninstallerProgram(), script, true);
        HWND frame = automation::WaitForProcessDialog(uninstaller.Pid(), kAppName, kWait);
        ASSERT_NE(frame, nullptr);
        HWND next = ::GetDlgItem(frame, IDC_WIZ_NEXT);
        for (DWORD waited = 0; waited < kWait && automation::WindowText(next) != kCloseText; waited += 20) ::Sleep(20);
        HWND title = ::GetDlgItem(frame, IDC_WIZ_TITLE);
        EXPECT_EQ(automation::WindowText(title), kDoneTitle);
        EXPECT_EQ((::GetWindowLongPtrA(title, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0, rightAligned);
        automation::PressButton(frame, IDC_WIZ_NEXT);
        EXPECT_EQ(uninstaller.WaitForExit(), 0u);
    }
}

// Without -quiet the warning comes first, No the default; No removes nothing.
TEST_F(UninstallerTest, WarningComesFirstWithoutQuiet) {
    struct Case {
        int answer;
        DWORD exitCode;
        bool removed;
    };
    for (const Case& c : {Case{IDNO, 1, false}, Case{IDYES, 0, true}}) {
        SCOPED_TRACE(c.answer);
        const std::string file = work_.File("installed.txt");
        testutil::WriteFile(file, "x");
        const std::string script = disc_.File("warn.ini");
        WriteScript(script, {"delete_file|" + file}, work_.Str());
        Program uninstaller = StartUninstaller(UninstallerProgram(), script, false);
        HWND box = automation::WaitForProcessDialog(uninstaller.Pid(), "Setup", kWait, true);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(automation::MessageBoxText(box), kWarning);
        EXPECT_TRUE(::GetWindowLongPtrA(::GetDlgItem(box, IDNO), GWL_STYLE) & BS_DEFPUSHBUTTON);
        EXPECT_EQ(automation::FindProcessDialog(uninstaller.Pid(), kAppName), nullptr);
        automation::PressButton(box, c.answer);
        if (c.removed) {
            ASSERT_TRUE(CloseDonePage(uninstaller.Pid()));
        }
        EXPECT_EQ(uninstaller.WaitForExit(), c.exitCode);
        EXPECT_EQ(Exists(file), !c.removed);
    }
}

// A file still in use is waited for; Cancel during the wait asks, No goes
// on, Yes stops before anything further is removed.
TEST_F(UninstallerTest, WaitsForAFileInUseAndCancelAsks) {
    for (bool cancel : {false, true}) {
        SCOPED_TRACE(cancel);
        const std::string first = work_.File("first.txt"), busy = work_.File("busy.dat"),
                          later = work_.File("later.txt");
        for (const std::string& file : {first, busy, later}) testutil::WriteFile(file, "x");
        HANDLE held = ::CreateFileA(busy.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        const std::string script = disc_.File("busy.ini");
        WriteScript(script, {"delete_file|" + first, "delete_file|" + busy, "delete_file|" + later}, work_.Str());
        Program uninstaller = StartUninstaller(UninstallerProgram(), script, true);
        HWND frame = automation::WaitForProcessDialog(uninstaller.Pid(), kAppName, kWait);
        ASSERT_NE(frame, nullptr);
        // The work has reached the file in use once the line before it is done.
        for (DWORD waited = 0; waited < kWait && Exists(first); waited += 20) ::Sleep(20);
        ASSERT_FALSE(Exists(first));

        automation::PressButton(frame, IDC_WIZ_CANCEL);
        HWND box = automation::WaitForProcessDialog(uninstaller.Pid(), "Setup", kWait, true);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(automation::MessageBoxText(box), kAbort);
        automation::PressButton(box, IDNO);
        while (::IsWindow(box)) ::Sleep(10);
        EXPECT_EQ(uninstaller.WaitForExit(0), STILL_ACTIVE);
        EXPECT_TRUE(Exists(later));

        if (cancel) {
            automation::PressButton(frame, IDC_WIZ_CANCEL);
            box = automation::WaitForProcessDialog(uninstaller.Pid(), "Setup", kWait, true);
            ASSERT_NE(box, nullptr);
            automation::PressButton(box, IDYES);
            EXPECT_EQ(uninstaller.WaitForExit(), 1u);
            ::CloseHandle(held);
            EXPECT_TRUE(Exists(busy));
            EXPECT_TRUE(Exists(later));
        } else {
            ::CloseHandle(held);
            ASSERT_TRUE(CloseDonePage(uninstaller.Pid()));
            EXPECT_EQ(uninstaller.WaitForExit(), 0u);
            EXPECT_FALSE(Exists(busy));
            EXPECT_FALSE(Exists(later));
        }
        for (const std::string& file : {first, busy, later}) ::DeleteFileA(file.c_str());
    }
}

// A script that cannot be used: an English message, and nothing removed.
TEST_F(UninstallerTest, BadScriptShowsAMessageAndRemovesNothing) {
    const std::string file = work_.File("installed.txt");
    testutil::WriteFile(file, "x");
    const std::string path = disc_.File("bad.ini");
    auto treeWith = [&](const core::DataValue& todo) {
        core::DataGroup tree;
        tree.SetValue("ToDo", todo);
        core::BinaryBuffer bytes;
        tree.WriteTo(bytes);
        return std::string(reinterpret_cast<const char*>(bytes.Data()), bytes.Size());
    };
    core::DataValue::List mixed = {core::DataValue(std::string("delete_file|" + file)), core::DataValue(true)};
    const std::string valid = treeWith(core::DataValue(core::DataValue::List{
        core::DataValue(std::string("delete_file|" + file))}));
    struct Case {
        const char* name;
        bool write;
        std::string content;
        const char* expected;
    };
    const Case cases[] = {
        {"missing", false, "", "could not be found"},
        {"empty", true, "", "is damaged"},
        {"garbage", true, "this is not a tree", "is damaged"},
        {"truncated", true, valid.substr(0, valid.size() - 4), "is damaged"},
        {"no ToDo list", true, treeWith(core::DataValue(std::string("delete_file|" + file))), "is damaged"},
        {"a ToDo entry not a text", true, treeWith(core::DataValue(mixed)), "is damaged"},
        {"an empty ToDo", true, treeWith(core::DataValue(core::DataValue::List{})), "lists nothing to remove"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ::DeleteFileA(path.c_str());
        if (c.write) testutil::WriteFile(path, c.content);
        Program uninstaller = StartUninstaller(UninstallerProgram(), path, true);
        HWND box = automation::WaitForProcessDialog(uninstaller.Pid(), "Uninstall", kWait, true);
        ASSERT_NE(box, nullptr);
        std::string text = automation::MessageBoxText(box);
        EXPECT_NE(text.find(c.expected), std::string::npos) << text;
        EXPECT_NE(text.find("Nothing has been removed"), std::string::npos) << text;
        automation::PressButton(box, IDOK);
        EXPECT_EQ(uninstaller.WaitForExit(), 2u);
        EXPECT_TRUE(Exists(file));
    }
    // No script named at all.
    Program bare("\"" + UninstallerProgram().string() + "\"");
    HWND box = automation::WaitForProcessDialog(bare.Pid(), "Uninstall", kWait, true);
    ASSERT_NE(box, nullptr);
    automation::PressButton(box, IDOK);
    EXPECT_EQ(bare.WaitForExit(), 2u);
}

bool HasChildProcess(DWORD parent) {
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return false;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL more = ::Process32First(snapshot, &entry); more && !found; more = ::Process32Next(snapshot, &entry))
        found = entry.th32ParentProcessID == parent;
    ::CloseHandle(snapshot);
    return found;
}

// The copy Setup.exe wrote to the temporary folder removes itself and its
// script after it has ended, and leaves no process behind. Its own path
// holds a space: quoted, as Setup.exe writes it, and unquoted.
TEST_F(UninstallerTest, TemporaryCopyRemovesItselfAndItsScript) {
    const fs::path temp = work_.Path() / "temp folder";
    const std::string base = (temp / "{Trelvo_QmSetup}").string();
    for (const std::string& program : {"\"" + base + ".exe\"", base + ".exe"}) {
        SCOPED_TRACE(program);
        fs::create_directories(temp);
        fs::copy_file(UninstallerProgram(), base + ".exe");
        const std::string file = work_.File("installed.txt");
        testutil::WriteFile(file, "x");
        WriteScript(base + ".ini", {"delete_file|" + file}, work_.Str());

        Program uninstaller(program + " \"" + base + ".ini\" -quiet");
        ASSERT_TRUE(uninstaller.Started());
        ASSERT_TRUE(CloseDonePage(uninstaller.Pid()));
        EXPECT_EQ(uninstaller.WaitForExit(), 0u);
        EXPECT_FALSE(Exists(file));

        for (DWORD waited = 0; waited < kWait && (Exists(base + ".exe") || HasChildProcess(uninstaller.Pid()));
             waited += 50)
            ::Sleep(50);
        EXPECT_FALSE(Exists(base + ".exe"));
        EXPECT_FALSE(Exists(base + ".ini"));
        EXPECT_FALSE(HasChildProcess(uninstaller.Pid()));
        EXPECT_TRUE(fs::is_empty(temp));
        std::error_code ec;
        fs::remove_all(temp, ec);
    }
}

// Cancelled while it waits for a file in use, the uninstall leaves what is
// left removable: the installed Setup.exe, the registry and Setup.uni stay,
// the log (in its own format) lists just what is still there, and a second
// run with it removes the rest.
TEST_F(UninstallerTest, CancelLeavesTheRestRemovable) {
    const std::string target = work_.File("Target App");
    {
        // The key above the application's, which the install does not record.
        core::RegistryKey parent;
        ASSERT_TRUE(parent.Create(key_.c_str(), HKEY_CURRENT_USER));
        ASSERT_TRUE(parent.SetString("Keep", "before"));
    }
    const std::set<std::string> before = Snapshot();
    const std::vector<std::string> todo = Install(target);
    ASSERT_GE(todo.size(), 8u);
    const std::string links = (fs::path(ProgramsFolder()) / startMenu_).string();
    std::vector<std::string> expected;
    for (const std::string& line : todo)
        if (line.find(links) == std::string::npos) expected.push_back(line);
    const std::string held = target + "\\data\\Game.dat";
    HANDLE handle = ::CreateFileA(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);

    const std::string script = disc_.File("cancel.ini");
    WriteScript(script, todo, target);
    {
        Program uninstaller = StartUninstaller(UninstallerProgram(), script, true);
        HWND frame = automation::WaitForProcessDialog(uninstaller.Pid(), kAppName, kWait);
        ASSERT_NE(frame, nullptr);
        // The Start-menu lines come just before the file in use: once they
        // are done the work waits for it.
        for (DWORD waited = 0; waited < kWait && fs::exists(links); waited += 20) ::Sleep(20);
        ASSERT_FALSE(fs::exists(links));
        automation::PressButton(frame, IDC_WIZ_CANCEL);
        HWND box = automation::WaitForProcessDialog(uninstaller.Pid(), "Setup", kWait, true);
        ASSERT_NE(box, nullptr);
        automation::PressButton(box, IDYES);
        EXPECT_EQ(uninstaller.WaitForExit(), 1u);
    }
    ::CloseHandle(handle);
    EXPECT_TRUE(Exists(target + "\\Setup.exe"));
    EXPECT_TRUE(Exists(held));
    std::set<std::string> keys;
    KeySnapshot(HKEY_CURRENT_USER, key_ + "\\App", &keys);
    EXPECT_EQ(keys, (std::set<std::string>{key_ + "\\App\\", key_ + "\\App|Installed", key_ + "\\App|Path"}));
    core::DataGroup log;
    ASSERT_TRUE(log.Load((target + "\\Setup.uni").c_str()));
    std::vector<std::string> left;
    for (const core::DataValue& line : *log.FindValue("ToDo")->GetList()) left.push_back(line.Text());
    EXPECT_EQ(left, expected);
    ASSERT_NE(log.FindValue("RightAligned"), nullptr);

    WriteScript(script, left, target);
    Program again = StartUninstaller(UninstallerProgram(), script, true);
    ASSERT_TRUE(CloseDonePage(again.Pid()));
    EXPECT_EQ(again.WaitForExit(), 0u);
    EXPECT_EQ(Snapshot(), before);
}

// A program being run cannot be deleted (access denied) but is in use: it is
// waited for until it ends. A read-only file, which no waiting frees, is
// passed at once and stays.
TEST_F(UninstallerTest, WaitsForARunningProgramNotForAReadOnlyFile) {
    const std::string readOnly = work_.File("readonly.txt"), game = work_.File("game.exe"),
                      later = work_.File("later.txt");
    testutil::WriteFile(readOnly, "x");
    testutil::WriteFile(later, "x");
    ASSERT_TRUE(::SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
    fs::copy_file(HelperProgram(), game);
    Program running("\"" + game + "\" sleep 600000");
    ASSERT_TRUE(running.Started());
    const std::string script = disc_.File("running.ini");
    WriteScript(script, {"delete_file|" + readOnly, "delete_file|" + game, "delete_file|" + later}, work_.Str());

    Program uninstaller = StartUninstaller(UninstallerProgram(), script, true);
    HWND frame = automation::WaitForProcessDialog(uninstaller.Pid(), kAppName, kWait);
    ASSERT_NE(frame, nullptr);
    HWND bar = nullptr;
    for (DWORD waited = 0; waited < kWait && !bar; waited += 20, ::Sleep(20))
        bar = automation::Descendant(frame, IDC_PAGE_PROGRESS);
    ASSERT_NE(bar, nullptr);
    // Past the read-only file, the work is at the running program.
    for (DWORD waited = 0; waited < kWait && ::SendMessageA(bar, PBM_GETPOS, 0, 0) < 1; waited += 20) ::Sleep(20);
    EXPECT_GE(::SendMessageA(bar, PBM_GETPOS, 0, 0), 1);
    running.End();
    ASSERT_TRUE(CloseDonePage(uninstaller.Pid()));
    EXPECT_EQ(uninstaller.WaitForExit(), 0u);
    EXPECT_FALSE(Exists(game));
    EXPECT_FALSE(Exists(later));
    EXPECT_TRUE(Exists(readOnly));
    ::SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Which failed deletions are worth waiting for. Windows answers
// ERROR_ACCESS_DENIED both for a program being run and for a file the user
// may not delete; only the first goes away by waiting.
TEST(UninstallerInUse, OnlyHeldFilesAndRunningProgramsAreWaitedFor) {
    testutil::TempFolder folder("in-use");
    const std::string plain = folder.File("plain.txt"), readOnly = folder.File("readonly.txt"),
                      held = folder.File("held.txt"), game = folder.File("game.exe"), sub = folder.File("sub");
    for (const std::string& file : {plain, readOnly, held}) testutil::WriteFile(file, "x");
    ::SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY);
    fs::create_directories(sub);
    fs::copy_file(HelperProgram(), game);
    Program running("\"" + game + "\" sleep 600000");
    ASSERT_TRUE(running.Started());
    HANDLE handle = ::CreateFileA(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    struct Case {
        const char* name;
        std::string path;
        DWORD error;  // 0: what deleting it reports here
        bool inUse;
    };
    const Case cases[] = {
        {"a file the user may not delete", plain, ERROR_ACCESS_DENIED, false},
        {"a read-only file", readOnly, 0, false},
        {"a folder", sub, 0, false},
        {"a missing file", folder.File("missing.txt"), 0, false},
        {"a file held without delete sharing", held, 0, true},
        {"a program being run", game, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DWORD error = c.error;
        if (!error) {
            ASSERT_FALSE(::DeleteFileA(c.path.c_str()));
            error = ::GetLastError();
        }
        EXPECT_EQ(uninstaller::IsInUse(c.path, error), c.inUse) << "error " << error;
    }
    ::CloseHandle(handle);
    running.End();
    ::SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Setup.exe carries the built uninstaller, byte for byte, as EXE 153.
TEST(UninstallerEmbedding, SetupCarriesTheUninstaller) {
    const fs::path setup = BinFolder() / "Setup.exe";
    HMODULE module = ::LoadLibraryExA(setup.string().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    HRSRC found = ::FindResourceA(module, MAKEINTRESOURCEA(153), "EXE");
    ASSERT_NE(found, nullptr);
    const char* data = static_cast<const char*>(::LockResource(::LoadResource(module, found)));
    std::string carried(data, ::SizeofResource(module, found));
    ::FreeLibrary(module);
    EXPECT_EQ(carried, testutil::ReadFile(UninstallerProgram().string()));
}

}  // namespace
