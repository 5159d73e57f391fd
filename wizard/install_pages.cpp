// The pages of the run itself: the summary, the install with its animation
// and percentage bar, the final page, and the two uninstall pages.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <climits>

#include "resources/resource_ids.h"
#include "shell/texts.h"
#include "ui/message_loop.h"
#include "wizard/pages.h"
#include "wizard/right_aligned.h"
#include "wizard/wizard_frame.h"

namespace wizard {

namespace {

void PlayAnimation(HWND page, int resource) {
    HWND animation = ::GetDlgItem(page, IDC_PAGE_ANIMATION);
    if (!animation) return;
    ::SendMessageA(animation, ACM_OPENA, WPARAM(ui::ResourceModule()), LPARAM(MAKEINTRESOURCEA(resource)));
    ::SendMessageA(animation, ACM_PLAY, WPARAM(-1), MAKELPARAM(0, 0xFFFF));
}

std::string WithoutAmpersands(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '&'), text.end());
    return text;
}

}  // namespace

ReadyPage::ReadyPage(WizardFrame& frame) : WizardPage(frame, IDD_WIZARD_READY) {}

bool ReadyPage::OnInit() {
    RightAlign(IDC_PAGE_MESSAGE);
    RightAlign(IDC_READY_LABEL);
    RightAlign(IDC_READY_SUMMARY);
    SetItemText(IDC_PAGE_MESSAGE, "[INSTALL_READY_MESSAGE]");
    SetItemText(IDC_READY_LABEL, "[INSTALL_READY_CURRENTSETTINGS]");
    return false;
}

std::string ReadyPage::Summary() const {
    const WizardFrame& frame = Frame();
    const WizardSettings& settings = frame.Settings();
    auto e = [&frame](const char* key) { return frame.Expand(key); };
    const std::string indent(8, ' ');
    std::string summary;
    if (settings.showLicense)
        summary += e("[INSTALL_LICENSE_TITLE]") + ":\r\n" + indent + e("[INSTALL_LICENSE_ACCEPTED]") + "\r\n\r\n";
    if (settings.showRegistration) {
        summary += e("[INSTALL_REGISTRATION_TITLE]") + ":\r\n";
        summary += indent + WithoutAmpersands(e("[INSTALL_REGISTRATION_NAME]")) + " " + frame.UserName() + "\r\n";
        std::string companyLabel = WithoutAmpersands(e("[INSTALL_REGISTRATION_COMPANY]"));
        if (!companyLabel.empty()) summary += indent + companyLabel + " " + frame.Company() + "\r\n";
        summary += "\r\n";
    }
    summary += e("[INSTALL_TARGET_TITLE]") + ":\r\n" + indent + frame.TargetFolder() + "\r\n\r\n";
    if (settings.useStartMenu)
        summary += e("[INSTALL_STARTMENU_TITLE]") + ":\r\n" + indent + frame.StartMenuFolder() + "\r\n\r\n";
    return summary;
}

void ReadyPage::OnShow() { ::SetDlgItemTextA(hwnd_, IDC_READY_SUMMARY, Summary().c_str()); }

InstallingPage::InstallingPage(WizardFrame& frame) : WizardPage(frame, IDD_WIZARD_INSTALLING) {}

bool InstallingPage::OnInit() {
    RightAlign(IDC_PAGE_MESSAGE);
    operations_.insert(operations_.end(), Frame().Operations().begin(), Frame().Operations().end());
    SetItemText(IDC_PAGE_MESSAGE, "[INSTALL_INSTALLING_MESSAGE]");
    PlayAnimation(hwnd_, IDA_WIZARD_INSTALLING);
    bar_.Attach(GetItem(IDC_PAGE_PROGRESS));
    bar_.ShowText(true);
    bar_.SetRange(0, 1);
    bar_.SetPos(0);
    return false;
}

void InstallingPage::OnDestroy() { bar_.Detach(); }

void InstallingPage::OnShow() {
    for (int button : {WizardFrame::kBack, WizardFrame::kNext, WizardFrame::kCancel})
        Frame().EnableButton(button, false);
}

void InstallingPage::OnHide() { Frame().EnableButton(WizardFrame::kNext, true); }

void InstallingPage::RunInstall() {
    if (running_) return;
    running_ = true;
    bool ok = installer::RunInstall(*this, operations_, &undo_, this, Frame().RightAligned());
    running_ = false;
    Frame().SetSuccess(ok);
    Frame().ClickButton(WizardFrame::kNext);
}

HWND InstallingPage::Owner() { return Frame().Handle(); }

std::string InstallingPage::Expand(std::string_view text) { return Frame().Expand(text); }

void InstallingPage::KeepAlive() {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
        if (!ui::PumpOneMessage()) break;
    }
}

void InstallingPage::SetRange(uint64_t lower, uint64_t upper) {
    // The bar counts in int; totals of more than 2 GB are shown in larger units.
    scale_ = 1;
    while (upper / scale_ > uint64_t(INT_MAX)) scale_ *= 2;
    bar_.SetRange(int(lower / scale_), int(upper / scale_));
}

void InstallingPage::SetPosition(uint64_t position) {
    bar_.SetPos(int(std::min<uint64_t>(position / scale_, uint64_t(INT_MAX))));
}

DonePage::DonePage(WizardFrame& frame) : WizardPage(frame, IDD_WIZARD_DONE) {}

bool DonePage::OnInit() {
    RightAlign(IDC_PAGE_MESSAGE);
    return false;
}

void DonePage::OnShow() {
    bool success = Frame().Success();
    Frame().SetPageTitle(*this, Frame().Expand(success ? "[INSTALL_DONE_TITLE]" : "[INSTALL_DONE_TITLE_ERROR]"));
    SetItemText(IDC_PAGE_MESSAGE, success ? "[INSTALL_DONE_MESSAGE]" : "[INSTALL_DONE_MESSAGE_ERROR]");
    Frame().SetButtonText(WizardFrame::kNext, Frame().Expand("[INSTALL_GENERAL_CLOSEBUTTON]"));
    Frame().SetFinished();
}

UninstallingPage::UninstallingPage(WizardFrame& frame) : WizardPage(frame, IDD_WIZARD_UNINSTALLING) {}

bool UninstallingPage::OnInit() {
    RightAlign(IDC_PAGE_MESSAGE);
    SetItemText(IDC_PAGE_MESSAGE, "[INSTALL_UNINST_UNINSTALLING_MESSAGE]");
    PlayAnimation(hwnd_, IDA_WIZARD_UNINSTALLING);
    return false;
}

void UninstallingPage::OnShow() {
    Frame().EnableButton(WizardFrame::kBack, false);
    Frame().EnableButton(WizardFrame::kNext, false);
}

void UninstallingPage::OnHide() { Frame().EnableButton(WizardFrame::kNext, true); }

bool UninstallingPage::KeepAlive() {
    if (!quitting_ && !ui::PumpPendingMessages()) quitting_ = true;
    return !quitting_ && !Frame().ClosePending();
}

HWND UninstallingPage::Owner() const { return Frame().Handle(); }

std::string UninstallingPage::Expand(std::string_view text) const { return Frame().Expand(text); }

int UninstallingPage::Position() const {
    return int(::SendDlgItemMessageA(hwnd_, IDC_PAGE_PROGRESS, PBM_GETPOS, 0, 0));
}

void UninstallingPage::SetRange(uint64_t lower, uint64_t upper) {
    auto clampInt = [](uint64_t v) { return LPARAM(std::min<uint64_t>(v, uint64_t(INT_MAX))); };
    ::SendDlgItemMessageA(hwnd_, IDC_PAGE_PROGRESS, PBM_SETRANGE32, WPARAM(clampInt(lower)), clampInt(upper));
}

void UninstallingPage::SetPosition(uint64_t position) {
    ::SendDlgItemMessageA(hwnd_, IDC_PAGE_PROGRESS, PBM_SETPOS,
                          WPARAM(std::min<uint64_t>(position, uint64_t(INT_MAX))), 0);
}

void UninstallingPage::RunProgress() {
    if (running_) return;
    running_ = true;
    bool carryOn = true;
    if (work_) {
        Frame().SetSuccess(work_(*this));
        carryOn = KeepAlive();
    } else {
        SetRange(0, kTimedSteps);
        ::SendDlgItemMessageA(hwnd_, IDC_PAGE_PROGRESS, PBM_SETSTEP, 1, 0);
        for (int step = 0; step < kTimedSteps && carryOn; ++step) {
            carryOn = KeepAlive();
            ::Sleep(1);
            ::SendDlgItemMessageA(hwnd_, IDC_PAGE_PROGRESS, PBM_STEPIT, 0, 0);
        }
    }
    running_ = false;
    // After a confirmed Cancel the frame ends instead of moving on.
    if (carryOn) Frame().ClickButton(WizardFrame::kNext);
}

UninstallDonePage::UninstallDonePage(WizardFrame& frame) : WizardPage(frame, IDD_WIZARD_UNINSTALL_DONE) {}

bool UninstallDonePage::OnInit() {
    RightAlign(IDC_PAGE_MESSAGE);
    SetItemText(IDC_PAGE_MESSAGE, "[INSTALL_UNINST_DONE_MESSAGE]");
    return false;
}

void UninstallDonePage::OnShow() {
    Frame().SetButtonText(WizardFrame::kNext, Frame().Expand("[INSTALL_GENERAL_CLOSEBUTTON]"));
    Frame().SetFinished();
}

}  // namespace wizard
