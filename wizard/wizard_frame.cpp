#include "wizard/wizard_frame.h"

#include <commctrl.h>

#include "core/registry.h"
#include "resources/resource_ids.h"
#include "shell/menu_window.h"
#include "ui/message_box.h"
#include "wizard/right_aligned.h"

namespace wizard {

namespace {

const int kButtonIds[] = {IDC_WIZ_BACK, IDC_WIZ_NEXT, IDC_WIZ_CANCEL};
constexpr int kPictureWidth = 70;
constexpr int kHeaderHeight = 47;

void LoadCommonControls() {
    INITCOMMONCONTROLSEX controls = {sizeof controls,
                                     ICC_ANIMATE_CLASS | ICC_PROGRESS_CLASS | ICC_TREEVIEW_CLASSES |
                                         ICC_USEREX_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
}

}  // namespace

HWND MenuWizardHost::Window() const { return menu_.Handle(); }

std::string MenuWizardHost::Expand(std::string_view text, const shell::WizardFolders* folders) const {
    return menu_.ExpandText(text, folders);
}

WizardSettings MenuWizardHost::Settings() const {
    const shell::ProjectSettings& s = menu_.Settings();
    WizardSettings w;
    w.showLicense = s.ShowLicense;
    w.licenseText = s.LicenseText;
    w.showRegistration = s.ShowRegistration;
    w.useStartMenu = s.UseInstallerStartMenu;
    w.rightAligned = s.RightAligned;
    w.operations = s.Operations;
    return w;
}

WizardFrame::WizardFrame(const WizardHost& host, WizardMode mode)
    : ui::Dialog(IDD_WIZARD),
      host_(host),
      mode_(mode),
      settings_(host.Settings()),
      operations_(settings_.operations),
      welcome_(*this),
      license_(*this),
      registration_(*this),
      target_(*this),
      startMenu_(*this),
      ready_(*this),
      installing_(*this),
      done_(*this),
      uninstalling_(*this),
      uninstallDone_(*this) {
    LoadCommonControls();
    bigIcon_ = static_cast<HICON>(::LoadImageA(ui::ResourceModule(), MAKEINTRESOURCEA(IDI_WIZARD), IMAGE_ICON,
                                               ::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON), 0));
}

// The icon was loaded at its own size, so it is ours to free (a shared icon
// from LoadIcon would not be).
WizardFrame::~WizardFrame() {
    if (bigIcon_) ::DestroyIcon(bigIcon_);
}

std::string WizardFrame::Expand(std::string_view text) const { return host_.Expand(text, &folders_); }

HWND WizardFrame::ButtonHandle(int index) const {
    if (index < 0 || index > 2 || !hwnd_) return nullptr;
    return ::GetDlgItem(hwnd_, kButtonIds[index]);
}

void WizardFrame::SetButtonText(int index, const std::string& text) {
    if (HWND button = ButtonHandle(index)) ::SetWindowTextA(button, text.c_str());
}

void WizardFrame::EnableButton(int index, bool enabled) {
    if (HWND button = ButtonHandle(index)) ::EnableWindow(button, enabled);
}

void WizardFrame::ClickButton(int index) {
    if (HWND button = ButtonHandle(index))
        ::PostMessageA(hwnd_, WM_COMMAND, MAKEWPARAM(kButtonIds[index], BN_CLICKED), LPARAM(button));
}

void WizardFrame::SetPageTitle(WizardPage& page, const std::string& text) {
    for (auto& entry : sequence_) {
        if (entry->page == &page) entry->title = text;
    }
    ::SetDlgItemTextA(hwnd_, IDC_WIZ_TITLE, text.c_str());
}

bool WizardFrame::OnInit() {
    ApplyRightAligned(GetItem(IDC_WIZ_TITLE), RightAligned());
    ::ShowWindow(GetItem(IDC_WIZ_PLACEHOLDER), SW_HIDE);
    if (bigIcon_) Send(WM_SETICON, ICON_BIG, LPARAM(bigIcon_));

    SetText(Expand("[ApplicationName]"));
    finished_ = false;
    SetButtonText(kBack, Expand("[INSTALL_GENERAL_BACKBUTTON]"));
    SetButtonText(kNext, Expand("[INSTALL_GENERAL_NEXTBUTTON]"));
    SetButtonText(kCancel, Expand("[INSTALL_GENERAL_CANCELBUTTON]"));
    current_ = nullptr;
    currentIndex_ = -1;
    closePending_ = false;
    result_ = -1;

    BuildSequence();

    LOGFONTA lf = {};
    HFONT dialogFont = reinterpret_cast<HFONT>(Send(WM_GETFONT));
    if (dialogFont && ::GetObjectA(dialogFont, sizeof lf, &lf)) {
        lf.lfWeight = FW_BOLD;
        lf.lfHeight = -13;
        titleFont_.Attach(::CreateFontIndirectA(&lf));
        if (titleFont_.Get()) ::SendDlgItemMessageA(hwnd_, IDC_WIZ_TITLE, WM_SETFONT, WPARAM(titleFont_.Get()), TRUE);
    }
    LayoutHeader();

    CenterOnScreen();
    Show(SW_SHOW);
    GoToPage(0);
    return false;  // GoToPage placed the focus
}

std::string WizardFrame::DefaultTargetFolder() const {
    std::string folder = kDefaultProgramFiles;
    core::RegistryKey key;
    if (key.Open("Software\\Microsoft\\Windows\\CurrentVersion", true, HKEY_LOCAL_MACHINE)) {
        // An empty or missing value would leave a bare "\": keep the default then.
        std::string value = key.IsString("ProgramFilesDir") ? key.GetString("ProgramFilesDir") : std::string();
        if (!value.empty()) folder = value;
    }
    if (folder.back() != '\\') folder += '\\';
    return Expand(folder + "[AltApplicationName]");
}

bool WizardFrame::AddPage(WizardPage& page, std::string_view titleKey) {
    if (!page.Create(hwnd_)) return false;
    auto entry = std::make_unique<PageEntry>();
    entry->title = titleKey.empty() ? std::string() : Expand(titleKey);
    entry->page = &page;
    sequence_.push_back(std::move(entry));
    return true;
}

void WizardFrame::BuildSequence() {
    if (mode_ == WizardMode::kInstall) {
        // The pages copy these defaults when they are created.
        folders_.targetFolder = DefaultTargetFolder();
        folders_.startMenu = Expand("[AltApplicationName]");
        AddPage(welcome_, "[INSTALL_WELCOME_TITLE]");
        if (settings_.showLicense) {
            license_.SetLicenseText(settings_.licenseText);
            AddPage(license_, "[INSTALL_LICENSE_TITLE]");
        }
        if (settings_.showRegistration) AddPage(registration_, "[INSTALL_REGISTRATION_TITLE]");
        AddPage(target_, "[INSTALL_TARGET_TITLE]");
        if (settings_.useStartMenu) AddPage(startMenu_, "[INSTALL_STARTMENU_TITLE]");
        AddPage(ready_, "[INSTALL_READY_TITLE]");
        AddPage(installing_, "[INSTALL_INSTALLING_TITLE]");
        AddPage(done_, "");
    } else {
        AddPage(uninstalling_, "[INSTALL_UNINST_UNINSTALLING_TITLE]");
        AddPage(uninstallDone_, "[INSTALL_UNINST_DONE_TITLE]");
    }

    RECT area;
    ::GetWindowRect(GetItem(IDC_WIZ_PLACEHOLDER), &area);
    ::MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&area), 2);
    for (auto& entry : sequence_)
        entry->page->SetPos(nullptr, area.left, area.top, area.right - area.left, area.bottom - area.top,
                            SWP_NOZORDER | SWP_NOACTIVATE);
}

void WizardFrame::LayoutHeader() {
    RECT client;
    GetClientRect(&client);
    int w = client.right - client.left;
    auto place = [this](int id, int x, int y, int cx, int cy) {
        HWND control = GetItem(id);
        ::SetWindowPos(control, nullptr, x, y, cx, cy, SWP_NOZORDER | SWP_NOACTIVATE);
        ::InvalidateRect(control, nullptr, TRUE);
    };
    place(IDC_WIZ_HEADER, 0, 0, w - kPictureWidth, kHeaderHeight);
    place(IDC_WIZ_HEADER_PICTURE, w - kPictureWidth, 0, kPictureWidth, kHeaderHeight);
    place(IDC_WIZ_HEADER_LINE, -2, kHeaderHeight, w + 4, 2);
    RECT line;
    ::GetWindowRect(GetItem(IDC_WIZ_BUTTON_LINE), &line);
    ::MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&line), 2);
    place(IDC_WIZ_BUTTON_LINE, -2, line.top, w + 4, 2);
}

void WizardFrame::GoToPage(int index) {
    if (index < 0 || size_t(index) >= sequence_.size()) return;
    if (current_) {
        current_->page->OnHide();
        current_->page->Show(SW_HIDE);
    }
    HWND back = ButtonHandle(kBack), next = ButtonHandle(kNext);
    if (index > 0) {
        ::ShowWindow(back, SW_SHOW);
        ::EnableWindow(back, TRUE);
    } else {
        ::SetFocus(next);
        ::EnableWindow(back, FALSE);
        ::ShowWindow(back, SW_HIDE);
    }
    if (size_t(index) == sequence_.size() - 1) {
        EnableButton(kBack, false);
        EnableButton(kCancel, false);
        ::SetFocus(next);
    }
    current_ = sequence_[size_t(index)].get();
    ::SetDlgItemTextA(hwnd_, IDC_WIZ_TITLE, current_->title.c_str());
    currentIndex_ = index;
    current_->page->Show(SW_SHOW);
    current_->page->OnShow();

    if (current_->page == &installing_) installing_.RunInstall();
    else if (current_->page == &uninstalling_) uninstalling_.RunProgress();
    // A Cancel confirmed while a run was going ends the wizard now that it is over.
    if (closePending_) FinishClose();
}

void WizardFrame::Close() {
    if (sequence_.empty()) return;
    // The install cannot be interrupted half-way: closing waits for its end.
    if (installing_.Running()) return;
    if (!finished_) {
        std::string question =
            Expand(mode_ == WizardMode::kInstall ? "[INSTALL_GENERAL_ABORTINSTALL]" : "[INSTALL_GENERAL_ABORTUNINSTALL]");
        if (ui::ShowMessage(hwnd_, question, "Setup", MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) != IDYES) return;
    }
    if (uninstalling_.Running()) {
        closePending_ = true;  // the progress stops at its next step; GoToPage ends the wizard
        return;
    }
    FinishClose();
}

void WizardFrame::FinishClose() {
    for (auto& entry : sequence_) entry->page->Destroy();
    sequence_.clear();
    current_ = nullptr;
    result_ = finished_ && success_ ? 1 : 0;
    End(result_);
}

void WizardFrame::OnOK() {
    // Enter outside a push button acts as Next, but only while Next is enabled.
    HWND next = ButtonHandle(kNext);
    if (next && ::IsWindowEnabled(next)) OnCommand(IDC_WIZ_NEXT, BN_CLICKED, next);
}

bool WizardFrame::OnCommand(int id, int code, HWND control) {
    switch (id) {
    case IDC_WIZ_BACK:
        if (code == BN_CLICKED) GoToPage(currentIndex_ - 1);
        return true;
    case IDC_WIZ_NEXT:
        if (code != BN_CLICKED) return true;
        if (currentIndex_ + 1 < int(sequence_.size())) GoToPage(currentIndex_ + 1);
        else Close();
        return true;
    case IDC_WIZ_CANCEL:
        if (code == BN_CLICKED) Close();
        return true;
    default:
        return ui::Dialog::OnCommand(id, code, control);
    }
}

bool WizardFrame::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result) {
    switch (message) {
    case WM_SYSCOMMAND:
        // The close box and Alt+F4 take the close rule; Escape (IDCANCEL) does not.
        if ((wParam & 0xFFF0) == SC_CLOSE) {
            Close();
            *result = 0;
            return true;
        }
        return false;
    case WM_CLOSE:
        Close();
        *result = 0;
        return true;
    case WM_CTLCOLORSTATIC:
        if (::GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) == IDC_WIZ_TITLE) {
            HDC dc = reinterpret_cast<HDC>(wParam);
            ::SetBkColor(dc, RGB(255, 255, 255));
            *result = reinterpret_cast<INT_PTR>(::GetStockObject(WHITE_BRUSH));
            return true;
        }
        return false;
    default:
        return false;
    }
}

void WizardFrame::OnDestroy() {
    // Closing the window by other means (its owner ending) still frees the pages.
    for (auto& entry : sequence_) entry->page->Destroy();
    sequence_.clear();
    current_ = nullptr;
}

INT_PTR RunWizard(shell::MenuWindow& host, WizardMode mode) {
    MenuWizardHost wizardHost(host);
    WizardFrame frame(wizardHost, mode);
    return frame.Run(host.Handle());
}

}  // namespace wizard
