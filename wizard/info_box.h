// The information box: a modal window showing a text with bold, italic and
// underlined passages, in one text colour on one background colour.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "ui/dialog.h"

namespace wizard {

// A stretch of text whose characters share one format.
struct FormattedRun {
    std::string text;
    bool bold = false;
    bool italic = false;
    bool underline = false;
};

// Turns the markup into runs. The twelve tags <b> </b> <i> </i> <u> </u>
// (in either letter case) and the bytes 1 to 6 they stand for switch bold,
// italic and underline on and off; nothing counts nesting. The other bytes
// below 10 (7, 8 and the tab) are dropped; everything else is shown.
std::vector<FormattedRun> FormatMarkup(std::string_view text);

class InfoBox : public ui::Dialog {
public:
    static constexpr int kTextViewId = 1046;
    static constexpr int kDummyButtonId = 1047;
    static constexpr COLORREF kDefaultBackColor = 0x00C8D0D4;

    InfoBox(bool rightAligned = false);

    std::string caption;
    std::string text;
    COLORREF textColor = 0;
    COLORREF backColor = kDefaultBackColor;

protected:
    bool OnInit() override;
    bool OnCommand(int id, int code, HWND control) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result) override;

private:
    void Render();

    bool rightAligned_;
    HBRUSH background_ = nullptr;
};

}  // namespace wizard
