// The installing page's progress bar: a progress control that we paint
// ourselves, off-screen, with the percentage in the middle drawn in two
// colours so that the digits stay readable where the bar edge crosses them.
#pragma once

#include <windows.h>

#include <string>

#include "ui/gdi.h"

namespace wizard {

// Paints into a memory bitmap the size of the clip rectangle and copies it
// to the target in one transfer when it ends; drawing uses the target's
// coordinates. Over a printer it draws straight through.
class BufferedPaintDC {
public:
    BufferedPaintDC(HDC target, const RECT& clip);
    ~BufferedPaintDC();
    BufferedPaintDC(const BufferedPaintDC&) = delete;
    BufferedPaintDC& operator=(const BufferedPaintDC&) = delete;

    HDC Dc() const { return memory_ ? memory_ : target_; }
    operator HDC() const { return Dc(); }

private:
    HDC target_;
    HDC memory_ = nullptr;
    ui::Bitmap bitmap_;
    HGDIOBJ previous_ = nullptr;
    RECT clip_;
    bool printing_ = false;
};

class PercentProgressBar {
public:
    PercentProgressBar() = default;
    ~PercentProgressBar() { Detach(); }
    PercentProgressBar(const PercentProgressBar&) = delete;
    PercentProgressBar& operator=(const PercentProgressBar&) = delete;

    // Takes over the painting of an existing progress control.
    bool Attach(HWND control);
    void Detach();
    HWND Handle() const { return hwnd_; }

    void SetRange(int lower, int upper);
    // Returns the previous position; repaints only on a change.
    int SetPos(int position);
    void ShowText(bool on);

    int Lower() const { return lower_; }
    int Upper() const { return upper_; }
    int Pos() const { return position_; }
    // The percentage text of the last paint ("" before the first).
    const std::string& LastText() const { return text_; }

    // Draws the whole bar into dc over rect (the control's client area).
    void Paint(HDC dc, const RECT& client);

private:
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void Repaint();

    int lower_ = 0;
    int upper_ = 100;
    int position_ = 0;
    bool showText_ = false;
    ui::Font font_;
    bool fontMade_ = false;
    std::string text_;
    HWND hwnd_ = nullptr;
    WNDPROC original_ = nullptr;
};

}  // namespace wizard
