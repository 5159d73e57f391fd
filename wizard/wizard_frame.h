// The installer wizard: a modal frame with a white header, one page at a
// time, and Back, Next and Cancel. It owns the user's choices, builds the
// page sequence from the project's switches and tells its host whether the
// installation finished successfully.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "installer/operation_list.h"
#include "shell/texts.h"
#include "ui/dialog.h"
#include "ui/gdi.h"
#include "wizard/pages.h"
#include "wizard/target_page.h"

namespace shell {
class MenuWindow;
}

namespace wizard {

enum class WizardMode { kInstall, kUninstall };

// What the wizard takes from its host's project.
struct WizardSettings {
    bool showLicense = false;
    std::string licenseText;
    bool showRegistration = false;
    bool useStartMenu = false;
    bool rightAligned = false;
    installer::OperationList operations;
};

// The program that opens the wizard: the menu, or the uninstaller program
// with texts of its own.
class WizardHost {
public:
    virtual ~WizardHost() = default;
    virtual HWND Window() const = 0;
    // A text or key expanded in the current language; folders supplies
    // "[TargetFolder]" and "[StartMenu]".
    virtual std::string Expand(std::string_view text, const shell::WizardFolders* folders) const = 0;
    virtual WizardSettings Settings() const = 0;
};

// The menu window as host.
class MenuWizardHost : public WizardHost {
public:
    explicit MenuWizardHost(shell::MenuWindow& menu) : menu_(menu) {}
    HWND Window() const override;
    std::string Expand(std::string_view text, const shell::WizardFolders* folders) const override;
    WizardSettings Settings() const override;

private:
    shell::MenuWindow& menu_;
};

struct PageEntry {
    std::string title;
    WizardPage* page = nullptr;
};

class WizardFrame : public ui::Dialog {
public:
    enum Button { kBack = 0, kNext = 1, kCancel = 2 };
    static constexpr const char* kDefaultProgramFiles = "C:\\Program Files";

    WizardFrame(const WizardHost& host, WizardMode mode);
    ~WizardFrame() override;

    // Modal run: 1 when the wizard was closed after a finished, successful
    // install (or uninstall), else 0.
    INT_PTR Run(HWND owner) { return DoModal(owner); }

    // Page side.
    void SetButtonText(int index, const std::string& text);
    void EnableButton(int index, bool enabled);
    // Posts a click, handled after the current handler has returned.
    void ClickButton(int index);
    HWND ButtonHandle(int index) const;
    void SetPageTitle(WizardPage& page, const std::string& text);
    void SetFinished() { finished_ = true; }
    void SetSuccess(bool success) { success_ = success; }
    bool Finished() const { return finished_; }
    bool Success() const { return success_; }

    const std::string& TargetFolder() const { return folders_.targetFolder; }
    void SetTargetFolder(std::string folder) { folders_.targetFolder = std::move(folder); }
    const std::string& StartMenuFolder() const { return folders_.startMenu; }
    void SetStartMenuFolder(std::string folder) { folders_.startMenu = std::move(folder); }
    const std::string& UserName() const { return userName_; }
    void SetUserName(std::string name) { userName_ = std::move(name); }
    const std::string& Company() const { return company_; }
    void SetCompany(std::string company) { company_ = std::move(company); }

    const installer::OperationList& Operations() const { return operations_; }
    const WizardSettings& Settings() const { return settings_; }
    WizardMode Mode() const { return mode_; }
    bool RightAligned() const { return settings_.rightAligned; }
    // text expanded with the frame's folders as "[TargetFolder]" and "[StartMenu]".
    std::string Expand(std::string_view text) const;

    // Lets the caller drive the uninstall progress instead of the timed steps.
    void SetUninstallWork(UninstallWork work) { uninstalling_.SetWork(std::move(work)); }
    // True once the user confirmed Cancel while a run was in progress.
    bool ClosePending() const { return closePending_; }

    // The sequence as built, for the host and for checks.
    size_t PageCount() const { return sequence_.size(); }
    int CurrentIndex() const { return currentIndex_; }
    const PageEntry* Entry(size_t index) const { return index < sequence_.size() ? sequence_[index].get() : nullptr; }
    WizardPage* CurrentPage() const { return current_ ? current_->page : nullptr; }
    // The result of the last close; -1 while open.
    INT_PTR Result() const { return result_; }

    WelcomePage& Welcome() { return welcome_; }
    LicensePage& License() { return license_; }
    RegistrationPage& Registration() { return registration_; }
    TargetPage& Target() { return target_; }
    StartMenuPage& StartMenu() { return startMenu_; }
    ReadyPage& Ready() { return ready_; }
    InstallingPage& Installing() { return installing_; }
    DonePage& Done() { return done_; }
    UninstallingPage& Uninstalling() { return uninstalling_; }
    UninstallDonePage& UninstallDone() { return uninstallDone_; }

    // Shows page index of the sequence; starts a run when it is one.
    void GoToPage(int index);
    // The close rule: asks unless finished, then ends with the result.
    void Close();

protected:
    bool OnInit() override;
    bool OnCommand(int id, int code, HWND control) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result) override;
    void OnOK() override;
    void OnCancel() override {}
    void OnDestroy() override;

private:
    void BuildSequence();
    bool AddPage(WizardPage& page, std::string_view titleKey);
    void LayoutHeader();
    void FinishClose();
    std::string DefaultTargetFolder() const;

    const WizardHost& host_;
    WizardMode mode_;
    WizardSettings settings_;
    installer::OperationList operations_;
    ui::Font titleFont_;
    HICON bigIcon_ = nullptr;
    shell::WizardFolders folders_;
    std::string userName_, company_;
    bool finished_ = false;
    bool success_ = true;
    WelcomePage welcome_;
    LicensePage license_;
    RegistrationPage registration_;
    TargetPage target_;
    StartMenuPage startMenu_;
    ReadyPage ready_;
    InstallingPage installing_;
    DonePage done_;
    UninstallingPage uninstalling_;
    UninstallDonePage uninstallDone_;
    std::vector<std::unique_ptr<PageEntry>> sequence_;
    PageEntry* current_ = nullptr;
    int currentIndex_ = -1;
    bool closePending_ = false;
    INT_PTR result_ = -1;
};

// Opens the wizard over the menu; 1 after a finished successful install.
INT_PTR RunWizard(shell::MenuWindow& host, WizardMode mode);

}  // namespace wizard
