// One image button of the menu, bound to a controller by its ID: an
// owner-drawn push button that shows one of four pictures and finds hover by
// polling the cursor on its own 40 ms timer.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ui/window.h"

namespace shell {

class MenuObject;

// What an object asks of the window that holds it: linked highlighting and
// pressing, and whether outlines are drawn.
class MenuObjectOwner {
public:
    virtual void PropagateHot(MenuObject& source, bool state) = 0;
    virtual void PropagatePressed(MenuObject& source, bool state) = 0;
    virtual bool ShowOutlines() const = 0;

protected:
    ~MenuObjectOwner() = default;
};


class MenuObject : public ui::Window {
public:
    static constexpr int kImages = 4;  // normal, hot, pressed, disabled
    static constexpr DWORD kStyle = WS_CHILD | WS_VISIBLE | BS_OWNERDRAW;
    static constexpr UINT kPollMs = 40;

    MenuObject() = default;
    ~MenuObject() { StopAndDestroy(); }
    MenuObject(const MenuObject&) = delete;
    MenuObject& operator=(const MenuObject&) = delete;

    // An owner-drawn button at (x, y) in the parent's client area; starts
    // the polling timer. owner may be null (no linking, no outlines).
    bool Create(HWND parent, int x, int y, int width, int height, int id, const std::string& controllerId,
                MenuObjectOwner* owner = nullptr);
    // Keeps a copy of the bytes; empty bytes leave the picture absent.
    void SetImage(int index, const uint8_t* bytes, size_t size);
    void SetImage(int index, const std::vector<uint8_t>& bytes) { SetImage(index, bytes.data(), bytes.size()); }
    const std::vector<uint8_t>& Image(int index) const { return images_[index]; }
    bool HasImage(int index) const { return !images_[index].empty(); }
    // New size, same position, no redraw.
    void Resize(int width, int height);
    // The window is scale times the size of its pictures (the menu's DPI scale).
    void SetScale(int scale) { scale_ = scale > 1 ? scale : 1; }
    void StopAndDestroy();

    // The picture a draw request shows: disabled wins, then pressed, then hot.
    int ImageIndex(bool disabled) const { return disabled ? 3 : Pressed ? 2 : Hot ? 1 : 0; }
    // Answers the parent's owner-draw request for this button.
    void Draw(const DRAWITEMSTRUCT& item) const;
    // One polling step: follows the cursor unless driven by a linked object.
    void PollHover();

    const std::string& ControllerID() const { return controllerId_; }
    int ControlId() const { return controlId_; }
    UINT_PTR TimerId() const { return reinterpret_cast<UINT_PTR>(this); }

    bool Hot = false;
    bool Linked = false;
    bool Pressed = false;

private:
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    std::vector<uint8_t> images_[kImages];
    std::string controllerId_;
    int controlId_ = 0;
    int scale_ = 1;
    MenuObjectOwner* owner_ = nullptr;
    WNDPROC buttonProcedure_ = nullptr;
};

}  // namespace shell
