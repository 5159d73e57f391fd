#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <thread>

#include "../core/test_util.h"
#include "core/data_group.h"
#include "core/file_path.h"
#include "core/file_systems.h"
#include "core/mount_table.h"
#include "core/package_writer.h"
#include "core/registry.h"
#include "installer/executor.h"

using namespace installer;
namespace fs = std::filesystem;

namespace {

// The wizard's side of a run: placeholders, error texts and a message pump.
class TestContext : public InstallContext {
public:
    explicit TestContext(std::string target) : target_(std::move(target)) {}
    HWND Owner() override { return nullptr; }
    std::string Expand(std::string_view text) override {
        static const std::map<std::string, std::string, std::less<>> texts = {
            {"[INSTALL_GENERAL_ERRORCREATEFOLDER]", "Cannot create the folder %s."},
            {"[INSTALL_GENERAL_ERROROPENFILE]", "Cannot open %s (100% sure)."},
            {"[INSTALL_GENERAL_ERRORCREATEFILE]", "Cannot create %s."},
            {"[INSTALL_GENERAL_ERRORCREATEREGISTRY]", "Cannot write %s."},
        };
        if (auto it = texts.find(text); it != texts.end()) return it->second;
        std::string out(text);
        for (auto [token, value] : {std::pair<std::string, std::string>{"[TargetFolder]", target_},
                                    {"[StartMenu]", startMenu}}) {
            for (size_t at; (at = out.find(token)) != std::string::npos;) out.replace(at, token.size(), value);
        }
        return out;
    }
    void KeepAlive() override {
        ++alive;
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    std::string startMenu = "DiscTest Menu";
    int alive = 0;

private:
    std::string target_;
};

class RecordingProgress : public ProgressSink {
public:
    void SetRange(uint64_t lower, uint64_t upper) override { ranges.push_back({lower, upper}); }
    void SetPosition(uint64_t position) override { positions.push_back(position); }
    std::vector<std::pair<uint64_t, uint64_t>> ranges;
    std::vector<uint64_t> positions;
};

// Answers the "Setup" message boxes that a run shows, from another thread, as
// a user would: each answer is a button id and an action to take first.
class Answerer {
public:
    struct Answer {
        int button;
        std::function<void()> before;
    };
    explicit Answerer(std::vector<Answer> answers) : answers_(std::move(answers)), thread_([this] { Loop(); }) {}
    ~Answerer() {
        stop_ = true;
        thread_.join();
    }
    std::vector<std::string> texts;

private:
    void Loop() {
        size_t next = 0;
        while (!stop_) {
            HWND box = FindWindowA("#32770", "Setup");
            if (!box || next >= answers_.size()) {
                Sleep(20);
                continue;
            }
            char text[1024] = {};
            GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
            texts.push_back(text);
            if (answers_[next].before) answers_[next].before();
            PostMessageA(box, WM_COMMAND, MAKEWPARAM(answers_[next].button, BN_CLICKED), 0);
            ++next;
            while (!stop_ && IsWindow(box)) Sleep(10);
        }
    }
    std::vector<Answer> answers_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// A disc folder as the current folder, a target folder, and a scratch key.
class InstallerTest : public ::testing::Test {
protected:
    InstallerTest() : disc_("disc"), work_("target"), previous_(fs::current_path()) {}
    void SetUp() override {
        core::UnmountAll();
        fs::current_path(disc_.Path());
        testutil::WriteFile(disc_.File("Setup.exe"), "the running program");
        testutil::WriteFile(disc_.File("Game.exe"), std::string(3000, 'g'));
        target_ = work_.File("X");
        key_ = "Software\\DiscTest" + std::to_string(GetCurrentProcessId());
        WipeKey();
        CoInitialize(nullptr);
    }
    void TearDown() override {
        WipeKey();
        core::UnmountAll();
        fs::current_path(previous_);
        CoUninitialize();
    }
    void WipeKey() {
        for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
            RegDeleteKeyA(root, (key_ + "\\Inner").c_str());
            RegDeleteKeyA(root, key_.c_str());
        }
    }
    bool KeyExists(HKEY root, const std::string& key) {
        core::RegistryKey k;
        return k.Open(key.c_str(), true, root);
    }

    testutil::TempFolder disc_, work_;
    fs::path previous_;
    std::string target_, key_;
};

}  // namespace

TEST_F(InstallerTest, InstallWritesTheUninstallLog) {
    TestContext context(target_);
    OperationList lines = {
        "create_folder|[TargetFolder]",
        "copy_file|Game.exe|[TargetFolder]\\Game.exe",
        "create_registry_key|HKEY_LOCAL_MACHINE|" + key_,
        "create_registry_dword|HKEY_LOCAL_MACHINE|" + key_ + "|Installed|1",
    };
    OperationList undo;
    RecordingProgress progress;
    ASSERT_TRUE(RunInstall(context, lines, &undo, &progress, true));
    EXPECT_EQ(testutil::ReadFile(target_ + "\\Setup.exe"), "the running program");
    EXPECT_EQ(fs::file_size(target_ + "\\Game.exe"), 3000u);
    core::RegistryKey key;
    ASSERT_TRUE(key.Open(key_.c_str(), true, HKEY_LOCAL_MACHINE));
    EXPECT_EQ(key.GetDword("Installed"), 1u);
    key.Close();

    const OperationList expected = {
        "delete_file|" + target_ + "\\Setup.exe",
        "delete_registry_dword|HKEY_LOCAL_MACHINE|" + key_ + "|Installed",
        "delete_registry_key|HKEY_LOCAL_MACHINE|" + key_,
        "delete_file|" + target_ + "\\Game.exe",
        "delete_folder|" + target_,
        "delete_file|" + target_ + "\\Setup.uni",
    };
    EXPECT_EQ(undo, expected);
    // The stored log, byte for byte.
    core::BinaryBuffer bytes;
    bytes.AppendBytes("g_\0\0\0\0\0\2\0\0\0v_RightAligned\0\x09\x01v_ToDo\0\x10", 36);
    bytes.AppendU32(uint32_t(expected.size()));
    for (const std::string& record : expected) {
        bytes.AppendU8(1);
        bytes.AppendU32(uint32_t(record.size()));
        bytes.AppendBytes(record.data(), uint32_t(record.size()));
    }
    std::string stored = testutil::ReadFile(target_ + "\\Setup.uni");
    EXPECT_EQ(stored, std::string(reinterpret_cast<const char*>(bytes.Data()), bytes.Size()));

    // Progress: three steps of 2048, the two copies by their sizes.
    ASSERT_EQ(progress.ranges.size(), 2u);
    EXPECT_EQ(progress.ranges[1].second, 3u * 2048 + 3000 + 19);
    EXPECT_EQ(progress.positions.back(), progress.ranges[1].second);
    EXPECT_GT(context.alive, 5);

    // Running the log removes everything; the target folder itself goes only
    // when it is empty, and the log deletes itself last, so the folder stays
    // behind empty for the uninstaller to remove.
    OperationList none;
    ASSERT_TRUE(ExecuteOperations(context, undo, &none, nullptr));
    EXPECT_TRUE(none.empty());
    EXPECT_TRUE(fs::is_empty(target_));
    EXPECT_TRUE(fs::exists(work_.Path()));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, key_));
}

TEST_F(InstallerTest, CancelAtTheThirdLineRollsBack) {
    TestContext context(target_);
    OperationList lines = {
        "create_folder|[TargetFolder]",
        "create_registry_key|hkey_current_user|" + key_,  // any letter case names the root
        "copy_file|Missing.bin|[TargetFolder]\\Missing.bin",
        "create_folder|[TargetFolder]\\Never",
    };
    OperationList undo;
    Answerer answers({{IDCANCEL, nullptr}});
    EXPECT_FALSE(RunInstall(context, lines, &undo, nullptr, false));
    ASSERT_EQ(answers.texts.size(), 1u);
    EXPECT_EQ(answers.texts[0], "Cannot open Missing.bin (100% sure).");
    EXPECT_EQ(undo, (OperationList{"delete_registry_key|hkey_current_user|" + key_, "delete_folder|" + target_}));
    EXPECT_FALSE(fs::exists(target_));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, key_));
    EXPECT_TRUE(fs::is_empty(work_.Path()));
}

TEST_F(InstallerTest, ExistingFolderAndKeyGetNoRecords) {
    fs::create_directories(target_);
    {
        core::RegistryKey k;
        ASSERT_TRUE(k.Create(key_.c_str(), HKEY_CURRENT_USER));
    }
    TestContext context(target_);
    OperationList undo;
    ASSERT_TRUE(ExecuteOperations(context,
                                  {"create_folder|[TargetFolder]", "create_registry_key|HKEY_CURRENT_USER|" + key_,
                                   "create_registry_key|HKEY_CURRENT_USER|" + key_ + "\\Inner",
                                   "create_registry_string|HKEY_CURRENT_USER|" + key_ + "\\Inner|Name|[TargetFolder]",
                                   "Create_Folder|" + target_ + "\\ignored"},
                                  &undo, nullptr));
    EXPECT_EQ(undo, (OperationList{"delete_registry_string|HKEY_CURRENT_USER|" + key_ + "\\Inner|Name",
                                   "delete_registry_key|HKEY_CURRENT_USER|" + key_ + "\\Inner"}));
    core::RegistryKey k;
    ASSERT_TRUE(k.Open((key_ + "\\Inner").c_str(), true, HKEY_CURRENT_USER));
    EXPECT_EQ(k.GetString("Name"), target_);
    k.Close();
    EXPECT_FALSE(fs::exists(target_ + "\\ignored"));

    // "HKCU" is no root name: the write fails and is asked about.
    Answerer answers({{IDCANCEL, nullptr}});
    EXPECT_FALSE(ExecuteOperations(context, {"create_registry_key|HKCU|" + key_}, &undo, nullptr));
    ASSERT_EQ(answers.texts.size(), 1u);
    EXPECT_EQ(answers.texts[0], "Cannot write HKCU/" + key_ + ".");
}

TEST_F(InstallerTest, LargeCopyMovesInTransferBufferChunks) {
    testutil::WriteFile(disc_.File("big.bin"), std::string(5000000, 'b'));
    TestContext context(target_);
    fs::create_directories(target_);
    OperationList undo;
    RecordingProgress progress;
    ASSERT_TRUE(ExecuteOperations(context, {"copy_file|big.bin|[TargetFolder]\\big.bin"}, &undo, &progress));
    EXPECT_EQ(progress.ranges.back(), (std::pair<uint64_t, uint64_t>{0, 5000000}));
    EXPECT_EQ(progress.positions, (std::vector<uint64_t>{0, 0, 2097152, 4194304, 5000000, 5000000}));
    EXPECT_EQ(fs::file_size(target_ + "\\big.bin"), 5000000u);
}

TEST_F(InstallerTest, RetryAfterTheUserFixesTheProblem) {
    // A folder in the way of the target file (read-only attributes do not
    // stop Wine running as root).
    std::string locked = target_ + "\\Game.exe";
    fs::create_directories(locked);
    TestContext context(target_);
    OperationList undo;
    Answerer answers({{IDRETRY, [&] { RemoveDirectoryA(locked.c_str()); }}});
    ASSERT_TRUE(ExecuteOperations(context, {"copy_file|Game.exe|[TargetFolder]\\Game.exe"}, &undo, nullptr));
    ASSERT_EQ(answers.texts.size(), 1u);
    EXPECT_EQ(answers.texts[0], "Cannot create " + locked + ".");
    EXPECT_EQ(fs::file_size(locked), 3000u);
    EXPECT_EQ(undo, OperationList{"delete_file|" + locked});
}

TEST_F(InstallerTest, DamagedPackageEntryIsAFailedCopyAndLeavesNoPartialFile) {
    // An entry whose second chunk is damaged reads short.
    std::vector<uint8_t> data(300000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t((i * 31) ^ (i >> 7));
    std::string error;
    core::PackOptions options;
    options.method = core::PackMethod::Bzip2;
    ASSERT_TRUE(core::WritePackage(disc_.File("Setup.pac"), {core::PackInput::FromBytes("Data\\big.dat", data)},
                                   options, &error))
        << error;
    std::string pac = testutil::ReadFile(disc_.File("Setup.pac"));
    size_t second = pac.size() / 2;
    for (size_t i = 0; i < 64; ++i) pac[second + i] = char(pac[second + i] ^ 0x5A);
    testutil::WriteFile(disc_.File("Setup.pac"), pac);
    ASSERT_NE(core::Mount("Setup.pac", "Virtual", false), nullptr);

    fs::create_directories(target_);
    TestContext context(target_);
    OperationList undo;
    Answerer answers({{IDCANCEL, nullptr}});
    EXPECT_FALSE(ExecuteOperations(context, {"copy_file|Data\\big.dat|[TargetFolder]\\big.dat"}, &undo, nullptr));
    EXPECT_EQ(answers.texts.size(), 1u);
    EXPECT_TRUE(undo.empty());
    EXPECT_FALSE(fs::exists(target_ + "\\big.dat"));
}

TEST_F(InstallerTest, StartMenuFolderAndShortcut) {
    TestContext context(target_);
    context.startMenu = "DiscTest " + std::to_string(GetCurrentProcessId());
    OperationList undo;
    ASSERT_TRUE(ExecuteOperations(context,
                                  {"create_startmenu_folder|[StartMenu]",
                                   "create_shortcut|[StartMenu]\\Play|C:\\windows\\notepad.exe|-x|C:\\windows|"
                                   "C:\\windows\\notepad.exe|0"},
                                  &undo, nullptr));
    core::FilePath programs;
    ASSERT_TRUE(programs.SetSpecialFolder(core::kFolderCommonPrograms));
    std::string folder = programs.FullPath() + "\\" + context.startMenu;
    EXPECT_EQ(undo, (OperationList{"delete_file|" + folder + "\\Play.lnk", "delete_folder|" + folder}));
    EXPECT_TRUE(fs::exists(folder + "\\Play.lnk"));
    OperationList none;
    ExecuteOperations(context, undo, &none, nullptr);
    EXPECT_FALSE(fs::exists(folder));
}

// --- faults during an install ------------------------------------------------

namespace {

// Everything an install may touch, as text, to compare before and after.
std::string Snapshot(const std::string& root, const std::string& startMenu, const std::string& key) {
    std::string out;
    std::error_code ec;
    for (const std::string& base : {root, startMenu}) {
        if (!fs::exists(base, ec)) {
            out += base + " (none)\n";
            continue;
        }
        out += base + "\n";
        for (const auto& entry : fs::recursive_directory_iterator(base, ec))
            out += "  " + entry.path().string() + (entry.is_directory(ec) ? "\\" : " " + std::to_string(entry.file_size(ec))) + "\n";
    }
    core::RegistryKey k;
    if (k.Open(key.c_str(), true, HKEY_CURRENT_USER)) out += "key " + key + " Folder=" + k.GetString("Folder") + "\n";
    return out;
}

}  // namespace

// Each line of a small install is made to fail in turn. Cancel leaves the
// machine exactly as it was; Retry after the fault is removed completes.
TEST_F(InstallerTest, EachFaultCancelledRollsBackAndRetriedCompletes) {
    core::FilePath programs;
    ASSERT_TRUE(programs.SetSpecialFolder(core::kFolderCommonPrograms));
    // Each fault gets its own target and Start-menu folder, so that what one
    // round leaves behind cannot disturb the next.
    std::string target, menuFolder;

    // Data\big.dat lives in a package; the "missing entry" fault mounts one without it.
    std::vector<uint8_t> big(300000);
    for (size_t i = 0; i < big.size(); ++i) big[i] = uint8_t(i * 13 + (i >> 8));
    std::string error;
    core::PackOptions options;
    options.method = core::PackMethod::Lzss;
    ASSERT_TRUE(core::WritePackage(disc_.File("Full.pac"), {core::PackInput::FromBytes("Data\\big.dat", big)}, options,
                                   &error))
        << error;
    ASSERT_TRUE(core::WritePackage(disc_.File("Other.pac"), {core::PackInput::FromBytes("Data\\other.dat", big)},
                                   options, &error))
        << error;

    const OperationList lines = {
        "create_folder|[TargetFolder]",
        "copy_file|Game.exe|[TargetFolder]\\Game.exe",
        "create_folder|[TargetFolder]\\Data",
        "copy_file|Data\\big.dat|[TargetFolder]\\Data\\big.dat",
        "create_registry_key|HKEY_CURRENT_USER|" + key_,
        "create_registry_string|HKEY_CURRENT_USER|" + key_ + "|Folder|[TargetFolder]",
        "create_registry_key|HKEY_CURRENT_USER|" + key_ + "\\Inner",
        "create_startmenu_folder|[StartMenu]",
        "create_shortcut|[StartMenu]\\Play|[TargetFolder]\\Game.exe||[TargetFolder]|[TargetFolder]\\Game.exe|0",
    };
    // The disc folder's default mount comes with the first open; packages
    // are mounted after it and taken away one by one.
    core::OpenForReading("Game.exe");
    std::vector<core::FileSystem*> packages;
    auto mount = [&](const char* name) { packages.push_back(core::Mount(name, "Virtual", false)); };
    auto unmountPackages = [&] {
        for (core::FileSystem* fs : packages) core::Unmount(fs);
        packages.clear();
    };
    // Where the system keeps the all-users Programs folder, as it was.
    const char* shellFolders = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
    std::string savedPrograms(MAX_PATH * 2, '\0');
    DWORD savedType = REG_EXPAND_SZ, savedSize = DWORD(savedPrograms.size());
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, shellFolders, 0, KEY_QUERY_VALUE, &key), ERROR_SUCCESS);
        LONG read = RegQueryValueExA(key, "Common Programs", nullptr, &savedType,
                                     reinterpret_cast<BYTE*>(savedPrograms.data()), &savedSize);
        RegCloseKey(key);
        ASSERT_EQ(read, ERROR_SUCCESS);
        savedPrograms.resize(savedSize ? savedSize - 1 : 0);
    }
    auto SetCommonPrograms = [&](const std::string& value) {
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, shellFolders, 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
        RegSetValueExA(key, "Common Programs", 0, savedType, reinterpret_cast<const BYTE*>(value.c_str()),
                       DWORD(value.size() + 1));
        RegCloseKey(key);
    };
    struct Fault {
        const char* name;
        std::function<void()> make, remove;
    };
    const Fault faults[] = {
        {"the target folder's name is taken by a file",
         [&] { testutil::WriteFile(target, "in the way"); }, [&] { fs::remove(target); }},
        {"the source file is missing", [&] { fs::rename(disc_.File("Game.exe"), disc_.File("Game.bak")); },
         [&] { fs::rename(disc_.File("Game.bak"), disc_.File("Game.exe")); }},
        {"the package lacks the entry",
         [&] {
             unmountPackages();
             mount("Other.pac");
         },
         [&] { mount("Full.pac"); }},
        // A lasting key cannot be made below a volatile one.
        {"the registry key cannot be created",
         [&] {
             HKEY volatileKey = nullptr;
             RegCreateKeyExA(HKEY_CURRENT_USER, key_.c_str(), 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                             &volatileKey, nullptr);
             RegCloseKey(volatileKey);
         },
         [&] { WipeKey(); }},
        {"the Start-menu folder's name is taken by a file", [&] { testutil::WriteFile(menuFolder, "in the way"); },
         [&] { fs::remove(menuFolder); }},
        // A system that names no Start menu: nothing may land in the root of
        // the current drive instead.
        {"the system names no Start-menu folder",
         [&] { SetCommonPrograms("Q:\\No Such Drive\\Programs"); }, [&] { SetCommonPrograms(savedPrograms); }},
        // Without its log the install could not be removed again.
        {"the uninstall log cannot be written", [&] { fs::create_directories(target + "\\Setup.uni"); },
         [&] { fs::remove(target + "\\Setup.uni"); }},
    };
    for (const Fault& fault : faults) {
        SCOPED_TRACE(fault.name);
        const std::string round = std::to_string(&fault - faults);
        target = work_.File("X" + round);
        TestContext context(target);
        context.startMenu = "DiscFaults " + std::to_string(GetCurrentProcessId()) + "-" + round;
        menuFolder = programs.FullPath() + "\\" + context.startMenu;
        unmountPackages();
        mount("Full.pac");
        ASSERT_NE(packages.back(), nullptr);
        fault.make();
        const std::string before = Snapshot(work_.Str(), menuFolder, key_);
        {
            OperationList undo;
            Answerer answers({{IDCANCEL, nullptr}});
            EXPECT_FALSE(RunInstall(context, lines, &undo, nullptr, false));
            EXPECT_EQ(answers.texts.size(), 1u);
        }
        EXPECT_EQ(Snapshot(work_.Str(), menuFolder, key_), before);
        {
            OperationList undo;
            Answerer answers({{IDRETRY, fault.remove}, {IDCANCEL, nullptr}});
            EXPECT_TRUE(RunInstall(context, lines, &undo, nullptr, false));
            EXPECT_EQ(answers.texts.size(), 1u);
            EXPECT_TRUE(testutil::ReadFile(target + "\\Data\\big.dat") == std::string(big.begin(), big.end()));
            EXPECT_EQ(testutil::ReadFile(target + "\\Game.exe").size(), 3000u);
            EXPECT_TRUE(fs::exists(target + "\\Setup.uni"));
            EXPECT_GT(testutil::ReadFile(menuFolder + "\\Play.lnk").size(), 0u);
            EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, key_ + "\\Inner"));
        }
        std::error_code ec;
        fs::remove_all(target, ec);
        fs::remove_all(menuFolder, ec);
        WipeKey();
        SetCommonPrograms(savedPrograms);  // also where no Retry took the fault away
    }
    unmountPackages();
}
