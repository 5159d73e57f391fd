#include "wizard/target_page.h"

#include "resources/resource_ids.h"
#include "wizard/folder_browser.h"
#include "wizard/wizard_frame.h"

namespace wizard {

TargetPage::TargetPage(WizardFrame& frame) : WizardPage(frame, IDD_WIZARD_TARGET) {}

bool TargetPage::OnInit() {
    // The path field stays left to right: paths read that way in every language.
    RightAlign(IDC_PAGE_MESSAGE);
    RightAlign(IDC_TARGET_GROUP);
    SetItemText(IDC_PAGE_MESSAGE, "[INSTALL_TARGET_MESSAGE]");
    SetItemText(IDC_TARGET_GROUP, "[INSTALL_TARGET_DESTINATIONDIRECTORY]");
    SetItemText(IDC_TARGET_BROWSE, "[INSTALL_TARGET_BROWSE]");
    ::SendDlgItemMessageA(hwnd_, IDC_TARGET_PATH, EM_LIMITTEXT, 256, 0);
    path_ = Frame().TargetFolder();
    ::SetDlgItemTextA(hwnd_, IDC_TARGET_PATH, path_.c_str());
    return false;
}

bool TargetPage::OnControl(int id, int code, HWND) {
    if (id == IDC_TARGET_PATH && code == EN_CHANGE) {
        path_ = ItemText(IDC_TARGET_PATH);
        Frame().SetTargetFolder(path_);
        return true;
    }
    if (id == IDC_TARGET_BROWSE && code == BN_CLICKED) {
        Browse();
        return true;
    }
    return false;
}

void TargetPage::Browse() {
    FolderBrowser browser(Frame().Handle(), path_);
    auto e = [this](const char* key) { return Frame().Expand(key); };
    browser.SetTexts({e("[INSTALL_TARGET_CAPTION]"), e("[INSTALL_TARGET_INFO]"), e("[INSTALL_TARGET_PATH]"),
                      e("[INSTALL_TARGET_FOLDERS]"), e("[INSTALL_TARGET_DRIVES]"), e("[INSTALL_GENERAL_OKBUTTON]"),
                      e("[INSTALL_GENERAL_CANCELBUTTON]")});
    browser.SetRightAligned(Frame().RightAligned());
    if (browser.Run() != IDOK) return;
    path_ = browser.ResultPath();
    ::SetDlgItemTextA(hwnd_, IDC_TARGET_PATH, path_.c_str());
    Frame().SetTargetFolder(path_);
}

}  // namespace wizard
