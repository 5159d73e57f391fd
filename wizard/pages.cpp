// The pages that gather the user's decisions: welcome, licence,
// registration and Start-menu folder.
#include "wizard/pages.h"

#include "core/file_list.h"
#include "core/file_path.h"
#include "core/os_version.h"
#include "core/registry.h"
#include "resources/resource_ids.h"
#include "ui/controls.h"
#include "wizard/right_aligned.h"
#include "wizard/wizard_frame.h"

namespace wizard {

void WizardPage::SetItemText(int id, std::string_view text) {
    ::SetDlgItemTextA(hwnd_, id, frame_.Expand(text).c_str());
}

std::string WizardPage::ItemText(int id) const { return ui::Window(GetItem(id)).GetText(); }

void WizardPage::RightAlign(int id) { ApplyRightAligned(GetItem(id), frame_.RightAligned()); }

void WizardPage::FocusField(int id) {
    HWND field = GetItem(id);
    ::SendMessageA(field, EM_SETSEL, 0, -1);
    ::SendMessageA(field, EM_SCROLLCARET, 0, 0);
    ::SetFocus(field);
}

bool WizardPage::OnCommand(int id, int code, HWND control) {
    if (id == IDOK || id == IDCANCEL) return true;
    return OnControl(id, code, control);
}

WelcomePage::WelcomePage(WizardFrame& frame) : WizardPage(frame, IDD_WIZARD_WELCOME) {}

bool WelcomePage::OnInit() {
    RightAlign(IDC_PAGE_MESSAGE);
    RightAlign(IDC_PAGE_INFO);
    SetItemText(IDC_PAGE_MESSAGE, "[INSTALL_WELCOME_MESSAGE]");
    SetItemText(IDC_PAGE_INFO, "[INSTALL_WELCOME_INFO]");
    return false;
}

LicensePage::LicensePage(WizardFrame& frame) : WizardPage(frame, IDD_WIZARD_LICENSE) {}

bool LicensePage::OnInit() {
    RightAlign(IDC_PAGE_MESSAGE);
    RightAlign(IDC_LICENSE_TEXT);
    RightAlign(IDC_PAGE_INFO);
    SetItemText(IDC_PAGE_MESSAGE, "[INSTALL_LICENSE_MESSAGE]");
    ::SetDlgItemTextA(hwnd_, IDC_LICENSE_TEXT, licenseText_.c_str());
    SetItemText(IDC_PAGE_INFO, "[INSTALL_LICENSE_INFO]");
    return false;
}

void LicensePage::OnShow() {
    Frame().SetButtonText(WizardFrame::kNext, Frame().Expand("[INSTALL_GENERAL_YESBUTTON]"));
    Frame().SetButtonText(WizardFrame::kCancel, Frame().Expand("[INSTALL_GENERAL_NOBUTTON]"));
}

void LicensePage::OnHide() {
    Frame().SetButtonText(WizardFrame::kNext, Frame().Expand("[INSTALL_GENERAL_NEXTBUTTON]"));
    Frame().SetButtonText(WizardFrame::kCancel, Frame().Expand("[INSTALL_GENERAL_CANCELBUTTON]"));
}

RegistrationPage::RegistrationPage(WizardFrame& frame) : WizardPage(frame, IDD_WIZARD_REGISTRATION) {}

bool RegistrationPage::OnInit() {
    for (int id : {IDC_PAGE_MESSAGE, IDC_REGISTRATION_NAME_LABEL, IDC_REGISTRATION_NAME,
                   IDC_REGISTRATION_COMPANY_LABEL, IDC_REGISTRATION_COMPANY})
        RightAlign(id);
    SetItemText(IDC_PAGE_MESSAGE, "[INSTALL_REGISTRATION_MESSAGE]");
    SetItemText(IDC_REGISTRATION_NAME_LABEL, "[INSTALL_REGISTRATION_NAME]");
    SetItemText(IDC_REGISTRATION_COMPANY_LABEL, "[INSTALL_REGISTRATION_COMPANY]");
    ::SendDlgItemMessageA(hwnd_, IDC_REGISTRATION_NAME, EM_LIMITTEXT, 128, 0);
    ::SendDlgItemMessageA(hwnd_, IDC_REGISTRATION_COMPANY, EM_LIMITTEXT, 256, 0);

    name_ = Frame().UserName();
    company_ = Frame().Company();
    core::RegistryKey key;
    if (key.Open(kUserInfoKey, true, HKEY_CURRENT_USER)) {
        name_ = key.GetString("DefName");
        company_ = key.GetString("DefCompany");
    }
    Frame().SetUserName(name_);
    Frame().SetCompany(company_);
    // Filling one field reads both back (EN_CHANGE): set them from copies.
    const std::string name = name_, company = company_;
    ::SetDlgItemTextA(hwnd_, IDC_REGISTRATION_NAME, name.c_str());
    ::SetDlgItemTextA(hwnd_, IDC_REGISTRATION_COMPANY, company.c_str());
    return false;
}

void RegistrationPage::ReadFields() {
    name_ = ItemText(IDC_REGISTRATION_NAME);
    company_ = ItemText(IDC_REGISTRATION_COMPANY);
}

void RegistrationPage::ApplyNextRule() {
    if (shown_) Frame().EnableButton(WizardFrame::kNext, !name_.empty());
}

void RegistrationPage::OnShow() {
    shown_ = true;
    FocusField(IDC_REGISTRATION_NAME);
    ApplyNextRule();
}

void RegistrationPage::OnHide() {
    shown_ = false;
    Frame().EnableButton(WizardFrame::kNext, true);
}

bool RegistrationPage::OnControl(int id, int code, HWND) {
    if (code != EN_CHANGE || (id != IDC_REGISTRATION_NAME && id != IDC_REGISTRATION_COMPANY)) return false;
    ReadFields();
    ApplyNextRule();
    if (id == IDC_REGISTRATION_NAME) Frame().SetUserName(name_);
    else Frame().SetCompany(company_);
    return true;
}

StartMenuPage::StartMenuPage(WizardFrame& frame) : WizardPage(frame, IDD_WIZARD_STARTMENU) {}

bool StartMenuPage::OnInit() {
    for (int id : {IDC_PAGE_MESSAGE, IDC_STARTMENU_FOLDER_LABEL, IDC_STARTMENU_LIST_LABEL, IDC_STARTMENU_LIST})
        RightAlign(id);
    SetItemText(IDC_PAGE_MESSAGE, "[INSTALL_STARTMENU_MESSAGE]");
    SetItemText(IDC_STARTMENU_FOLDER_LABEL, "[INSTALL_STARTMENU_PROGRAMFOLDER]");
    SetItemText(IDC_STARTMENU_LIST_LABEL, "[INSTALL_STARTMENU_EXISTINGFOLDERS]");
    ::SendDlgItemMessageA(hwnd_, IDC_STARTMENU_FOLDER, EM_LIMITTEXT, 128, 0);

    folder_ = Frame().StartMenuFolder();
    filling_ = true;
    ::SetDlgItemTextA(hwnd_, IDC_STARTMENU_FOLDER, folder_.c_str());
    filling_ = false;

    core::OsVersion version;
    core::GetOsVersion(version);
    core::FilePath programs;
    bool userMenu = version.kind == core::kOsWindows95 || version.kind == core::kOsWindows98;
    if (programs.SetSpecialFolder(userMenu ? core::kFolderPrograms : core::kFolderCommonPrograms)) {
        core::FileList list;
        list.Search(programs.FullPath(), "*", false, core::FileList::kFolders);
        for (size_t i = 0; i < list.Count(); ++i) {
            const core::FileEntry& entry = list[i];
            if (!entry.IsFolder() || entry.name == "." || entry.name == "..") continue;
            ::SendDlgItemMessageA(hwnd_, IDC_STARTMENU_LIST, LB_ADDSTRING, 0, LPARAM(entry.name.c_str()));
        }
    }
    return false;
}

void StartMenuPage::OnShow() { FocusField(IDC_STARTMENU_FOLDER); }

bool StartMenuPage::OnControl(int id, int code, HWND) {
    if (id == IDC_STARTMENU_FOLDER && code == EN_CHANGE) {
        if (filling_) return true;
        folder_ = ItemText(IDC_STARTMENU_FOLDER);
        Frame().SetStartMenuFolder(folder_);
        return true;
    }
    if (id == IDC_STARTMENU_LIST && code == LBN_SELCHANGE) {
        HWND list = GetItem(IDC_STARTMENU_LIST);
        int selected = int(::SendMessageA(list, LB_GETCURSEL, 0, 0));
        if (selected == LB_ERR) return true;
        folder_ = ui::ListBox(list).GetItemText(selected);
        ::SetDlgItemTextA(hwnd_, IDC_STARTMENU_FOLDER, folder_.c_str());
        Frame().SetStartMenuFolder(folder_);
        return true;
    }
    return false;
}

}  // namespace wizard
