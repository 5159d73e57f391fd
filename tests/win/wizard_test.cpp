// The installer wizard driven from the outside: page sequence, button rules,
// the abort question, a full install into a scratch folder, the rollback
// after an error, the folder browser and the percentage bar's pixels.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "../core/test_util.h"
#include "automation.h"
#include "core/data_group.h"
#include "core/file_path.h"
#include "core/mount_table.h"
#include "core/registry.h"
#include "menu_test_util.h"
#include "resources/resource_ids.h"
#include "ui/message_loop.h"
#include "wizard/folder_browser.h"
#include "wizard/progress_bar.h"
#include "wizard/wizard_frame.h"

namespace fs = std::filesystem;
using wizard::WizardFrame;
using wizard::WizardMode;

namespace {

// Every text the wizard shows, so that a test can tell them apart.
const std::map<std::string, std::string> kTexts = {
    {"INSTALL_GENERAL_BACKBUTTON", "Back"},
    {"INSTALL_GENERAL_NEXTBUTTON", "Next"},
    {"INSTALL_GENERAL_CANCELBUTTON", "Cancel"},
    {"INSTALL_GENERAL_CLOSEBUTTON", "Close"},
    {"INSTALL_GENERAL_YESBUTTON", "Yes"},
    {"INSTALL_GENERAL_NOBUTTON", "No"},
    {"INSTALL_GENERAL_OKBUTTON", "OK"},
    {"INSTALL_GENERAL_ABORTINSTALL", "Abort the installation?"},
    {"INSTALL_GENERAL_ABORTUNINSTALL", "Abort the removal?"},
    {"INSTALL_GENERAL_ERROROPENFILE", "Cannot open %s."},
    {"INSTALL_GENERAL_ERRORCREATEFILE", "Cannot create %s."},
    {"INSTALL_GENERAL_ERRORCREATEFOLDER", "Cannot create the folder %s."},
    {"INSTALL_GENERAL_ERRORCREATEREGISTRY", "Cannot write %s."},
    {"INSTALL_WELCOME_TITLE", "Welcome title"},
    {"INSTALL_WELCOME_MESSAGE", "Welcome to [ApplicationName]"},
    {"INSTALL_WELCOME_INFO", "Welcome info"},
    {"INSTALL_LICENSE_TITLE", "Licence title"},
    {"INSTALL_LICENSE_MESSAGE", "Licence message"},
    {"INSTALL_LICENSE_INFO", "Do you accept?"},
    {"INSTALL_LICENSE_ACCEPTED", "Accepted"},
    {"INSTALL_REGISTRATION_TITLE", "Registration title"},
    {"INSTALL_REGISTRATION_MESSAGE", "Registration message"},
    {"INSTALL_REGISTRATION_NAME", "&Name:"},
    {"INSTALL_REGISTRATION_COMPANY", "&Company:"},
    {"INSTALL_TARGET_TITLE", "Target title"},
    {"INSTALL_TARGET_MESSAGE", "Target message"},
    {"INSTALL_TARGET_DESTINATIONDIRECTORY", "Destination"},
    {"INSTALL_TARGET_BROWSE", "Browse..."},
    {"INSTALL_TARGET_CAPTION", "Choose a folder"},
    {"INSTALL_TARGET_INFO", "Pick the folder"},
    {"INSTALL_TARGET_PATH", "Path:"},
    {"INSTALL_TARGET_FOLDERS", "Folders:"},
    {"INSTALL_TARGET_DRIVES", "Drives:"},
    {"INSTALL_STARTMENU_TITLE", "Start menu title"},
    {"INSTALL_STARTMENU_MESSAGE", "Start menu message"},
    {"INSTALL_STARTMENU_PROGRAMFOLDER", "Program folder:"},
    {"INSTALL_STARTMENU_EXISTINGFOLDERS", "Existing folders:"},
    {"INSTALL_READY_TITLE", "Ready title"},
    {"INSTALL_READY_MESSAGE", "Ready message"},
    {"INSTALL_READY_CURRENTSETTINGS", "Current settings:"},
    {"INSTALL_INSTALLING_TITLE", "Installing title"},
    {"INSTALL_INSTALLING_MESSAGE", "Installing message"},
    {"INSTALL_DONE_TITLE", "Done title"},
    {"INSTALL_DONE_TITLE_ERROR", "Failed title"},
    {"INSTALL_DONE_MESSAGE", "All went well"},
    {"INSTALL_DONE_MESSAGE_ERROR", "The installation failed"},
    {"INSTALL_UNINST_UNINSTALLING_TITLE", "Removing title"},
    {"INSTALL_UNINST_UNINSTALLING_MESSAGE", "Removing message"},
    {"INSTALL_UNINST_DONE_TITLE", "Removed title"},
    {"INSTALL_UNINST_DONE_MESSAGE", "Removed message"},
};

struct Switches {
    bool license, registration, startMenu;
};

// Runs undo records as the uninstaller would, without questions.
class QuietContext : public installer::InstallContext {
public:
    HWND Owner() override { return nullptr; }
    std::string Expand(std::string_view text) override { return std::string(text); }
    void KeepAlive() override {}
};

void Undo(const installer::OperationList& records) {
    QuietContext context;
    installer::OperationList none;
    installer::ExecuteOperations(context, records, &none, nullptr);
}

std::string ItemText(HWND dialog, int id) { return automation::WindowText(::GetDlgItem(dialog, id)); }

// Sends a button click and lets queued clicks (the runs' advances) arrive.
void Click(WizardFrame& frame, int id) {
    ::SendMessageA(frame.Handle(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), LPARAM(::GetDlgItem(frame.Handle(), id)));
    ui::PumpPendingMessages();
}

class WizardTest : public testutil::MenuTest {
protected:
    void SetUp() override {
        MenuTest::SetUp();
        ::CoInitialize(nullptr);
        core::UnmountAll();
        previous_ = fs::current_path();
        fs::current_path(disc_.Path());
        testutil::WriteFile(disc_.File("Setup.exe"), "the running program");
        testutil::WriteFile(disc_.File("Game.exe"), std::string(5000, 'g'));
        key_ = "Software\\DiscWizardTest" + std::to_string(::GetCurrentProcessId());
        startMenu_ = "DiscWizardTest " + std::to_string(::GetCurrentProcessId());
        Cleanup();
    }
    void TearDown() override {
        frame_.reset();
        Cleanup();
        core::UnmountAll();
        fs::current_path(previous_);
        ::CoUninitialize();
        MenuTest::TearDown();
    }
    void Cleanup() {
        ::RegDeleteValueA(HKEY_CURRENT_USER, (key_).c_str());
        core::RegistryKey::DeleteKeyIfEmpty(key_.c_str(), HKEY_CURRENT_USER);
        ::RegDeleteKeyA(HKEY_CURRENT_USER, key_.c_str());
        std::error_code ec;
        fs::remove_all(fs::path(ProgramsFolder()) / startMenu_, ec);
    }
    static std::string ProgramsFolder() {
        core::FilePath programs;
        programs.SetSpecialFolder(core::kFolderCommonPrograms);
        return programs.FullPath();
    }

    // A menu over the sample project with the wizard's texts and switches.
    shell::MenuWindow* LoadMenu(Switches s, installer::OperationList operations = {}) {
        core::DataGroup root = Project();
        core::DataGroup* english = root.FindGroup("Languages")->FindGroup("English");
        for (const auto& [key, text] : kTexts) english->SetValue(key, core::DataValue(text));
        root.SetValue("ShowLicense", core::DataValue(s.license));
        root.SetValue("License", core::DataValue("Terms [NOT_A_KEY] apply"));
        root.SetValue("ShowRegistration", core::DataValue(s.registration));
        root.SetValue("UseInstallerStartMenu", core::DataValue(s.startMenu));
        root.SetValue("AltApplicationName", core::DataValue("Demo App"));
        shell::MenuWindow* menu = Load(root);
        if (menu) menu->GetProject().settings.Operations = std::move(operations);
        return menu;
    }

    // A modeless wizard over the menu, on its first page.
    WizardFrame& Open(Switches s, installer::OperationList operations = {}, WizardMode mode = WizardMode::kInstall) {
        shell::MenuWindow* menu = LoadMenu(s, std::move(operations));
        EXPECT_NE(menu, nullptr);
        host_ = std::make_unique<wizard::MenuWizardHost>(*menu);
        frame_ = std::make_unique<WizardFrame>(*host_, mode);
        EXPECT_TRUE(frame_->Create(menu->Handle()));
        ui::PumpPendingMessages();
        return *frame_;
    }

    HWND Button(int id) const { return ::GetDlgItem(frame_->Handle(), id); }
    std::string ButtonText(int id) const { return automation::WindowText(Button(id)); }
    std::string Title() const { return ItemText(frame_->Handle(), IDC_WIZ_TITLE); }

    testutil::TempFolder disc_{"wizdisc"}, work_{"wiztarget"};
    fs::path previous_;
    std::string key_, startMenu_;
    std::unique_ptr<wizard::MenuWizardHost> host_;
    std::unique_ptr<WizardFrame> frame_;
};

TEST_F(WizardTest, PageSequenceFollowsTheProjectSwitches) {
    struct Case {
        Switches switches;
        std::vector<std::string> titles;
    };
    const Case cases[] = {
        {{false, false, false}, {"Welcome title", "Target title", "Ready title", "Installing title", ""}},
        {{true, false, false}, {"Welcome title", "Licence title", "Target title", "Ready title", "Installing title", ""}},
        {{false, false, true},
         {"Welcome title", "Target title", "Start menu title", "Ready title", "Installing title", ""}},
        {{true, true, true},
         {"Welcome title", "Licence title", "Registration title", "Target title", "Start menu title", "Ready title",
          "Installing title", ""}},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE("case " + std::to_string(i));
        WizardFrame& frame = Open(cases[i].switches);
        std::vector<std::string> titles;
        for (size_t p = 0; p < frame.PageCount(); ++p) titles.push_back(frame.Entry(p)->title);
        EXPECT_EQ(titles, cases[i].titles);
        EXPECT_EQ(frame.CurrentIndex(), 0);
        EXPECT_EQ(Title(), "Welcome title");
        EXPECT_EQ(automation::WindowText(frame.Handle()), "English title");
        // Pages left out get no window.
        EXPECT_EQ(frame.License().Handle() != nullptr, cases[i].switches.license);
        EXPECT_EQ(frame.StartMenu().Handle() != nullptr, cases[i].switches.startMenu);
        EXPECT_EQ(frame.Uninstalling().Handle(), nullptr);
        frame_.reset();
    }
}

TEST_F(WizardTest, RightAlignedMirrorsTextsButNotFolderPaths) {
    for (bool rightAligned : {false, true}) {
        SCOPED_TRACE(rightAligned ? "right aligned" : "left aligned");
        core::DataGroup root = Project();
        root.SetValue("RightAligned", core::DataValue(rightAligned));
        shell::MenuWindow* menu = Load(root);
        ASSERT_NE(menu, nullptr);
        host_ = std::make_unique<wizard::MenuWizardHost>(*menu);
        frame_ = std::make_unique<WizardFrame>(*host_, WizardMode::kInstall);
        ASSERT_TRUE(frame_->Create(menu->Handle()));
        auto mirrored = [](HWND dialog, int id) {
            return (::GetWindowLongPtrA(::GetDlgItem(dialog, id), GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0;
        };
        EXPECT_EQ(mirrored(frame_->Handle(), IDC_WIZ_TITLE), rightAligned);
        EXPECT_EQ(mirrored(frame_->Welcome().Handle(), IDC_PAGE_MESSAGE), rightAligned);
        EXPECT_EQ(mirrored(frame_->Target().Handle(), IDC_PAGE_MESSAGE), rightAligned);
        EXPECT_FALSE(mirrored(frame_->Target().Handle(), IDC_TARGET_PATH));
        frame_.reset();
    }
}

TEST_F(WizardTest, DefaultFoldersComeFromProgramFilesDir) {
    WizardFrame& frame = Open({false, false, false});
    core::RegistryKey key;
    ASSERT_TRUE(key.Open("Software\\Microsoft\\Windows\\CurrentVersion", true, HKEY_LOCAL_MACHINE));
    std::string programFiles = key.GetString("ProgramFilesDir");
    ASSERT_FALSE(programFiles.empty());
    if (programFiles.back() != '\\') programFiles += '\\';
    EXPECT_EQ(frame.TargetFolder(), programFiles + "Demo App");
    EXPECT_EQ(frame.StartMenuFolder(), "Demo App");
    EXPECT_EQ(ItemText(frame.Target().Handle(), IDC_TARGET_PATH), frame.TargetFolder());
}

TEST_F(WizardTest, BackIsHiddenOnlyOnTheFirstPage) {
    WizardFrame& frame = Open({true, false, true});
    EXPECT_FALSE(::IsWindowVisible(Button(IDC_WIZ_BACK)));
    EXPECT_TRUE(::IsWindowEnabled(Button(IDC_WIZ_NEXT)));
    EXPECT_EQ(::GetFocus(), Button(IDC_WIZ_NEXT));
    for (int page = 1; page < 5; ++page) {
        Click(frame, IDC_WIZ_NEXT);
        ASSERT_EQ(frame.CurrentIndex(), page);
        EXPECT_TRUE(::IsWindowVisible(Button(IDC_WIZ_BACK))) << "page " << page;
        EXPECT_TRUE(::IsWindowEnabled(Button(IDC_WIZ_BACK))) << "page " << page;
        EXPECT_TRUE(::IsWindowVisible(frame.CurrentPage()->Handle())) << "page " << page;
    }
    Click(frame, IDC_WIZ_BACK);
    EXPECT_EQ(frame.CurrentIndex(), 3);
    EXPECT_EQ(Title(), "Start menu title");
    // Escape does nothing; Enter acts as Next.
    ::SendMessageA(frame.Handle(), WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(frame.CurrentIndex(), 3);
    EXPECT_TRUE(::IsWindow(frame.Handle()));
    ::SendMessageA(frame.Handle(), WM_COMMAND, IDOK, 0);
    EXPECT_EQ(frame.CurrentIndex(), 4);
}

TEST_F(WizardTest, LicensePageSaysYesAndNoOnlyWhileShown) {
    WizardFrame& frame = Open({true, false, false});
    EXPECT_EQ(ButtonText(IDC_WIZ_NEXT), "Next");
    Click(frame, IDC_WIZ_NEXT);
    EXPECT_EQ(ButtonText(IDC_WIZ_NEXT), "Yes");
    EXPECT_EQ(ButtonText(IDC_WIZ_CANCEL), "No");
    // The licence is shown as stored, keys and all.
    EXPECT_EQ(ItemText(frame.License().Handle(), IDC_LICENSE_TEXT), "Terms [NOT_A_KEY] apply");
    Click(frame, IDC_WIZ_BACK);
    EXPECT_EQ(ButtonText(IDC_WIZ_NEXT), "Next");
    EXPECT_EQ(ButtonText(IDC_WIZ_CANCEL), "Cancel");
    Click(frame, IDC_WIZ_NEXT);
    Click(frame, IDC_WIZ_NEXT);
    EXPECT_EQ(Title(), "Target title");
    EXPECT_EQ(ButtonText(IDC_WIZ_NEXT), "Next");
    EXPECT_EQ(ButtonText(IDC_WIZ_CANCEL), "Cancel");
}

TEST_F(WizardTest, RegistrationNeedsANameForNext) {
    const char* userInfo = wizard::RegistrationPage::kUserInfoKey;
    ::RegDeleteKeyA(HKEY_CURRENT_USER, userInfo);
    WizardFrame& frame = Open({false, true, false});
    EXPECT_TRUE(::IsWindowEnabled(Button(IDC_WIZ_NEXT)));  // the welcome page is not affected
    Click(frame, IDC_WIZ_NEXT);
    ASSERT_EQ(Title(), "Registration title");
    HWND page = frame.Registration().Handle();
    HWND name = ::GetDlgItem(page, IDC_REGISTRATION_NAME), company = ::GetDlgItem(page, IDC_REGISTRATION_COMPANY);
    EXPECT_FALSE(::IsWindowEnabled(Button(IDC_WIZ_NEXT)));
    // Enter does nothing while Next is disabled.
    ::SendMessageA(frame.Handle(), WM_COMMAND, IDOK, 0);
    EXPECT_EQ(Title(), "Registration title");

    automation::TypeText(company, "Acme");
    EXPECT_FALSE(::IsWindowEnabled(Button(IDC_WIZ_NEXT)));
    EXPECT_EQ(frame.Company(), "Acme");
    automation::TypeText(name, "A");
    EXPECT_TRUE(::IsWindowEnabled(Button(IDC_WIZ_NEXT)));
    EXPECT_EQ(frame.UserName(), "A");
    automation::ClearText(name);
    EXPECT_FALSE(::IsWindowEnabled(Button(IDC_WIZ_NEXT)));
    // Going back with an empty name leaves Next usable on the earlier page.
    Click(frame, IDC_WIZ_BACK);
    EXPECT_TRUE(::IsWindowEnabled(Button(IDC_WIZ_NEXT)));
    Click(frame, IDC_WIZ_NEXT);
    automation::TypeText(name, "Ann");
    ::SendMessageA(frame.Handle(), WM_COMMAND, IDOK, 0);
    EXPECT_EQ(Title(), "Target title");
}

TEST_F(WizardTest, RegistrationDefaultsComeFromTheUserInformation) {
    const char* userInfo = wizard::RegistrationPage::kUserInfoKey;
    {
        core::RegistryKey key;
        ASSERT_TRUE(key.Create(userInfo, HKEY_CURRENT_USER));
        key.SetString("DefName", "Pat Doe");
        key.SetString("DefCompany", "Doe & Co");
    }
    WizardFrame& frame = Open({false, true, false});
    ::RegDeleteValueA(HKEY_CURRENT_USER, "DefName");
    core::RegistryKey key;
    if (key.Open(userInfo, false, HKEY_CURRENT_USER)) {
        key.DeleteValue("DefName");
        key.DeleteValue("DefCompany");
    }
    key.Close();
    ::RegDeleteKeyA(HKEY_CURRENT_USER, userInfo);
    HWND page = frame.Registration().Handle();
    EXPECT_EQ(ItemText(page, IDC_REGISTRATION_NAME), "Pat Doe");
    EXPECT_EQ(ItemText(page, IDC_REGISTRATION_COMPANY), "Doe & Co") << frame.Company();
    EXPECT_EQ(frame.UserName(), "Pat Doe");
    Click(frame, IDC_WIZ_NEXT);
    EXPECT_TRUE(::IsWindowEnabled(Button(IDC_WIZ_NEXT)));
}

TEST_F(WizardTest, CancelAndTheCloseBoxAskBeforeAborting) {
    struct Case {
        const char* how;
        std::function<void(HWND)> close;
    };
    const Case cases[] = {
        {"Cancel button",
         [](HWND frame) {
             ::SendMessageA(frame, WM_COMMAND, MAKEWPARAM(IDC_WIZ_CANCEL, BN_CLICKED),
                            LPARAM(::GetDlgItem(frame, IDC_WIZ_CANCEL)));
         }},
        {"close box", [](HWND frame) { ::SendMessageA(frame, WM_SYSCOMMAND, SC_CLOSE, 0); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        WizardFrame& frame = Open({true, false, false});
        Click(frame, IDC_WIZ_NEXT);
        std::string question;
        {
            automation::DialogAnswerer no("Setup", IDNO,
                                          [&](HWND box) { question = automation::MessageBoxText(box); });
            c.close(frame.Handle());
        }
        EXPECT_EQ(question, "Abort the installation?");
        EXPECT_TRUE(::IsWindow(frame.Handle()));
        EXPECT_EQ(frame.CurrentIndex(), 1);
        EXPECT_EQ(ButtonText(IDC_WIZ_NEXT), "Yes");
        EXPECT_EQ(frame.Result(), -1);
        {
            automation::DialogAnswerer yes("Setup", IDYES);
            c.close(frame.Handle());
        }
        EXPECT_EQ(frame.Result(), 0);
        EXPECT_EQ(frame.Handle(), nullptr);
        EXPECT_EQ(frame.PageCount(), 0u);
        frame_.reset();
    }
}

TEST_F(WizardTest, ModalRunAbortedReturnsZero) {
    shell::MenuWindow* menu = LoadMenu({false, false, false});
    ASSERT_NE(menu, nullptr);
    std::thread user([] {
        HWND wizard = automation::WaitForDialog("English title");
        if (!wizard) return;
        automation::PressButton(wizard, IDC_WIZ_CANCEL);
        if (HWND box = automation::WaitForDialog("Setup")) automation::PressButton(box, IDYES);
    });
    INT_PTR result = wizard::RunWizard(*menu, WizardMode::kInstall);
    user.join();
    EXPECT_EQ(result, 0);
}

TEST_F(WizardTest, FullInstallLeavesFilesRegistryShortcutAndLog) {
    std::string target = work_.File("Demo");
    installer::OperationList operations = {
        "create_folder|[TargetFolder]",
        "copy_file|Game.exe|[TargetFolder]\\Game.exe",
        "create_registry_key|HKEY_CURRENT_USER|" + key_,
        "create_registry_string|HKEY_CURRENT_USER|" + key_ + "|Folder|[TargetFolder]",
        "create_startmenu_folder|[StartMenu]",
        "create_shortcut|[StartMenu]\\Play|[TargetFolder]\\Game.exe||[TargetFolder]|[TargetFolder]\\Game.exe|0",
    };
    WizardFrame& frame = Open({true, true, true}, operations);
    Click(frame, IDC_WIZ_NEXT);  // welcome
    Click(frame, IDC_WIZ_NEXT);  // licence: Yes
    automation::TypeText(::GetDlgItem(frame.Registration().Handle(), IDC_REGISTRATION_NAME), "Ann");
    Click(frame, IDC_WIZ_NEXT);
    ASSERT_EQ(Title(), "Target title");
    ::SetDlgItemTextA(frame.Target().Handle(), IDC_TARGET_PATH, target.c_str());
    EXPECT_EQ(frame.TargetFolder(), target);
    Click(frame, IDC_WIZ_NEXT);
    ASSERT_EQ(Title(), "Start menu title");
    HWND folder = ::GetDlgItem(frame.StartMenu().Handle(), IDC_STARTMENU_FOLDER);
    automation::ClearText(folder);
    automation::TypeText(folder, startMenu_);
    Click(frame, IDC_WIZ_NEXT);
    ASSERT_EQ(Title(), "Ready title");
    EXPECT_EQ(ItemText(frame.Ready().Handle(), IDC_READY_SUMMARY),
              "Licence title:\r\n        Accepted\r\n\r\n"
              "Registration title:\r\n        Name: Ann\r\n        Company: \r\n\r\n"
              "Target title:\r\n        " + target + "\r\n\r\n"
              "Start menu title:\r\n        " + startMenu_ + "\r\n\r\n");

    Click(frame, IDC_WIZ_NEXT);  // runs the install, then its queued Next arrives
    ASSERT_EQ(frame.CurrentPage(), &frame.Done());
    EXPECT_EQ(Title(), "Done title");
    EXPECT_EQ(ItemText(frame.Done().Handle(), IDC_PAGE_MESSAGE), "All went well");
    EXPECT_EQ(ButtonText(IDC_WIZ_NEXT), "Close");
    EXPECT_FALSE(::IsWindowEnabled(Button(IDC_WIZ_BACK)));
    EXPECT_FALSE(::IsWindowEnabled(Button(IDC_WIZ_CANCEL)));
    EXPECT_TRUE(::IsWindowEnabled(Button(IDC_WIZ_NEXT)));
    EXPECT_EQ(frame.Installing().ProgressBar().Pos(), frame.Installing().ProgressBar().Upper());

    EXPECT_EQ(testutil::ReadFile(target + "\\Game.exe"), std::string(5000, 'g'));
    EXPECT_EQ(testutil::ReadFile(target + "\\Setup.exe"), "the running program");
    core::RegistryKey key;
    ASSERT_TRUE(key.Open(key_.c_str(), true, HKEY_CURRENT_USER));
    EXPECT_EQ(key.GetString("Folder"), target);
    key.Close();
    std::string link = ProgramsFolder() + "\\" + startMenu_ + "\\Play.lnk";
    EXPECT_TRUE(fs::exists(link));
    core::DataGroup log;
    ASSERT_TRUE(log.Load((target + "\\Setup.uni").c_str()));
    const auto& todo = frame.Installing().UndoRecords();
    ASSERT_FALSE(todo.empty());
    EXPECT_EQ(todo.front(), "delete_file|" + target + "\\Setup.exe");
    EXPECT_EQ(todo.back(), "delete_file|" + target + "\\Setup.uni");
    core::DataValue stored = log.GetValue("ToDo");
    ASSERT_NE(stored.GetList(), nullptr);
    EXPECT_EQ(stored.GetList()->size(), todo.size());

    Click(frame, IDC_WIZ_NEXT);  // Close: no question once finished
    EXPECT_EQ(frame.Result(), 1);

    // Undo what the install made, as the uninstaller would (it removes the
    // log before the folder).
    fs::remove(target + "\\Setup.uni");
    Undo(todo);
    EXPECT_FALSE(fs::exists(target));
    EXPECT_FALSE(fs::exists(link));
    EXPECT_FALSE(key.Open(key_.c_str(), true, HKEY_CURRENT_USER));
}

TEST_F(WizardTest, ErrorAnsweredWithCancelRollsBackAndReportsTheFailure) {
    std::string target = work_.File("Demo");
    installer::OperationList operations = {
        "create_folder|[TargetFolder]",
        "copy_file|Game.exe|[TargetFolder]\\Game.exe",
        "create_registry_key|HKEY_CURRENT_USER|" + key_,
        "copy_file|Missing.exe|[TargetFolder]\\Missing.exe",
    };
    WizardFrame& frame = Open({false, false, false}, operations);
    Click(frame, IDC_WIZ_NEXT);
    ::SetDlgItemTextA(frame.Target().Handle(), IDC_TARGET_PATH, target.c_str());
    Click(frame, IDC_WIZ_NEXT);
    ASSERT_EQ(Title(), "Ready title");
    std::string error;
    {
        automation::DialogAnswerer cancel("Setup", IDCANCEL,
                                          [&](HWND box) { error = automation::MessageBoxText(box); });
        Click(frame, IDC_WIZ_NEXT);
    }
    ui::PumpPendingMessages();
    EXPECT_EQ(error, "Cannot open Missing.exe.");
    ASSERT_EQ(frame.CurrentPage(), &frame.Done());
    EXPECT_EQ(Title(), "Failed title");
    EXPECT_EQ(ItemText(frame.Done().Handle(), IDC_PAGE_MESSAGE), "The installation failed");
    EXPECT_FALSE(fs::exists(target));
    core::RegistryKey key;
    EXPECT_FALSE(key.Open(key_.c_str(), true, HKEY_CURRENT_USER));
    Click(frame, IDC_WIZ_NEXT);
    EXPECT_EQ(frame.Result(), 0);
}

// The browser runs modally on this thread; the user works on another.
TEST_F(WizardTest, FolderBrowserOpensOnAPathAndReturnsTheChosenFolder) {
    testutil::TempFolder tree("wiztree");
    fs::create_directories(tree.Path() / "Alpha" / "Beta");
    fs::create_directories(tree.Path() / "Alpha" / ".hidden");
    fs::create_directories(tree.Path() / "Alpha" / "Gamma");
    std::string base = tree.Str();
    // The last component does not exist; the middle one differs in case.
    std::string initial = base + "\\ALPHA\\Beta\\Missing";
    WizardFrame& frame = Open({false, false, false});
    Click(frame, IDC_WIZ_NEXT);
    ::SetDlgItemTextA(frame.Target().Handle(), IDC_TARGET_PATH, initial.c_str());

    std::string shownPath, selected, chosenPath, cancelledPath = "<unread>", drive = "<unread>";
    std::vector<std::string> alphaChildren;
    std::thread user([&] {
        HWND browser = automation::WaitForDialog("Choose a folder");
        if (!browser) return;
        HWND treeView = ::GetDlgItem(browser, IDC_BROWSER_TREE);
        shownPath = ItemText(browser, IDC_BROWSER_PATH);
        HWND drives = ::GetDlgItem(browser, IDC_BROWSER_DRIVES);
        char name[MAX_PATH] = {};
        LRESULT at = ::SendMessageA(drives, CB_GETCURSEL, 0, 0);
        if (at >= 0) ::SendMessageA(drives, CB_GETLBTEXT, WPARAM(at), LPARAM(name));
        drive = name;
        auto text = [treeView](HTREEITEM item) {
            char buffer[MAX_PATH] = {};
            TVITEMA data = {};
            data.mask = TVIF_TEXT | TVIF_HANDLE;
            data.hItem = item;
            data.pszText = buffer;
            data.cchTextMax = MAX_PATH;
            ::SendMessageA(treeView, TVM_GETITEMA, 0, LPARAM(&data));
            return std::string(buffer);
        };
        HTREEITEM current = TreeView_GetSelection(treeView);
        selected = text(current);
        HTREEITEM alpha = TreeView_GetParent(treeView, current);
        for (HTREEITEM c = TreeView_GetChild(treeView, alpha); c; c = TreeView_GetNextSibling(treeView, c))
            alphaChildren.push_back(text(c));
        TreeView_SelectItem(treeView, alpha);  // as a click on it does
        chosenPath = ItemText(browser, IDC_BROWSER_PATH);
        automation::PressButton(browser, IDOK);

        // A second visit ends with Cancel.
        for (int i = 0; i < 500 && ::IsWindow(browser); ++i) ::Sleep(10);
        HWND again = automation::WaitForDialog("Choose a folder");
        if (!again) return;
        cancelledPath = ItemText(again, IDC_BROWSER_PATH);
        automation::PressButton(again, IDCANCEL);
    });
    frame.Target().Browse();
    std::string afterOk = ItemText(frame.Target().Handle(), IDC_TARGET_PATH);
    frame.Target().Browse();
    user.join();

    EXPECT_EQ(shownPath, initial);
    // The drive of the path is selected under the shell's name for it.
    SHFILEINFOA info = {};
    std::string root = base.substr(0, 3);
    ASSERT_TRUE(::SHGetFileInfoA(root.c_str(), 0, &info, sizeof info, SHGFI_DISPLAYNAME));
    EXPECT_EQ(drive, info.szDisplayName);
    EXPECT_EQ(selected, "Beta");
    EXPECT_EQ(alphaChildren, (std::vector<std::string>{"Beta", "Gamma"}));
    EXPECT_EQ(chosenPath, base + "\\Alpha");
    EXPECT_EQ(afterOk, base + "\\Alpha");
    EXPECT_EQ(cancelledPath, base + "\\Alpha");
    EXPECT_EQ(frame.TargetFolder(), base + "\\Alpha");
    EXPECT_EQ(ItemText(frame.Target().Handle(), IDC_TARGET_PATH), base + "\\Alpha");
}

// A progress control in a plain window, painted by the percentage bar.
class ProgressBarTest : public ::testing::Test {
protected:
    void SetUp() override {
        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
        ::InitCommonControlsEx(&controls);
        parent_ = ::CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 10, 10, 240, 40, nullptr, nullptr,
                                    nullptr, nullptr);
        control_ = ::CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD | WS_VISIBLE, 0, 0, 202, 22, parent_,
                                     nullptr, nullptr, nullptr);
        ASSERT_TRUE(bar_.Attach(control_));
        bar_.ShowText(true);
    }
    void TearDown() override { ::DestroyWindow(parent_); }

    HWND parent_ = nullptr, control_ = nullptr;
    wizard::PercentProgressBar bar_;
};

TEST_F(ProgressBarTest, PaintsBarFrameAndTwoColouredPercentage) {
    const COLORREF bar = ::GetSysColor(COLOR_HIGHLIGHT), rest = ::GetSysColor(COLOR_WINDOW),
                   face = ::GetSysColor(COLOR_BTNFACE);
    ASSERT_NE(bar, rest);
    struct Case {
        int position;
        const char* text;
        int filled;        // of the 200 inner columns
        bool digitsOnBar;  // some of the text lies over the filled part
        bool digitsOnRest;
    };
    const Case cases[] = {
        {0, "0%", 0, false, true},       {50, "50%", 100, true, true},  {100, "100%", 200, true, false},
        {150, "100%", 200, true, false}, {-20, "0%", 0, false, true},   {10, "10%", 20, false, true},
        {48, "48%", 96, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("position " + std::to_string(c.position));
        bar_.SetRange(0, 100);
        bar_.SetPos(c.position);
        automation::Pixels pixels = automation::CaptureClient(control_);
        ASSERT_EQ(pixels.width, 202);
        ASSERT_EQ(pixels.height, 22);
        EXPECT_EQ(bar_.LastText(), c.text);
        // Frame: black top and left, button face bottom and right.
        EXPECT_EQ(pixels.At(100, 0), RGB(0, 0, 0));
        EXPECT_EQ(pixels.At(0, 11), RGB(0, 0, 0));
        EXPECT_EQ(pixels.At(100, 21), face);
        EXPECT_EQ(pixels.At(201, 11), face);
        // The first inner row holds no text: it shows the bar's length exactly.
        int filled = 0;
        for (int x = 1; x <= 200; ++x) filled += pixels.At(x, 1) == bar;
        EXPECT_EQ(filled, c.filled);
        for (int x = 1; x <= 200; ++x)
            ASSERT_EQ(pixels.At(x, 1), x <= c.filled ? bar : rest) << "column " << x;
        // The digits: rest colour over the bar, bar colour over the rest.
        int restOnBar = 0, barOnRest = 0;
        for (int y = 2; y < 20; ++y) {
            for (int x = 1; x <= 200; ++x) {
                COLORREF p = pixels.At(x, y);
                if (x <= c.filled && p == rest) ++restOnBar;
                if (x > c.filled && p == bar) ++barOnRest;
            }
        }
        EXPECT_EQ(restOnBar > 0, c.digitsOnBar);
        EXPECT_EQ(barOnRest > 0, c.digitsOnRest);
    }
}

TEST_F(ProgressBarTest, DisabledBarHasButtonFaceAndNoText) {
    bar_.SetRange(0, 10);
    bar_.SetPos(5);
    ::EnableWindow(control_, FALSE);
    automation::Pixels pixels = automation::CaptureClient(control_);
    const COLORREF bar = ::GetSysColor(COLOR_HIGHLIGHT), face = ::GetSysColor(COLOR_BTNFACE);
    for (int y = 1; y < 21; ++y) {
        for (int x = 1; x <= 200; ++x) ASSERT_EQ(pixels.At(x, y), x <= 100 ? bar : face) << x << "," << y;
    }
}

// Both animations open in the common animation control, which needs a
// decoder for their run-length encoding, and have the expected frame sizes.
TEST(WizardAnimations, OpenInTheAnimationControl) {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_ANIMATE_CLASS};
    ::InitCommonControlsEx(&controls);
    struct Case {
        int resource;
        int width, height;
    };
    for (const Case& c : {Case{IDA_WIZARD_INSTALLING, 272, 60}, Case{IDA_WIZARD_UNINSTALLING, 304, 60}}) {
        SCOPED_TRACE("animation " + std::to_string(c.resource));
        HWND animation = ::CreateWindowExA(0, ANIMATE_CLASSA, "", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10, nullptr,
                                           nullptr, nullptr, nullptr);
        ASSERT_NE(animation, nullptr);
        EXPECT_TRUE(::SendMessageA(animation, ACM_OPENA, WPARAM(::GetModuleHandleA(nullptr)),
                                   LPARAM(MAKEINTRESOURCEA(c.resource))));
        // Without ACS_CENTER the control takes the size of the frames.
        RECT rect;
        ::GetClientRect(animation, &rect);
        EXPECT_EQ(rect.right, c.width);
        EXPECT_EQ(rect.bottom, c.height);
        // The first frame, decoded, shows the disc's light blue.
        ::SendMessageA(animation, ACM_PLAY, 1, MAKELPARAM(0, 0));
        ::UpdateWindow(animation);
        automation::Pixels pixels = automation::CaptureClient(animation);
        int blue = 0;
        for (COLORREF p : pixels.colors) blue += p == RGB(110, 150, 220);
        EXPECT_GT(blue, 100);
        ::DestroyWindow(animation);
    }
}

TEST_F(WizardTest, UninstallModeRunsItsProgressAndFinishes) {
    WizardFrame& frame = Open({false, false, false}, {}, WizardMode::kUninstall);
    // The timed steps ran inside the page switch; their Next has arrived.
    ASSERT_EQ(frame.PageCount(), 2u);
    EXPECT_EQ(frame.CurrentPage(), &frame.UninstallDone());
    EXPECT_EQ(frame.Uninstalling().Position(), wizard::UninstallingPage::kTimedSteps);
    EXPECT_EQ(Title(), "Removed title");
    EXPECT_EQ(ItemText(frame.UninstallDone().Handle(), IDC_PAGE_MESSAGE), "Removed message");
    EXPECT_EQ(ButtonText(IDC_WIZ_NEXT), "Close");
    EXPECT_FALSE(::IsWindowEnabled(Button(IDC_WIZ_CANCEL)));
    Click(frame, IDC_WIZ_NEXT);
    EXPECT_EQ(frame.Result(), 1);
}

TEST_F(WizardTest, UninstallWorkDrivesTheBarAndCancelStopsIt) {
    struct Case {
        bool cancel;
        INT_PTR result;
    };
    for (const Case c : {Case{false, 1}, Case{true, 0}}) {
        SCOPED_TRACE(c.cancel ? "cancelled" : "finished");
        shell::MenuWindow* menu = LoadMenu({false, false, false});
        ASSERT_NE(menu, nullptr);
        host_ = std::make_unique<wizard::MenuWizardHost>(*menu);
        frame_ = std::make_unique<WizardFrame>(*host_, WizardMode::kUninstall);
        std::vector<int> seen;
        bool stopped = false;
        std::string question;
        frame_->SetUninstallWork([&](wizard::UninstallingPage& page) {
            page.SetRange(0, 3);
            for (int step = 1; step <= 3; ++step) {
                page.SetPosition(uint64_t(step));
                seen.push_back(page.Position());
                if (c.cancel && step == 2) {
                    automation::DialogAnswerer yes("Setup", IDYES,
                                                   [&](HWND box) { question = automation::MessageBoxText(box); });
                    automation::PressButton(page.Frame().Handle(), IDC_WIZ_CANCEL);
                    for (int i = 0; i < 1000 && page.KeepAlive(); ++i) ::Sleep(5);
                }
                if (!page.KeepAlive()) {
                    stopped = true;
                    return false;
                }
            }
            return true;
        });
        // A Cancel confirmed during the first page's run ends the wizard
        // before its creation returns.
        frame_->Create(menu->Handle());
        ui::PumpPendingMessages();
        if (c.cancel) {
            EXPECT_EQ(frame_->Handle(), nullptr);
            EXPECT_EQ(question, "Abort the removal?");
            EXPECT_TRUE(stopped);
            EXPECT_EQ(seen, (std::vector<int>{1, 2}));
            EXPECT_EQ(frame_->Result(), 0);
        } else {
            EXPECT_EQ(seen, (std::vector<int>{1, 2, 3}));
            EXPECT_EQ(frame_->CurrentPage(), &frame_->UninstallDone());
            Click(*frame_, IDC_WIZ_NEXT);
            EXPECT_EQ(frame_->Result(), c.result);
        }
        frame_.reset();
    }
}

}  // namespace
