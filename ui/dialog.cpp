#include "ui/dialog.h"

namespace ui {

namespace {
HINSTANCE g_resourceModule = nullptr;
}

HINSTANCE ResourceModule() { return g_resourceModule ? g_resourceModule : ::GetModuleHandleA(nullptr); }
void SetResourceModule(HINSTANCE module) { g_resourceModule = module; }

Dialog::~Dialog() {
    // A modeless dialog must not outlive the object its procedure points at.
    if (!modal_ && hwnd_ && ::IsWindow(hwnd_)) {
        ::SetWindowLongPtrA(hwnd_, DWLP_USER, 0);
        ::DestroyWindow(hwnd_);
    }
}

INT_PTR Dialog::DoModal(HWND owner) {
    modal_ = true;
    INT_PTR result = ::DialogBoxParamA(ResourceModule(), MAKEINTRESOURCEA(templateId_), owner, Procedure,
                                       reinterpret_cast<LPARAM>(this));
    hwnd_ = nullptr;
    return result;
}

bool Dialog::Create(HWND owner) {
    modal_ = false;
    HWND hwnd = ::CreateDialogParamA(ResourceModule(), MAKEINTRESOURCEA(templateId_), owner, Procedure,
                                     reinterpret_cast<LPARAM>(this));
    return hwnd != nullptr;  // hwnd_ was set at WM_INITDIALOG
}

void Dialog::End(INT_PTR result) {
    if (!hwnd_) return;
    if (modal_) ::EndDialog(hwnd_, result);
    else Destroy();
}

bool Dialog::OnCommand(int id, int, HWND) {
    if (id == IDOK) {
        OnOK();
        return true;
    }
    if (id == IDCANCEL) {
        OnCancel();
        return true;
    }
    return false;
}

bool Dialog::OnMessage(UINT, WPARAM, LPARAM, INT_PTR*) { return false; }

INT_PTR Dialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        return OnInit() ? TRUE : FALSE;
    case WM_COMMAND:
        return OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam)) ? TRUE : FALSE;
    case WM_DESTROY:
        OnDestroy();
        return FALSE;
    default: {
        INT_PTR result = 0;
        if (!OnMessage(message, wParam, lParam, &result)) return FALSE;
        // Results of messages that return a value go through DWLP_MSGRESULT,
        // except for those that Windows takes from the return itself.
        switch (message) {
        case WM_CTLCOLORMSGBOX: case WM_CTLCOLOREDIT: case WM_CTLCOLORLISTBOX: case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG: case WM_CTLCOLORSCROLLBAR: case WM_CTLCOLORSTATIC: case WM_QUERYDRAGICON:
        case WM_COMPAREITEM: case WM_VKEYTOITEM: case WM_CHARTOITEM:
            return result;
        default:
            ::SetWindowLongPtrA(hwnd_, DWLP_MSGRESULT, LONG_PTR(result));
            return TRUE;
        }
    }
    }
}

INT_PTR CALLBACK Dialog::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Dialog* dialog;
    if (message == WM_INITDIALOG) {
        dialog = reinterpret_cast<Dialog*>(lParam);
        ::SetWindowLongPtrA(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(dialog));
        if (dialog) dialog->hwnd_ = hwnd;
    } else {
        dialog = reinterpret_cast<Dialog*>(::GetWindowLongPtrA(hwnd, DWLP_USER));
    }
    if (!dialog) return FALSE;
    INT_PTR result = FALSE;
    try {
        result = dialog->Dispatch(message, wParam, lParam);
    } catch (...) {
        // An exception cannot cross Windows' frames; the message counts as unhandled.
        result = FALSE;
    }
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrA(hwnd, DWLP_USER, 0);
        if (dialog->hwnd_ == hwnd) dialog->hwnd_ = nullptr;
    }
    return result;
}

}  // namespace ui
