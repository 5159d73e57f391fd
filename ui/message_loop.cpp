#include "ui/message_loop.h"

namespace ui {

namespace {

// Dialog navigation keys go to the dialog that owns the focus.
void Deliver(MSG& msg) {
    HWND root = msg.hwnd ? ::GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    if (root && ::IsDialogMessageA(root, &msg)) return;
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
}

}  // namespace

bool PumpOneMessage() {
    MSG msg;
    if (!::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
    if (msg.message == WM_QUIT) {
        ::PostQuitMessage(int(msg.wParam));
        return false;
    }
    Deliver(msg);
    return true;
}

bool PumpPendingMessages() {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            ::PostQuitMessage(int(msg.wParam));
            return false;
        }
        Deliver(msg);
    }
    return true;
}

int RunMessageLoop(const std::function<bool()>& idle) {
    MSG msg;
    for (;;) {
        while (idle && !::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            if (!idle()) break;
        }
        BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1) return got == 0 ? int(msg.wParam) : -1;
        Deliver(msg);
    }
}

}  // namespace ui
