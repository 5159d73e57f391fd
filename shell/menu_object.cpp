#include "shell/menu_object.h"

#include "ui/gdi.h"

namespace shell {

bool MenuObject::Create(HWND parent, int x, int y, int width, int height, int id, const std::string& controllerId,
                        MenuObjectOwner* owner) {
    controllerId_ = controllerId;
    controlId_ = id;
    owner_ = owner;
    HWND hwnd = ::CreateWindowExA(0, "BUTTON", "", kStyle, x, y, width, height, parent,
                                  reinterpret_cast<HMENU>(INT_PTR(id)), ::GetModuleHandleA(nullptr), nullptr);
    if (!hwnd) return false;
    Attach(hwnd);
    // The button's own procedure keeps the click and capture handling; ours
    // sees the timer and the left button first.
    ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    buttonProcedure_ = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&MenuObject::Procedure)));
    ::SetTimer(hwnd, TimerId(), kPollMs, nullptr);
    return true;
}

void MenuObject::SetImage(int index, const uint8_t* bytes, size_t size) {
    if (index < 0 || index >= kImages) return;
    images_[index].assign(bytes, bytes + (bytes ? size : 0));
}

void MenuObject::Resize(int width, int height) {
    SetPos(nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOOWNERZORDER | SWP_NOREDRAW | SWP_NOCOPYBITS);
}

void MenuObject::StopAndDestroy() {
    if (hwnd_ && ::IsWindow(hwnd_)) {
        ::KillTimer(hwnd_, TimerId());
        // The button's own procedure sees its end, without us.
        if (buttonProcedure_)
            ::SetWindowLongPtrA(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(buttonProcedure_));
        ::SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
        Destroy();
    }
    hwnd_ = nullptr;
}

void MenuObject::PollHover() {
    if (!IsEnabled() || Linked) return;
    bool wasHot = Hot;
    POINT cursor;
    RECT rect;
    if (!::GetCursorPos(&cursor) || !GetWindowRect(&rect)) return;
    bool inside = cursor.x >= rect.left && cursor.x < rect.right && cursor.y >= rect.top && cursor.y < rect.bottom;
    if (inside) {
        Hot = true;
    } else {
        Hot = false;
        // Leaving while pressed lets go on every linked object, so a release
        // outside leaves no pressed picture behind.
        if (Pressed && owner_) owner_->PropagatePressed(*this, false);
        if (Pressed) Invalidate(false);
        Pressed = false;
    }
    if (Hot != wasHot) {
        Invalidate(false);
        if (owner_) owner_->PropagateHot(*this, Hot);
    }
}

void MenuObject::Draw(const DRAWITEMSTRUCT& item) const {
    RECT rect;
    GetWindowRect(&rect);
    int w = rect.right - rect.left, h = rect.bottom - rect.top;
    const std::vector<uint8_t>& image = images_[ImageIndex((item.itemState & ODS_DISABLED) != 0)];
    RECT all = {0, 0, w, h};
    if (image.empty() || !ui::DrawPixels(item.hDC, 0, 0, w / scale_, h / scale_, scale_, image.data(), image.size()))
        ui::FillColor(item.hDC, all, RGB(128, 128, 128));
    if (owner_ && owner_->ShowOutlines()) {
        HBRUSH black = static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH));
        ::FrameRect(item.hDC, &all, black);
    }
}

LRESULT CALLBACK MenuObject::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<MenuObject*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    WNDPROC next = self ? self->buttonProcedure_ : nullptr;
    if (!self) return ::DefWindowProcA(hwnd, message, wParam, lParam);
    switch (message) {
    case WM_TIMER:
        if (wParam == self->TimerId()) self->PollHover();
        break;
    case WM_ERASEBKGND:
        return TRUE;
    case WM_LBUTTONDBLCLK:
        // The second press of a double-click is no new press: the button
        // would report it as a double-click, and the entry has run already.
        return 0;
    case WM_LBUTTONDOWN:
        self->Pressed = true;
        if (self->owner_) self->owner_->PropagatePressed(*self, true);
        break;
    case WM_LBUTTONUP:
        self->Pressed = false;
        if (self->owner_) self->owner_->PropagatePressed(*self, false);
        break;
    default:
        break;
    }
    return ::CallWindowProcA(next, hwnd, message, wParam, lParam);
}

}  // namespace shell
