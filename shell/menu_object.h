// One image button of the menu, bound to a controller by its ID. This holds
// the window, the four pictures and the state flags; hover polling and
// drawing are added with the menu window's painting.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ui/window.h"

namespace shell {

class MenuObject : public ui::Window {
public:
    static constexpr int kImages = 4;  // normal, hot, pressed, disabled
    static constexpr DWORD kStyle = WS_CHILD | WS_VISIBLE | BS_OWNERDRAW;

    MenuObject() = default;
    ~MenuObject() { StopAndDestroy(); }
    MenuObject(const MenuObject&) = delete;
    MenuObject& operator=(const MenuObject&) = delete;

    // An owner-drawn button at (x, y) in the parent's client area.
    bool Create(HWND parent, int x, int y, int width, int height, int id, const std::string& controllerId);
    // Keeps a copy of the bytes; empty bytes leave the picture absent.
    void SetImage(int index, const uint8_t* bytes, size_t size);
    void SetImage(int index, const std::vector<uint8_t>& bytes) { SetImage(index, bytes.data(), bytes.size()); }
    const std::vector<uint8_t>& Image(int index) const { return images_[index]; }
    bool HasImage(int index) const { return !images_[index].empty(); }
    // New size, same position, no redraw.
    void Resize(int width, int height);
    void StopAndDestroy();

    const std::string& ControllerID() const { return controllerId_; }
    int ControlId() const { return controlId_; }

    bool Hot = false;
    bool Linked = false;
    bool Pressed = false;

private:
    std::vector<uint8_t> images_[kImages];
    std::string controllerId_;
    int controlId_ = 0;
};

}  // namespace shell
