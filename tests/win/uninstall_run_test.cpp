// The hand-over to the uninstaller (RunUninstall), in this process: where the
// installed copy's Setup.uni is found, what the script and the command line
// carry, and that whatever keeps the uninstall from starting is told and
// starts nothing. The uninstaller is the stub (EXE 154), which records its
// command line beside its script.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <map>
#include <string>

#include "../core/test_util.h"
#include "automation.h"
#include "core/data_group.h"
#include "core/file_systems.h"
#include "core/mount_table.h"
#include "core/registry.h"
#include "installer/operation_list.h"
#include "installer/uninstall_run.h"

using namespace installer;
namespace fs = std::filesystem;

namespace {

constexpr DWORD kWait = 10000;

std::string Expand(std::string_view text) {
    static const std::map<std::string, std::string, std::less<>> texts = {
        {"[INSTALL_GENERAL_ERROROPENFILE]", "Cannot read %s."},
        {"[INSTALL_GENERAL_ERRORCREATEFILE]", "Cannot write %s."},
        {"[GAME_TITLE]", "The Game"},
    };
    auto it = texts.find(text);
    return it == texts.end() ? std::string(text) : it->second;
}

// TMP and TEMP name folder while it lives, so GetTempPathA gives it.
class TempPathOverride {
public:
    explicit TempPathOverride(const std::string& folder) {
        for (const char* name : {"TMP", "TEMP"}) {
            char value[MAX_PATH * 2] = {};
            DWORD n = ::GetEnvironmentVariableA(name, value, sizeof value);
            saved_[name] = n && n < sizeof value ? std::string(value) : std::string();
            ::SetEnvironmentVariableA(name, folder.c_str());
        }
    }
    ~TempPathOverride() {
        for (const auto& [name, value] : saved_)
            ::SetEnvironmentVariableA(name.c_str(), value.empty() ? nullptr : value.c_str());
    }

private:
    std::map<std::string, std::string> saved_;
};

bool Exists(const std::string& path) { return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

class UninstallRunTest : public ::testing::Test {
protected:
    UninstallRunTest() : disc_("uninst-disc"), work_("uninst-work"), previous_(fs::current_path()) {}
    void SetUp() override {
        core::UnmountAll();
        core::RegisterInternalResource("$:$Uninstaller_Runtime$:$", "EXE", 154);
        fs::current_path(disc_.Path());
        id_ = "DiscUninstRunTest" + std::to_string(::GetCurrentProcessId());
        WipeKeys();
        temp_ = std::make_unique<TempPathOverride>(work_.File("temp"));
        fs::create_directories(work_.File("temp"));
        installed_ = work_.File("Installed Game");
        fs::create_directories(installed_);
        request_ = {&texts_, "[GAME_TITLE]", id_, true, nullptr, Expand};
        texts_.SetValue("INSTALL_UNINST_DONE_TITLE", core::DataValue("Done"));
    }
    void TearDown() override {
        WipeKeys();
        temp_.reset();
        core::UnmountAll();
        fs::current_path(previous_);
    }
    void WipeKeys() {
        for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
            ::RegDeleteKeyA(root, (std::string(kAutorun) + id_).c_str());
            ::RegDeleteKeyA(root, (std::string(kProgramsList) + id_).c_str());
        }
    }
    std::string TempBase() const { return work_.File("temp") + "\\{Trelvo_QmSetup}"; }

    // What the stub recorded of its command line, once it has run; the two
    // temporary files go afterwards.
    std::string StubRecord(const UninstallLaunch& launch) {
        const std::string record = launch.scriptPath + ".args";
        std::string text;
        for (int i = 0; i < 400 && text != launch.commandLine; ++i, ::Sleep(25)) text = testutil::ReadFile(record);
        ::DeleteFileA(record.c_str());
        ::DeleteFileA(launch.scriptPath.c_str());
        for (int i = 0; i < 100 && !::DeleteFileA(launch.programPath.c_str()); ++i) ::Sleep(50);
        return text;
    }

    static constexpr const char* kAutorun = "Software\\Trelvo\\Autorun\\";
    static constexpr const char* kProgramsList = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

    testutil::TempFolder disc_, work_;
    fs::path previous_;
    std::string id_, installed_;
    std::unique_ptr<TempPathOverride> temp_;
    core::DataGroup texts_;
    UninstallRequest request_;
};

}  // namespace

// The installed copy runs in its folder, where its log is: the script carries
// the log, the texts and that folder; both paths of the command line are quoted.
TEST_F(UninstallRunTest, UninstallHandsTheLogToTheUninstaller) {
    EXPECT_EQ(UninstallCommandLine("C:\\Temp\\{Trelvo_QmSetup}", true),
              "\"C:\\Temp\\{Trelvo_QmSetup}.exe\" \"C:\\Temp\\{Trelvo_QmSetup}.ini\" -quiet");
    EXPECT_EQ(UninstallCommandLine("C:\\My Temp\\{Trelvo_QmSetup}", false),
              "\"C:\\My Temp\\{Trelvo_QmSetup}.exe\" \"C:\\My Temp\\{Trelvo_QmSetup}.ini\"");

    ASSERT_TRUE(BuildUninstallLog({"delete_file|C:\\x", "delete_folder|C:\\y"}, false).Save("Setup.uni"));
    UninstallLaunch launch = RunUninstall(true, request_);
    ASSERT_TRUE(launch.started());
    EXPECT_EQ(launch.programPath, TempBase() + ".exe");
    EXPECT_EQ(launch.commandLine, "\"" + launch.programPath + "\" \"" + launch.scriptPath + "\" -quiet");

    core::DataGroup script;
    ASSERT_TRUE(script.Load(launch.scriptPath.c_str()));
    const core::DataValue::List* todo = script.FindValue("ToDo")->GetList();
    ASSERT_NE(todo, nullptr);
    ASSERT_EQ(todo->size(), 2u);
    EXPECT_STREQ((*todo)[1].Text(), "delete_folder|C:\\y");
    const core::DataGroup* lang = script.FindValue("Lang")->Group();
    ASSERT_NE(lang, nullptr);
    EXPECT_STREQ(lang->GetValue("INSTALL_UNINST_DONE_TITLE").Text(), "Done");
    EXPECT_STREQ(lang->GetValue("ApplicationName").Text(), "[GAME_TITLE]");
    EXPECT_EQ(lang->GetValue("TargetFolder").Text(), disc_.Str());
    EXPECT_TRUE(script.FindValue("RightAligned")->Bool());
    EXPECT_EQ(StubRecord(launch), launch.commandLine);
}

// Started anywhere else (the disc), the log is the installed copy's: the
// folder recorded for the application, or else the one of the program the
// system's list of installed programs starts to remove it.
TEST_F(UninstallRunTest, FindsTheInstalledCopysLogFromElsewhere) {
    const std::vector<std::string> lines = {"delete_file|" + installed_ + "\\Game.exe",
                                            "delete_file|" + installed_ + "\\Setup.uni"};
    ASSERT_TRUE(BuildUninstallLog(lines, false).Save((installed_ + "\\Setup.uni").c_str()));
    struct Case {
        const char* name;
        HKEY root;
        const char* key;
        const char* value;
        std::string data;
    };
    const Case cases[] = {
        {"the installed folder", HKEY_CURRENT_USER, kAutorun, "InstalledFolder", installed_},
        {"the installed folder for all users", HKEY_LOCAL_MACHINE, kAutorun, "InstalledFolder", installed_ + "\\"},
        {"the programs list's folder", HKEY_LOCAL_MACHINE, kProgramsList, "InstallLocation", installed_},
        {"the programs list's command, unquoted", HKEY_LOCAL_MACHINE, kProgramsList, "UninstallString",
         installed_ + "\\Setup.exe -uninst"},
        {"the programs list's command, quoted", HKEY_CURRENT_USER, kProgramsList, "UninstallString",
         "\"" + installed_ + "\\Setup.exe\" -uninst"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        {
            core::RegistryKey key;
            ASSERT_TRUE(key.Create((std::string(c.key) + id_).c_str(), c.root));
            ASSERT_TRUE(key.SetString(c.value, c.data.c_str()));
        }
        UninstallLaunch launch = RunUninstall(false, request_);
        ASSERT_TRUE(launch.started());
        EXPECT_EQ(launch.logPath, installed_ + "\\Setup.uni");
        core::DataGroup script;
        ASSERT_TRUE(script.Load(launch.scriptPath.c_str()));
        std::vector<std::string> todo;
        for (const core::DataValue& line : *script.FindValue("ToDo")->GetList()) todo.push_back(line.Text());
        EXPECT_EQ(todo, lines);
        EXPECT_EQ(script.FindValue("Lang")->Group()->GetValue("TargetFolder").Text(), installed_);
        EXPECT_EQ(StubRecord(launch), launch.commandLine);
        WipeKeys();
    }
}

// No log anywhere: a message names what is missing and where it was looked
// for, and nothing is written or started.
TEST_F(UninstallRunTest, NoLogIsToldAndStartsNothing) {
    std::string shown;
    {
        automation::DialogAnswerer answer("Setup", IDOK, [&](HWND box) { shown = automation::MessageBoxText(box); },
                                          true);
        UninstallLaunch launch = RunUninstall(true, request_);
        EXPECT_EQ(launch.outcome, UninstallOutcome::kNoLog);
    }
    EXPECT_NE(shown.find("Setup.uni"), std::string::npos) << shown;
    EXPECT_NE(shown.find("The Game"), std::string::npos) << shown;
    EXPECT_NE(shown.find(disc_.Str()), std::string::npos) << shown;
    EXPECT_NE(shown.find("Nothing has been removed"), std::string::npos) << shown;
    EXPECT_FALSE(Exists(TempBase() + ".exe"));
    EXPECT_FALSE(Exists(TempBase() + ".ini"));
}

// A log that is not a non-empty list of delete lines is refused with a
// message naming it: removing along half a list could leave a broken install.
TEST_F(UninstallRunTest, DamagedUninstallLogIsRefused) {
    core::BinaryBuffer good;
    BuildUninstallLog({"delete_file|C:\\x"}, false).WriteTo(good);
    const std::string goodBytes(reinterpret_cast<const char*>(good.Data()), good.Size());
    auto bytesOf = [](const core::DataGroup& tree) {
        core::BinaryBuffer bytes;
        tree.WriteTo(bytes);
        return std::string(reinterpret_cast<const char*>(bytes.Data()), bytes.Size());
    };
    core::DataGroup numbers, noList;
    numbers.SetValue("ToDo", core::DataValue(core::DataValue::List{core::DataValue(uint32_t(7))}));
    noList.SetValue("RightAligned", core::DataValue(false));
    struct Case {
        const char* name;
        std::string bytes;
    };
    const Case cases[] = {
        {"cut short", goodBytes.substr(0, goodBytes.size() - 5)},
        {"garbage", std::string(64, '\xEE')},
        {"empty file", ""},
        {"a ToDo of numbers", bytesOf(numbers)},
        {"no ToDo", bytesOf(noList)},
        {"an empty ToDo", bytesOf(BuildUninstallLog({}, false))},
    };
    const std::string log = disc_.File("Setup.uni");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testutil::WriteFile(log, c.bytes);
        std::string shown;
        {
            automation::DialogAnswerer answer(
                "Setup", IDOK, [&](HWND box) { shown = automation::MessageBoxText(box); }, true);
            EXPECT_EQ(RunUninstall(true, request_).outcome, UninstallOutcome::kLogDamaged);
        }
        EXPECT_NE(shown.find(log + " is damaged"), std::string::npos) << shown;
        EXPECT_FALSE(Exists(TempBase() + ".exe"));
        EXPECT_FALSE(Exists(TempBase() + ".ini"));
    }
}

// A log that is there but cannot be read (held without sharing) is an error
// with Retry and Cancel that names it: Cancel starts nothing, Retry reads it
// again.
TEST_F(UninstallRunTest, UnreadableLogAsksRetryOrCancel) {
    const std::string log = disc_.File("Setup.uni");
    ASSERT_TRUE(BuildUninstallLog({"delete_file|C:\\x"}, false).Save(log.c_str()));
    HANDLE held = ::CreateFileA(log.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    std::string shown;
    {
        automation::DialogAnswerer answer("Setup", IDCANCEL,
                                          [&](HWND box) { shown = automation::MessageBoxText(box); }, true);
        EXPECT_EQ(RunUninstall(true, request_).outcome, UninstallOutcome::kLogUnreadable);
    }
    EXPECT_EQ(shown, "Cannot read " + log + ".");
    EXPECT_FALSE(Exists(TempBase() + ".exe"));
    EXPECT_FALSE(Exists(TempBase() + ".ini"));

    UninstallLaunch launch;
    {
        // Retry once the file is free.
        automation::DialogAnswerer answer("Setup", IDRETRY, [&](HWND) { ::CloseHandle(held); }, true);
        launch = RunUninstall(true, request_);
    }
    ASSERT_TRUE(launch.started());
    EXPECT_EQ(StubRecord(launch), launch.commandLine);
}

// The uninstaller and its script must be written whole before anything
// starts: a write that fails asks Retry or Cancel with the path; Cancel
// leaves neither file and starts nothing, Retry writes again.
TEST_F(UninstallRunTest, UnwrittenUninstallerStartsNothing) {
    ASSERT_TRUE(BuildUninstallLog({"delete_file|C:\\x"}, false).Save("Setup.uni"));
    for (const char* extension : {".exe", ".ini"}) {
        SCOPED_TRACE(extension);
        // A folder in the way: the file cannot be created.
        const std::string blocked = TempBase() + extension;
        fs::create_directories(blocked);
        std::string shown;
        {
            automation::DialogAnswerer answer(
                "Setup", IDCANCEL, [&](HWND box) { shown = automation::MessageBoxText(box); }, true);
            EXPECT_EQ(RunUninstall(true, request_).outcome, UninstallOutcome::kNotWritten);
        }
        EXPECT_EQ(shown, "Cannot write " + blocked + ".");
        const std::string other = std::string(extension) == ".exe" ? ".ini" : ".exe";
        EXPECT_FALSE(Exists(TempBase() + other)) << other;

        UninstallLaunch launch;
        {
            automation::DialogAnswerer answer("Setup", IDRETRY, [&](HWND) { fs::remove(blocked); }, true);
            launch = RunUninstall(true, request_);
        }
        ASSERT_TRUE(launch.started());
        EXPECT_EQ(StubRecord(launch), launch.commandLine);
    }
}

// A temporary folder with spaces, as XP's under "Documents and Settings": the
// uninstaller starts, not a program named like the path's first word.
TEST_F(UninstallRunTest, TemporaryFolderWithSpaces) {
    ASSERT_TRUE(BuildUninstallLog({"delete_file|C:\\x"}, false).Save("Setup.uni"));
    const std::string spaced = work_.File("Local Settings\\Temp Folder");
    fs::create_directories(spaced);
    char self[MAX_PATH * 2] = {};
    ::GetModuleFileNameA(nullptr, self, sizeof self);
    fs::copy_file(fs::path(self).parent_path() / "action_helper.exe", work_.File("Local.exe"));
    TempPathOverride temp(spaced);
    UninstallLaunch launch = RunUninstall(true, request_);
    ASSERT_TRUE(launch.started());
    EXPECT_EQ(launch.programPath, spaced + "\\{Trelvo_QmSetup}.exe");
    EXPECT_EQ(StubRecord(launch), launch.commandLine);
}
