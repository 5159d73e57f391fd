// A window handle with one-line forwards to the platform. It does not own
// the window: only Destroy() ends it.
#pragma once

#include <windows.h>

#include <string>

namespace ui {

class Window {
public:
    Window() = default;
    explicit Window(HWND hwnd) : hwnd_(hwnd) {}

    HWND Handle() const { return hwnd_; }
    operator HWND() const { return hwnd_; }
    void Attach(HWND hwnd) { hwnd_ = hwnd; }
    HWND Detach() {
        HWND h = hwnd_;
        hwnd_ = nullptr;
        return h;
    }
    bool IsValid() const { return hwnd_ != nullptr && ::IsWindow(hwnd_); }
    bool Destroy() {
        bool done = hwnd_ && ::DestroyWindow(hwnd_) != FALSE;
        hwnd_ = nullptr;
        return done;
    }

    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::SendMessageA(hwnd_, message, wParam, lParam);
    }
    bool Post(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::PostMessageA(hwnd_, message, wParam, lParam) != FALSE;
    }

    bool SetText(const char* text) { return ::SetWindowTextA(hwnd_, text) != FALSE; }
    bool SetText(const std::string& text) { return SetText(text.c_str()); }
    std::string GetText() const {
        int length = ::GetWindowTextLengthA(hwnd_);
        std::string text(size_t(length) + 1, '\0');
        text.resize(size_t(::GetWindowTextA(hwnd_, text.data(), length + 1)));
        return text;
    }

    HWND GetItem(int id) const { return ::GetDlgItem(hwnd_, id); }
    int GetId() const { return ::GetDlgCtrlID(hwnd_); }
    HWND GetParent() const { return ::GetParent(hwnd_); }

    LONG_PTR GetLongPtr(int index) const { return ::GetWindowLongPtrA(hwnd_, index); }
    LONG_PTR SetLongPtr(int index, LONG_PTR value) { return ::SetWindowLongPtrA(hwnd_, index, value); }
    DWORD GetStyle() const { return DWORD(GetLongPtr(GWL_STYLE)); }
    DWORD GetExStyle() const { return DWORD(GetLongPtr(GWL_EXSTYLE)); }
    void SetStyle(DWORD style) { SetLongPtr(GWL_STYLE, LONG_PTR(style)); }
    void SetExStyle(DWORD style) { SetLongPtr(GWL_EXSTYLE, LONG_PTR(style)); }

    bool Show(int command) { return ::ShowWindow(hwnd_, command) != FALSE; }
    bool Enable(bool enable) { return ::EnableWindow(hwnd_, enable) != FALSE; }
    bool IsEnabled() const { return ::IsWindowEnabled(hwnd_) != FALSE; }
    bool IsVisible() const { return ::IsWindowVisible(hwnd_) != FALSE; }
    bool SetPos(HWND after, int x, int y, int cx, int cy, UINT flags) {
        return ::SetWindowPos(hwnd_, after, x, y, cx, cy, flags) != FALSE;
    }
    bool Move(int x, int y, int cx, int cy, bool repaint = true) {
        return ::MoveWindow(hwnd_, x, y, cx, cy, repaint) != FALSE;
    }
    bool GetWindowRect(RECT* rect) const { return ::GetWindowRect(hwnd_, rect) != FALSE; }
    bool GetClientRect(RECT* rect) const { return ::GetClientRect(hwnd_, rect) != FALSE; }
    bool Invalidate(bool erase) { return ::InvalidateRect(hwnd_, nullptr, erase) != FALSE; }
    bool Update() { return ::UpdateWindow(hwnd_) != FALSE; }
    // Centres the window on the work area of the screen.
    void CenterOnScreen();

protected:
    HWND hwnd_ = nullptr;
};

inline void Window::CenterOnScreen() {
    RECT window, area;
    if (!GetWindowRect(&window) || !::SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0)) return;
    int w = window.right - window.left, h = window.bottom - window.top;
    SetPos(nullptr, area.left + (area.right - area.left - w) / 2, area.top + (area.bottom - area.top - h) / 2, 0, 0,
           SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace ui
