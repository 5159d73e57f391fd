// Driving the program's windows from the outside, as a user would: find a
// window of this process, read its texts, press its buttons. Modal dialogs
// block the test's thread, so DialogAnswerer waits for them on a second one.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace automation {

inline std::string WindowText(HWND hwnd) {
    char text[1024] = {};
    if (hwnd) ::GetWindowTextA(hwnd, text, sizeof text);
    return text;
}

inline std::string ClassName(HWND hwnd) {
    char name[256] = {};
    ::GetClassNameA(hwnd, name, sizeof name);
    return name;
}

struct DialogSearch {
    const char* caption;
    HWND found;
};

inline BOOL CALLBACK MatchDialog(HWND hwnd, LPARAM param) {
    auto* s = reinterpret_cast<DialogSearch*>(param);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    if (pid != ::GetCurrentProcessId() || !::IsWindowVisible(hwnd) || ClassName(hwnd) != "#32770") return TRUE;
    if (s->caption && WindowText(hwnd) != s->caption) return TRUE;
    s->found = hwnd;
    return FALSE;
}

// A visible top-level dialog of this process whose caption matches (any
// caption when caption is null).
inline HWND FindDialog(const char* caption) {
    DialogSearch search{caption, nullptr};
    ::EnumWindows(MatchDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

inline HWND WaitForDialog(const char* caption, DWORD timeoutMs = 10000) {
    for (DWORD waited = 0; waited < timeoutMs; waited += 20) {
        if (HWND hwnd = FindDialog(caption)) return hwnd;
        ::Sleep(20);
    }
    return nullptr;
}

// Presses a button the way a click does: the dialog gets BN_CLICKED from it.
inline void PressButton(HWND dialog, int id) {
    ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), LPARAM(::GetDlgItem(dialog, id)));
}

// Selects a list line the way a click does: LBN_SELCHANGE reaches the dialog.
inline void SelectListItem(HWND dialog, int listId, int index) {
    HWND list = ::GetDlgItem(dialog, listId);
    ::SendMessageA(list, LB_SETCURSEL, WPARAM(index), 0);
    ::SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(listId, LBN_SELCHANGE), LPARAM(list));
}

// The text of a message box (its static text control).
inline std::string MessageBoxText(HWND box) { return WindowText(::GetDlgItem(box, 0xFFFF)); }

// The "button" of the title bar's close box.
inline constexpr int kCloseBox = 0;

// Waits on its own thread for a dialog with the caption, lets inspect read
// it, and presses button (kCloseBox: closes it). Joined by the destructor.
class DialogAnswerer {
public:
    DialogAnswerer(const char* caption, int button, std::function<void(HWND)> inspect = nullptr)
        : caption_(caption ? caption : ""), anyCaption_(caption == nullptr) {
        thread_ = std::thread([this, button, inspect] {
            HWND dialog = WaitForDialog(anyCaption_ ? nullptr : caption_.c_str());
            if (!dialog) return;
            if (inspect) inspect(dialog);
            answered_ = true;
            if (button == kCloseBox) ::PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
            else PressButton(dialog, button);
        });
    }
    ~DialogAnswerer() { thread_.join(); }
    bool Answered() const { return answered_; }

private:
    std::string caption_;
    bool anyCaption_;
    std::atomic<bool> answered_{false};
    std::thread thread_;
};

}  // namespace automation
