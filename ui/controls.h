// Thin wrappers over the standard controls a dialog holds.
#pragma once

#include <windows.h>

#include <string>

#include "ui/window.h"

namespace ui {

class ListBox : public Window {
public:
    using Window::Window;
    int AddString(const char* text) { return int(Send(LB_ADDSTRING, 0, LPARAM(text))); }
    int GetCount() const { return int(Send(LB_GETCOUNT)); }
    int GetCurSel() const { return int(Send(LB_GETCURSEL)); }
    bool SetCurSel(int index) { return Send(LB_SETCURSEL, WPARAM(index)) != LB_ERR || index == -1; }
    LRESULT GetItemData(int index) const { return Send(LB_GETITEMDATA, WPARAM(index)); }
    bool SetItemData(int index, LPARAM data) { return Send(LB_SETITEMDATA, WPARAM(index), data) != LB_ERR; }
    std::string GetItemText(int index) const {
        LRESULT length = Send(LB_GETTEXTLEN, WPARAM(index));
        if (length == LB_ERR) return std::string();
        std::string text(size_t(length) + 1, '\0');
        LRESULT got = Send(LB_GETTEXT, WPARAM(index), LPARAM(text.data()));
        text.resize(got == LB_ERR ? 0 : size_t(got));
        return text;
    }
    void ResetContent() { Send(LB_RESETCONTENT); }
};

class Button : public Window {
public:
    using Window::Window;
    void Click() { Send(BM_CLICK); }
};

class Static : public Window {
public:
    using Window::Window;
};

}  // namespace ui
