// Driving the program's windows from the outside, as a user would: find a
// window of this process, read its texts, press its buttons. Modal dialogs
// block the test's thread, so DialogAnswerer waits for them on a second one.
#pragma once

#include <windows.h>
#include <winternl.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

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
    bool messageBox = false;  // only message boxes (they hold the text static 0xFFFF)
};

inline BOOL CALLBACK MatchDialog(HWND hwnd, LPARAM param) {
    auto* s = reinterpret_cast<DialogSearch*>(param);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    if (pid != ::GetCurrentProcessId() || !::IsWindowVisible(hwnd) || ClassName(hwnd) != "#32770") return TRUE;
    if (s->caption && WindowText(hwnd) != s->caption) return TRUE;
    if (s->messageBox && !::GetDlgItem(hwnd, 0xFFFF)) return TRUE;
    s->found = hwnd;
    return FALSE;
}

// A visible top-level dialog of this process whose caption matches (any
// caption when caption is null).
inline HWND FindDialog(const char* caption, bool messageBox = false) {
    DialogSearch search{caption, nullptr, messageBox};
    ::EnumWindows(MatchDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

inline HWND WaitForDialog(const char* caption, DWORD timeoutMs = 10000, bool messageBox = false) {
    for (DWORD waited = 0; waited < timeoutMs; waited += 20) {
        if (HWND hwnd = FindDialog(caption, messageBox)) return hwnd;
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

struct WindowSearch {
    DWORD pid;
    const char* childText;  // a child with this text, or null for any window
    const char* caption;    // the window's own caption, or null
    HWND found;
};

inline BOOL CALLBACK MatchChildText(HWND child, LPARAM param) {
    auto* search = reinterpret_cast<WindowSearch*>(param);
    char text[64] = {};
    ::GetWindowTextA(child, text, sizeof text);
    if (std::string(text) != search->childText) return TRUE;
    search->found = child;
    return FALSE;
}

inline BOOL CALLBACK MatchWindow(HWND hwnd, LPARAM param) {
    auto* search = reinterpret_cast<WindowSearch*>(param);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    if ((search->pid && pid != search->pid) || !::IsWindowVisible(hwnd)) return TRUE;
    if (search->caption) {
        char text[128] = {};
        ::GetWindowTextA(hwnd, text, sizeof text);
        if (std::string(text) != search->caption) return TRUE;
    }
    if (search->childText) {
        WindowSearch inner{0, search->childText, nullptr, nullptr};
        ::EnumChildWindows(hwnd, MatchChildText, reinterpret_cast<LPARAM>(&inner));
        if (!inner.found) return TRUE;
    }
    search->found = hwnd;
    return FALSE;
}

// A visible top-level window of process pid (0: of any process) with the
// caption and holding a child with childText (null: any).
inline HWND FindWindowOf(DWORD pid, const char* childText, const char* caption) {
    WindowSearch search{pid, childText, caption, nullptr};
    ::EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

inline HWND WaitForWindowOf(DWORD pid, const char* childText, const char* caption, DWORD timeoutMs = 20000) {
    for (DWORD waited = 0; waited < timeoutMs; waited += 50) {
        if (HWND hwnd = FindWindowOf(pid, childText, caption)) return hwnd;
        ::Sleep(50);
    }
    return nullptr;
}

// A visible control with id anywhere below window (a wizard's pages are
// child dialogs of its frame); null when there is none.
struct DescendantSearch {
    int id;
    HWND found;
};

inline BOOL CALLBACK MatchDescendant(HWND hwnd, LPARAM param) {
    auto* search = reinterpret_cast<DescendantSearch*>(param);
    if (::GetDlgCtrlID(hwnd) != search->id || !::IsWindowVisible(hwnd)) return TRUE;
    search->found = hwnd;
    return FALSE;
}

inline HWND Descendant(HWND window, int id) {
    DescendantSearch search{id, nullptr};
    ::EnumChildWindows(window, MatchDescendant, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The text of a message box (its static text control).
inline std::string MessageBoxText(HWND box) { return WindowText(::GetDlgItem(box, 0xFFFF)); }

// The "button" of the title bar's close box.
inline constexpr int kCloseBox = 0;

// Waits on its own thread for a dialog with the caption, lets inspect read
// it, and presses button (kCloseBox: closes it). Joined by the destructor.
class DialogAnswerer {
public:
    // messageBox: answer only a message box, not another dialog of the same caption.
    DialogAnswerer(const char* caption, int button, std::function<void(HWND)> inspect = nullptr,
                   bool messageBox = false)
        : caption_(caption ? caption : ""), anyCaption_(caption == nullptr) {
        thread_ = std::thread([this, button, inspect, messageBox] {
            HWND dialog = WaitForDialog(anyCaption_ ? nullptr : caption_.c_str(), 10000, messageBox);
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

// Types text into an edit control character by character, as the keyboard
// would (each character reaches the control as WM_CHAR).
inline void TypeText(HWND edit, const std::string& text) {
    for (char c : text) ::SendMessageA(edit, WM_CHAR, WPARAM(static_cast<unsigned char>(c)), 1);
}

// Selects all of an edit control's text and deletes it.
inline void ClearText(HWND edit) {
    ::SendMessageA(edit, EM_SETSEL, 0, -1);
    ::SendMessageA(edit, WM_CLEAR, 0, 0);
}

// A window's client area as pixels, rows top to bottom.
struct Pixels {
    int width = 0, height = 0;
    std::vector<COLORREF> colors;
    COLORREF At(int x, int y) const { return colors[size_t(y) * size_t(width) + size_t(x)]; }
};

// Asks the window to print its client area into a 32-bit off-screen bitmap
// (PrintWindow); when that fails, copies what the screen shows of it.
inline Pixels CaptureClient(HWND hwnd) {
    Pixels out;
    RECT client;
    if (!::GetClientRect(hwnd, &client)) return out;
    out.width = client.right;
    out.height = client.bottom;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = out.width;
    info.bmiHeader.biHeight = -out.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC screen = ::GetDC(nullptr);
    HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC memory = ::CreateCompatibleDC(screen);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    if (!::PrintWindow(hwnd, memory, 1 /* PW_CLIENTONLY */)) {
        HDC source = ::GetDC(hwnd);
        ::BitBlt(memory, 0, 0, out.width, out.height, source, 0, 0, SRCCOPY);
        ::ReleaseDC(hwnd, source);
    }
    ::GdiFlush();
    const auto* p = static_cast<const uint32_t*>(bits);
    out.colors.resize(size_t(out.width) * size_t(out.height));
    for (size_t i = 0; i < out.colors.size(); ++i) {
        uint32_t v = p[i];
        out.colors[i] = RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
    }
    ::SelectObject(memory, old);
    ::DeleteDC(memory);
    ::DeleteObject(bitmap);
    ::ReleaseDC(nullptr, screen);
    return out;
}

// Windows of another process, such as a program the test started.
struct ProcessDialogSearch {
    DWORD pid;
    const char* caption;
    bool messageBox;
    HWND found;
};

inline BOOL CALLBACK MatchProcessDialog(HWND hwnd, LPARAM param) {
    auto* s = reinterpret_cast<ProcessDialogSearch*>(param);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    if (pid != s->pid || !::IsWindowVisible(hwnd) || ClassName(hwnd) != "#32770") return TRUE;
    if (s->caption && WindowText(hwnd) != s->caption) return TRUE;
    if (s->messageBox && !::GetDlgItem(hwnd, 0xFFFF)) return TRUE;
    s->found = hwnd;
    return FALSE;
}

// A visible top-level dialog of process pid (any caption when caption is null).
inline HWND FindProcessDialog(DWORD pid, const char* caption, bool messageBox = false) {
    ProcessDialogSearch search{pid, caption, messageBox, nullptr};
    ::EnumWindows(MatchProcessDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

inline HWND WaitForProcessDialog(DWORD pid, const char* caption, DWORD timeoutMs = 10000, bool messageBox = false) {
    for (DWORD waited = 0; waited < timeoutMs; waited += 20) {
        if (HWND hwnd = FindProcessDialog(pid, caption, messageBox)) return hwnd;
        ::Sleep(20);
    }
    return nullptr;
}

// The command line another process (of this bitness) was started with, read
// from its process parameters; empty when it cannot be read.
inline std::string CommandLineOf(DWORD pid) {
    using QueryFn = LONG(WINAPI*)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
    auto query = reinterpret_cast<QueryFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "NtQueryInformationProcess")));
    HANDLE process = ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (!query || !process) {
        if (process) ::CloseHandle(process);
        return std::string();
    }
    std::string line;
    PROCESS_BASIC_INFORMATION basic = {};
    PEB peb = {};
    RTL_USER_PROCESS_PARAMETERS parameters = {};
    if (query(process, ProcessBasicInformation, &basic, sizeof basic, nullptr) >= 0 &&
        ::ReadProcessMemory(process, basic.PebBaseAddress, &peb, sizeof peb, nullptr) &&
        ::ReadProcessMemory(process, peb.ProcessParameters, &parameters, sizeof parameters, nullptr)) {
        std::wstring wide(parameters.CommandLine.Length / sizeof(WCHAR), L'\0');
        if (::ReadProcessMemory(process, parameters.CommandLine.Buffer, wide.data(), parameters.CommandLine.Length,
                                nullptr)) {
            int n = ::WideCharToMultiByte(CP_ACP, 0, wide.data(), int(wide.size()), nullptr, 0, nullptr, nullptr);
            line.resize(size_t(n > 0 ? n : 0));
            if (n > 0) ::WideCharToMultiByte(CP_ACP, 0, wide.data(), int(wide.size()), line.data(), n, nullptr, nullptr);
        }
    }
    ::CloseHandle(process);
    return line;
}

// The process that owns window.
inline DWORD ProcessOf(HWND window) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    return pid;
}

}  // namespace automation
