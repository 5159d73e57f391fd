#include "wizard/progress_bar.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>

namespace wizard {

namespace {
const char kProperty[] = "PercentProgressBar";
}

BufferedPaintDC::BufferedPaintDC(HDC target, const RECT& clip) : target_(target), clip_(clip) {
    printing_ = ::GetDeviceCaps(target, TECHNOLOGY) == DT_RASPRINTER;
    int width = clip.right - clip.left, height = clip.bottom - clip.top;
    if (printing_ || width <= 0 || height <= 0) return;
    HDC memory = ::CreateCompatibleDC(target);
    if (!memory) return;
    bitmap_.Attach(::CreateCompatibleBitmap(target, width, height));
    if (!bitmap_.Get()) {
        ::DeleteDC(memory);
        return;
    }
    memory_ = memory;
    previous_ = ::SelectObject(memory_, bitmap_.Get());
    ::SetWindowOrgEx(memory_, clip.left, clip.top, nullptr);
}

BufferedPaintDC::~BufferedPaintDC() {
    if (!memory_) return;
    ::BitBlt(target_, clip_.left, clip_.top, clip_.right - clip_.left, clip_.bottom - clip_.top, memory_, clip_.left,
             clip_.top, SRCCOPY);
    ::SelectObject(memory_, previous_);
    ::DeleteDC(memory_);
}

bool PercentProgressBar::Attach(HWND control) {
    Detach();
    if (!control) return false;
    hwnd_ = control;
    ::SetPropA(hwnd_, kProperty, this);
    original_ = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrA(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&PercentProgressBar::Procedure)));
    Repaint();
    return true;
}

void PercentProgressBar::Detach() {
    if (!hwnd_) return;
    if (::IsWindow(hwnd_)) {
        ::SetWindowLongPtrA(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original_));
        ::RemovePropA(hwnd_, kProperty);
    }
    hwnd_ = nullptr;
    original_ = nullptr;
}

void PercentProgressBar::SetRange(int lower, int upper) {
    lower_ = lower;
    upper_ = upper;
    Repaint();
}

int PercentProgressBar::SetPos(int position) {
    int previous = position_;
    position_ = position;
    if (previous != position) Repaint();
    return previous;
}

void PercentProgressBar::ShowText(bool on) {
    showText_ = on;
    Repaint();
}

void PercentProgressBar::Repaint() {
    if (hwnd_) ::InvalidateRect(hwnd_, nullptr, FALSE);
}

void PercentProgressBar::Paint(HDC dc, const RECT& client) {
    if (!fontMade_) {
        fontMade_ = true;
        HFONT parentFont = hwnd_ ? reinterpret_cast<HFONT>(::SendMessageA(::GetParent(hwnd_), WM_GETFONT, 0, 0))
                                 : nullptr;
        LOGFONTA lf = {};
        if (!parentFont || !::GetObjectA(parentFont, sizeof lf, &lf))
            ::GetObjectA(::GetStockObject(DEFAULT_GUI_FONT), sizeof lf, &lf);
        lf.lfWeight = FW_BOLD;
        font_.Attach(::CreateFontIndirectA(&lf));
    }
    bool enabled = !hwnd_ || ::IsWindowEnabled(hwnd_);
    int p = std::clamp(position_, std::min(lower_, upper_), std::max(lower_, upper_));
    COLORREF bar = ::GetSysColor(COLOR_HIGHLIGHT);
    COLORREF rest = ::GetSysColor(enabled ? COLOR_WINDOW : COLOR_BTNFACE);
    COLORREF face = ::GetSysColor(COLOR_BTNFACE);

    // The frame: black on top and left, button face on bottom and right.
    RECT edge = {client.left, client.top, client.right, client.top + 1};
    ui::FillColor(dc, edge, RGB(0, 0, 0));
    edge = {client.left, client.top, client.left + 1, client.bottom};
    ui::FillColor(dc, edge, RGB(0, 0, 0));
    edge = {client.left + 1, client.bottom - 1, client.right, client.bottom};
    ui::FillColor(dc, edge, face);
    edge = {client.right - 1, client.top + 1, client.right, client.bottom};
    ui::FillColor(dc, edge, face);

    RECT inner = {client.left + 1, client.top + 1, client.right - 1, client.bottom - 1};
    int width = std::max(0, int(inner.right - inner.left));
    // An empty or inverted range draws an empty bar rather than dividing by zero.
    int filled = upper_ > 0 ? int(double(width) * double(p) / double(upper_)) : 0;
    filled = std::clamp(filled, 0, width);
    RECT done = {inner.left, inner.top, inner.left + filled, inner.bottom};
    RECT remainder = {inner.left + filled, inner.top, inner.right, inner.bottom};
    if (filled > 0) ui::FillColor(dc, done, bar);
    if (filled < width) ui::FillColor(dc, remainder, rest);

    if (!showText_ || !enabled) return;
    double percent = upper_ > 0 ? std::clamp(double(p) * 100.0 / double(upper_), 0.0, 100.0) : 0.0;
    char text[16];
    std::snprintf(text, sizeof text, "%.0f%%", percent);
    text_ = text;
    int mode = ::SetBkMode(dc, TRANSPARENT);
    HGDIOBJ oldFont = font_.Get() ? ::SelectObject(dc, font_.Get()) : nullptr;
    COLORREF oldColor = ::GetTextColor(dc);
    const struct {
        const RECT& clip;
        COLORREF color;
    } passes[] = {{done, rest}, {remainder, bar}};
    for (const auto& pass : passes) {
        if (pass.clip.right <= pass.clip.left) continue;
        int saved = ::SaveDC(dc);
        ::IntersectClipRect(dc, pass.clip.left, pass.clip.top, pass.clip.right, pass.clip.bottom);
        ::SetTextColor(dc, pass.color);
        RECT area = inner;
        ::DrawTextA(dc, text, -1, &area, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        ::RestoreDC(dc, saved);
    }
    ::SetTextColor(dc, oldColor);
    if (oldFont) ::SelectObject(dc, oldFont);
    ::SetBkMode(dc, mode);
}

LRESULT CALLBACK PercentProgressBar::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* bar = static_cast<PercentProgressBar*>(::GetPropA(hwnd, kProperty));
    if (!bar) return ::DefWindowProcA(hwnd, message, wParam, lParam);
    WNDPROC original = bar->original_;
    switch (message) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(hwnd, &ps);
        RECT client;
        ::GetClientRect(hwnd, &client);
        {
            BufferedPaintDC buffered(dc, ps.rcPaint);
            bar->Paint(buffered, client);
        }
        ::EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_PRINTCLIENT: {
        RECT client;
        ::GetClientRect(hwnd, &client);
        BufferedPaintDC buffered(reinterpret_cast<HDC>(wParam), client);
        bar->Paint(buffered, client);
        return 0;
    }
    case PBM_GETPOS:
        return bar->position_;
    case WM_NCDESTROY:
        bar->Detach();
        break;
    default:
        break;
    }
    return ::CallWindowProcA(original, hwnd, message, wParam, lParam);
}

}  // namespace wizard
