// The demo disc's install, run through the wizard once for each of its lines
// with a real fault that makes that line fail. Cancel must leave the machine
// exactly as it was; Retry, after the fault is taken away, must complete the
// install. A last round installs onto a drive that is too full.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <sddl.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "../core/test_util.h"
#include "automation.h"
#include "core/data_group.h"
#include "core/file_path.h"
#include "core/file_systems.h"
#include "core/mount_table.h"
#include "core/package_writer.h"
#include "core/registry.h"
#include "demo_disc.h"
#include "installer/operation_list.h"
#include "menu_test_util.h"
#include "resources/resource_ids.h"
#include "ui/message_loop.h"
#include "wizard/wizard_frame.h"

namespace fs = std::filesystem;
using wizard::WizardFrame;

namespace {

constexpr const char* kApplicationKey = "Software\\Trelvo\\Autorun\\DemoQuest";
// The drive that tests/wine/wine-setup.sh maps to a small tmpfs when it may.
constexpr const char* kSmallDrive = "S:\\";

std::string ProgramsFolder() {
    core::FilePath programs;
    programs.SetSpecialFolder(core::kFolderCommonPrograms);
    return programs.FullPath();
}

std::string ReadAll(const std::string& name) {
    std::unique_ptr<core::Stream> in = core::OpenForReading(name.c_str());
    if (!in) return "<cannot read " + name + ">";
    std::string bytes(size_t(in->GetSize()), '\0');
    if (in->Read(bytes.data(), bytes.size()) != bytes.size()) return "<short read of " + name + ">";
    return bytes;
}

// A key that exists with a DACL that grants everyone only sddl's rights.
bool CreateRestrictedKey(HKEY root, const std::string& path, const char* sddl) {
    HKEY key = nullptr;
    if (::RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    bool ok = ::ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor, nullptr) &&
              ::RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor) == ERROR_SUCCESS;
    ::LocalFree(descriptor);
    ::RegCloseKey(key);
    return ok;
}

// Gives everyone full access to key again (its owner may always change the DACL).
void OpenUpKey(HKEY root, const std::string& path) {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(root, path.c_str(), 0, WRITE_DAC, &key) != ERROR_SUCCESS) return;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;OICI;KA;;;WD)", SDDL_REVISION_1, &descriptor,
                                                               nullptr))
        ::RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor);
    ::LocalFree(descriptor);
    ::RegCloseKey(key);
}

// A key as text: "(none)", "(no access)", or its values in name order.
std::string KeyState(HKEY root, const std::string& path) {
    HKEY key = nullptr;
    LONG opened = ::RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key);
    if (opened == ERROR_FILE_NOT_FOUND) return "(none)";
    if (opened != ERROR_SUCCESS) return "(no access)";
    std::map<std::string, std::string> values;
    for (DWORD i = 0;; ++i) {
        char name[512];
        BYTE data[2048];
        DWORD nameSize = sizeof name, dataSize = sizeof data, type = 0;
        if (::RegEnumValueA(key, i, name, &nameSize, nullptr, &type, data, &dataSize) != ERROR_SUCCESS) break;
        values[name] = std::to_string(type) + ":" + std::string(reinterpret_cast<char*>(data), dataSize);
    }
    ::RegCloseKey(key);
    std::string out;
    for (const auto& [name, value] : values) out += " " + name + "=" + value;
    return out.empty() ? "(empty)" : out;
}

// Files and folders below each root, with sizes.
std::string FilesState(const std::vector<std::string>& roots) {
    std::string out;
    std::error_code ec;
    for (const std::string& root : roots) {
        if (!fs::exists(root, ec)) {
            out += root + " (none)\n";
            continue;
        }
        out += root + "\n";
        for (const auto& entry : fs::recursive_directory_iterator(root, ec))
            out += "  " + entry.path().string() +
                   (entry.is_directory(ec) ? "\\" : " " + std::to_string(entry.file_size(ec))) + "\n";
    }
    return out;
}

// Sends a button click and lets queued clicks (the runs' advances) arrive.
void Click(WizardFrame& frame, int id) {
    ::SendMessageA(frame.Handle(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), LPARAM(::GetDlgItem(frame.Handle(), id)));
    ui::PumpPendingMessages();
}

struct Fault {
    std::string what;
    std::string shown;  // what the error message must name
    std::function<bool()> make;
    std::function<void()> remove;
};

class DemoInstallFaultTest : public testutil::MenuTest {
protected:
    void SetUp() override {
        MenuTest::SetUp();
        disc_ = testutil::DemoDisc();
        if (::GetFileAttributesA((disc_ + "\\Setup.exe").c_str()) == INVALID_FILE_ATTRIBUTES)
            GTEST_SKIP() << "no demo disc at " << disc_ << " (./run test builds it)";
        ASSERT_TRUE(testutil::ReadProject(disc_ + "\\Setup.exe", &root_));
        ::CoInitialize(nullptr);
        ResetKeys();
        core::RegistryKey language;
        ASSERT_TRUE(language.Create(kApplicationKey, HKEY_CURRENT_USER));
        language.SetString("CurrentLanguage", "English");
        previous_ = fs::current_path();
        fs::current_path(disc_);
        menu_ = Load(root_);
        ASSERT_NE(menu_, nullptr);
        host_ = std::make_unique<wizard::MenuWizardHost>(*menu_);
        lines_ = menu_->Settings().Operations;
        lines_.push_back("copy_file|Setup.exe|[TargetFolder]\\Setup.exe");  // the install adds its own copy
        core::UnmountAll();
        MountDiscPackage();
    }
    void TearDown() override {
        frame_.reset();
        host_.reset();
        core::UnmountAll();
        if (!previous_.empty()) fs::current_path(previous_);
        ResetKeys();
        ::RegDeleteKeyA(HKEY_CURRENT_USER, kApplicationKey);
        ::CoUninitialize();
        MenuTest::TearDown();
    }

    // The menu's own mounts: the disc folder (first use) and its package.
    void MountDiscPackage() {
        core::OpenForReading("Setup.exe");
        package_ = core::Mount("Setup.pac", "Virtual", false);
        ASSERT_NE(package_, nullptr);
    }
    void SwapPackage(const std::string& path) {
        if (package_) core::Unmount(package_);
        package_ = core::Mount(path.c_str(), "Virtual", false);
    }

    // A line's fields, expanded as the install expands them.
    std::vector<std::string> Fields(const std::string& line, const shell::WizardFolders& folders) const {
        std::vector<std::string> f = installer::SplitLine(line);
        for (size_t i = 1; i < f.size(); ++i) f[i] = menu_->ExpandText(f[i], &folders);
        return f;
    }

    // The keys that the install's lines name, deepest first.
    std::vector<std::pair<HKEY, std::string>> Keys() const {
        std::vector<std::pair<HKEY, std::string>> keys;
        for (const std::string& line : lines_) {
            std::vector<std::string> f = installer::SplitLine(line);
            if (f[0] != "create_registry_key") continue;
            keys.emplace_back(f[1] == "HKEY_CURRENT_USER" ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE,
                              menu_->ExpandText(f[2], nullptr));
        }
        std::sort(keys.begin(), keys.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
        return keys;
    }
    // Removes the keys that the demo install makes (never a key that holds
    // another program's keys).
    static void ResetKeys() {
        for (const char* path : {kApplicationKey, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\DemoQuest",
                                 "Software\\Trelvo\\Autorun", "Software\\Trelvo"}) {
            OpenUpKey(HKEY_LOCAL_MACHINE, path);
            ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, path);  // refused while subkeys remain
        }
    }

    std::string Snapshot(const std::vector<std::string>& roots) const {
        std::string out = FilesState(roots);
        for (const auto& [root, path] : Keys()) out += path + ":" + KeyState(root, path) + "\n";
        return out;
    }

    // Opens the wizard and walks it to the ready page with these folders.
    WizardFrame& OpenAtReady(const std::string& target, const std::string& startMenu) {
        frame_.reset();
        frame_ = std::make_unique<WizardFrame>(*host_, wizard::WizardMode::kInstall);
        EXPECT_TRUE(frame_->Create(menu_->Handle()));
        ui::PumpPendingMessages();
        WizardFrame& frame = *frame_;
        for (int step = 0; step < 10 && frame.CurrentPage() != &frame.Ready(); ++step) {
            if (frame.CurrentPage() == &frame.Registration())
                automation::TypeText(automation::Descendant(frame.Handle(), IDC_REGISTRATION_NAME), "Ann Example");
            if (frame.CurrentPage() == &frame.Target())
                ::SetWindowTextA(automation::Descendant(frame.Handle(), IDC_TARGET_PATH), target.c_str());
            if (frame.CurrentPage() == &frame.StartMenu()) {
                HWND folder = automation::Descendant(frame.Handle(), IDC_STARTMENU_FOLDER);
                automation::ClearText(folder);
                automation::TypeText(folder, startMenu);
            }
            Click(frame, IDC_WIZ_NEXT);
        }
        EXPECT_EQ(frame.CurrentPage(), &frame.Ready());
        EXPECT_EQ(frame.TargetFolder(), target);
        EXPECT_EQ(frame.StartMenuFolder(), startMenu);
        return frame;
    }

    // Runs the install from the ready page; the first error is answered
    // with button after before() ran. The wizard's result and the text of
    // the error come back.
    int Install(WizardFrame& frame, int button, const std::function<void()>& before, std::string* error) {
        {
            automation::DialogAnswerer answer(
                "Setup", button,
                [&](HWND box) {
                    *error = automation::MessageBoxText(box);
                    if (before) before();
                },
                true);
            Click(frame, IDC_WIZ_NEXT);
        }
        ui::PumpPendingMessages();
        EXPECT_EQ(frame.CurrentPage(), &frame.Done());
        Click(frame, IDC_WIZ_NEXT);  // Close
        return int(frame.Result());
    }

    // Every line's work is there, byte for byte, and the log can be read.
    void ExpectComplete(const shell::WizardFolders& folders) {
        for (const std::string& line : lines_) {
            std::vector<std::string> f = Fields(line, folders);
            SCOPED_TRACE(line);
            HKEY root = f.size() > 1 && f[1] == "HKEY_CURRENT_USER" ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
            if (f[0] == "create_folder") {
                EXPECT_TRUE(fs::is_directory(f[1]));
            } else if (f[0] == "copy_file") {
                EXPECT_TRUE(testutil::ReadFile(f[2]) == ReadAll(f[1])) << f[2] << " differs from " << f[1];
            } else if (f[0] == "create_registry_key") {
                EXPECT_NE(KeyState(root, f[2]), "(none)");
            } else if (f[0] == "create_registry_string") {
                core::RegistryKey key;
                ASSERT_TRUE(key.Open(f[2].c_str(), true, root));
                EXPECT_EQ(key.GetString(f[3].c_str()), f[4]);
            } else if (f[0] == "create_registry_dword") {
                core::RegistryKey key;
                ASSERT_TRUE(key.Open(f[2].c_str(), true, root));
                EXPECT_EQ(key.GetDword(f[3].c_str()), uint32_t(installer::ParseDecimal(f[4])));
            } else if (f[0] == "create_startmenu_folder") {
                EXPECT_TRUE(fs::is_directory(ProgramsFolder() + "\\" + f[1]));
            } else if (f[0] == "create_shortcut") {
                EXPECT_TRUE(fs::exists(ProgramsFolder() + "\\" + f[1] + ".lnk"));
            }
        }
        core::DataGroup log;
        EXPECT_TRUE(log.Load((folders.targetFolder + "\\Setup.uni").c_str()));
    }

    // Takes away what a round installed.
    void Clean(const shell::WizardFolders& folders) {
        std::error_code ec;
        fs::remove_all(folders.targetFolder, ec);
        fs::remove_all(ProgramsFolder() + "\\" + folders.startMenu, ec);
        ResetKeys();
    }

    // The fault that makes line fail, or none for lines that cannot fail.
    std::unique_ptr<Fault> FaultFor(const std::string& line, const shell::WizardFolders& folders) {
        std::vector<std::string> f = Fields(line, folders);
        auto fault = std::make_unique<Fault>();
        auto fileInTheWay = [&](const std::string& path) {
            fault->shown = path;
            fault->make = [path] {
                std::error_code ec;
                fs::create_directories(fs::path(path).parent_path(), ec);
                testutil::WriteFile(path, "in the way");
                return fs::is_regular_file(path);
            };
            fault->remove = [path] { fs::remove(path); };
        };
        if (f[0] == "create_folder") {
            fault->what = "a file has the folder's name";
            fileInTheWay(f[1]);
        } else if (f[0] == "create_startmenu_folder") {
            fault->what = "a file has the Start-menu folder's name";
            fileInTheWay(ProgramsFolder() + "\\" + f[1]);
        } else if (f[0] == "copy_file" &&
                   ::GetFileAttributesA((disc_ + "\\" + f[1]).c_str()) == INVALID_FILE_ATTRIBUTES) {
            // From the package: a package without that entry takes its place.
            fault->what = "the package lacks the entry";
            fault->shown = f[1];
            std::string lacking = folder_.File("lacking.pac");
            std::vector<core::PackInput> inputs;
            for (const std::string& other : lines_) {
                std::vector<std::string> o = installer::SplitLine(other);
                if (o[0] == "copy_file" && o[1] != f[1] &&
                    ::GetFileAttributesA((disc_ + "\\" + o[1]).c_str()) == INVALID_FILE_ATTRIBUTES) {
                    std::string bytes = ReadAll(o[1]);
                    inputs.push_back(core::PackInput::FromBytes(o[1], std::vector<uint8_t>(bytes.begin(), bytes.end())));
                }
            }
            fault->make = [this, lacking, inputs] {
                std::string error;
                if (!core::WritePackage(lacking, inputs, core::PackOptions{}, &error)) return false;
                SwapPackage(lacking);
                return package_ != nullptr;
            };
            fault->remove = [this] { SwapPackage("Setup.pac"); };
        } else if (f[0] == "copy_file") {
            // From the disc: another program holds the target open.
            fault->what = "the target file is locked";
            fault->shown = f[2];
            auto handle = std::make_shared<HANDLE>(INVALID_HANDLE_VALUE);
            std::string path = f[2];
            fault->make = [path, handle] {
                std::error_code ec;
                fs::create_directories(fs::path(path).parent_path(), ec);
                *handle = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
                return *handle != INVALID_HANDLE_VALUE;
            };
            fault->remove = [handle] { ::CloseHandle(*handle); };
        } else if (f[0] == "create_registry_key") {
            HKEY root = f[1] == "HKEY_CURRENT_USER" ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
            if (KeyState(root, f[2]) != "(none)") return nullptr;  // a key of the system: only looked at
            fault->what = "the key exists without access for anyone";
            fault->shown = f[1] + "/" + f[2];
            std::string path = f[2];
            fault->make = [root, path] { return CreateRestrictedKey(root, path, "D:P"); };
            fault->remove = [root, path] {
                OpenUpKey(root, path);
                ::RegDeleteKeyA(root, path.c_str());
            };
        } else if (f[0] == "create_registry_string" || f[0] == "create_registry_dword") {
            // A key refusing writes fails its first value; later values of the
            // same key cannot be made to fail on their own.
            for (const std::string& other : lines_) {
                std::vector<std::string> o = Fields(other, folders);
                if ((o[0] == "create_registry_string" || o[0] == "create_registry_dword") && o[1] == f[1] &&
                    o[2] == f[2]) {
                    if (other != line) return nullptr;
                    break;
                }
            }
            HKEY root = f[1] == "HKEY_CURRENT_USER" ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
            fault->what = "the key may only be read";
            fault->shown = f[1] + "/" + f[2] + "/" + f[3];
            std::string path = f[2];
            fault->make = [root, path] { return CreateRestrictedKey(root, path, "D:P(A;;KR;;;WD)"); };
            fault->remove = [root, path] { OpenUpKey(root, path); };
        } else {
            return nullptr;  // a shortcut that cannot be saved is reported, and the install goes on
        }
        return fault;
    }

    std::string disc_;
    core::DataGroup root_;
    fs::path previous_;
    shell::MenuWindow* menu_ = nullptr;
    std::unique_ptr<wizard::MenuWizardHost> host_;
    std::unique_ptr<WizardFrame> frame_;
    installer::OperationList lines_;
    core::FileSystem* package_ = nullptr;
};

}  // namespace

TEST_F(DemoInstallFaultTest, EachLineFailingIsRolledBackOnCancelAndCompletedOnRetry) {
    testutil::TempFolder work("demo-faults");
    const std::string programs = ProgramsFolder();
    int faulted = 0;
    std::set<std::string> kinds;
    for (size_t i = 0; i < lines_.size(); ++i) {
        // Each round has folders of its own, so that nothing of one round can
        // disturb the next.
        const shell::WizardFolders folders{work.File("Demo Quest " + std::to_string(i)),
                                           "Demo Quest " + std::to_string(::GetCurrentProcessId()) + "-" +
                                               std::to_string(i)};
        std::unique_ptr<Fault> fault = FaultFor(lines_[i], folders);
        if (!fault) continue;
        kinds.insert(fault->what);
        SCOPED_TRACE(lines_[i] + ": " + fault->what);
        ++faulted;
        const std::vector<std::string> roots = {work.Str(), programs + "\\" + folders.startMenu};
        ASSERT_TRUE(fault->make());
        const std::string before = Snapshot(roots);

        std::string error;
        EXPECT_EQ(Install(OpenAtReady(folders.targetFolder, folders.startMenu), IDCANCEL, nullptr, &error), 0);
        EXPECT_NE(error.find(fault->shown), std::string::npos) << "the message was: " << error;
        EXPECT_EQ(Snapshot(roots), before);

        error.clear();
        EXPECT_EQ(Install(OpenAtReady(folders.targetFolder, folders.startMenu), IDRETRY, fault->remove, &error), 1);
        EXPECT_NE(error.find(fault->shown), std::string::npos) << "the message was: " << error;
        ExpectComplete(folders);
        Clean(folders);
    }
    // Every kind of fault was met: of the demo's 28 lines only the system
    // keys that the install merely opens, the later values of a key and the
    // shortcuts (whose failure is reported and skipped) cannot fail.
    EXPECT_GE(faulted, 17);
    EXPECT_EQ(kinds.size(), 6u);
}

TEST_F(DemoInstallFaultTest, FullDriveIsRolledBackOnCancelAndCompletedOnRetry) {
    ULARGE_INTEGER available, total;
    if (!::GetDiskFreeSpaceExA(kSmallDrive, &available, &total, nullptr) || total.QuadPart > (64u << 20))
        GTEST_SKIP() << "no small drive " << kSmallDrive << " (wine-setup.sh maps one when it can mount a tmpfs)";
    const std::string filler = std::string(kSmallDrive) + "filler";
    // Everything but 1 MB is taken: the install's 11 MB copy of Setup.exe cannot fit.
    {
        HANDLE file = ::CreateFileA(filler.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        std::vector<char> block(1 << 16, 'f');
        for (;;) {
            ASSERT_TRUE(::GetDiskFreeSpaceExA(kSmallDrive, &available, nullptr, nullptr));
            if (available.QuadPart <= (1u << 20) + block.size()) break;
            DWORD written = 0;
            if (!::WriteFile(file, block.data(), DWORD(block.size()), &written, nullptr)) break;
        }
        ::CloseHandle(file);
    }
    const shell::WizardFolders folders{std::string(kSmallDrive) + "Demo Quest",
                                       "Demo Quest " + std::to_string(::GetCurrentProcessId()) + " full"};
    const std::vector<std::string> roots = {kSmallDrive, ProgramsFolder() + "\\" + folders.startMenu};
    const std::string before = Snapshot(roots);

    std::string error;
    EXPECT_EQ(Install(OpenAtReady(folders.targetFolder, folders.startMenu), IDCANCEL, nullptr, &error), 0);
    EXPECT_EQ(error, "The file " + folders.targetFolder + "\\Setup.exe could not be written.");
    EXPECT_EQ(Snapshot(roots), before);

    EXPECT_EQ(Install(OpenAtReady(folders.targetFolder, folders.startMenu), IDRETRY,
                      [&] { ::DeleteFileA(filler.c_str()); }, &error),
              1);
    ExpectComplete(folders);
    Clean(folders);
    ::DeleteFileA(filler.c_str());
}
