#include "wizard/info_box.h"

#include <richedit.h>

#include "core/tokens.h"
#include "resources/resource_ids.h"

namespace wizard {

namespace {

enum FormatCode : char { kBoldOn = 1, kBoldOff, kItalicOn, kItalicOff, kUnderlineOn, kUnderlineOff };

const core::TokenMap& Tags() {
    static const core::TokenMap tags = {
        {"<b>", {char(kBoldOn)}},       {"<B>", {char(kBoldOn)}},       {"</b>", {char(kBoldOff)}},
        {"</B>", {char(kBoldOff)}},     {"<i>", {char(kItalicOn)}},     {"<I>", {char(kItalicOn)}},
        {"</i>", {char(kItalicOff)}},   {"</I>", {char(kItalicOff)}},   {"<u>", {char(kUnderlineOn)}},
        {"<U>", {char(kUnderlineOn)}},  {"</u>", {char(kUnderlineOff)}}, {"</U>", {char(kUnderlineOff)}},
    };
    return tags;
}

}  // namespace

std::vector<FormattedRun> FormatMarkup(std::string_view text) {
    core::BinaryBuffer source(text.data(), uint32_t(text.size()));
    core::BinaryBuffer converted = core::ReplaceTokens(source, Tags());
    std::vector<FormattedRun> runs;
    FormattedRun state;
    for (uint32_t i = 0; i < converted.Size(); ++i) {
        uint8_t byte = converted.Data()[i];
        switch (byte) {
        case kBoldOn: state.bold = true; continue;
        case kBoldOff: state.bold = false; continue;
        case kItalicOn: state.italic = true; continue;
        case kItalicOff: state.italic = false; continue;
        case kUnderlineOn: state.underline = true; continue;
        case kUnderlineOff: state.underline = false; continue;
        default: break;
        }
        if (byte < 10) continue;
        if (runs.empty() || runs.back().bold != state.bold || runs.back().italic != state.italic ||
            runs.back().underline != state.underline) {
            runs.push_back(state);
            runs.back().text.clear();
        }
        runs.back().text += char(byte);
    }
    return runs;
}

InfoBox::InfoBox(bool rightAligned) : ui::Dialog(IDD_INFOBOX), rightAligned_(rightAligned) {
    // The program loads the rich edit library at start-up; a box opened by
    // any other program makes sure of it here.
    WNDCLASSA known;
    if (!::GetClassInfoA(nullptr, "RICHEDIT", &known)) ::LoadLibraryA("RICHED32.DLL");
}

bool InfoBox::OnInit() {
    HWND view = GetItem(kTextViewId);
    // Right to left by reading order and alignment, not by mirroring the
    // control: a mirrored rich edit lays its runs of one format out from
    // the right, so "Line <u>two</u>" would read "two Line".
    if (rightAligned_) {
        LONG_PTR style = ::GetWindowLongPtrA(view, GWL_EXSTYLE);
        ::SetWindowLongPtrA(view, GWL_EXSTYLE, style | WS_EX_RTLREADING | WS_EX_LEFTSCROLLBAR);
    }
    // The dummy button only takes the first focus, out of sight.
    ::MoveWindow(GetItem(kDummyButtonId), 1000, 1000, 32, 32, FALSE);
    SetText(caption);
    RECT client;
    GetClientRect(&client);
    ::MoveWindow(view, 3, 3, client.right - 6, client.bottom - 6, FALSE);
    background_ = ::CreateSolidBrush(backColor);
    Render();
    return true;
}

void InfoBox::Render() {
    HWND view = GetItem(kTextViewId);
    ::SendMessageA(view, EM_SETBKGNDCOLOR, 0, LPARAM(backColor));
    for (const FormattedRun& run : FormatMarkup(text)) {
        CHARFORMATA format = {};
        format.cbSize = sizeof format;
        format.dwMask = CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_COLOR;
        format.dwEffects = (run.bold ? CFE_BOLD : 0) | (run.italic ? CFE_ITALIC : 0) |
                           (run.underline ? CFE_UNDERLINE : 0);
        format.crTextColor = textColor;
        LRESULT end = ::SendMessageA(view, WM_GETTEXTLENGTH, 0, 0);
        ::SendMessageA(view, EM_SETSEL, WPARAM(end), LPARAM(end));
        ::SendMessageA(view, EM_SETCHARFORMAT, SCF_SELECTION, LPARAM(&format));
        ::SendMessageA(view, EM_REPLACESEL, FALSE, LPARAM(run.text.c_str()));
    }
    if (rightAligned_) {
        PARAFORMAT paragraph = {};
        paragraph.cbSize = sizeof paragraph;
        paragraph.dwMask = PFM_ALIGNMENT;
        paragraph.wAlignment = PFA_RIGHT;
        ::SendMessageA(view, EM_SETSEL, 0, -1);
        ::SendMessageA(view, EM_SETPARAFORMAT, 0, LPARAM(&paragraph));
    }
    ::SendMessageA(view, EM_SETSEL, 0, 0);
}

bool InfoBox::OnCommand(int id, int code, HWND control) {
    if (id == kDummyButtonId) return true;
    return ui::Dialog::OnCommand(id, code, control);
}

bool InfoBox::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result) {
    switch (message) {
    case WM_ERASEBKGND: {
        RECT client;
        GetClientRect(&client);
        ::FillRect(HDC(wParam), &client, background_);
        *result = TRUE;
        return true;
    }
    case WM_CTLCOLORDLG:
        *result = reinterpret_cast<INT_PTR>(background_);
        return true;
    case WM_DESTROY:
        if (background_) ::DeleteObject(background_);
        background_ = nullptr;
        return false;
    default:
        (void)lParam;
        return false;
    }
}

}  // namespace wizard
