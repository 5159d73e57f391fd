#include "shell/menu_object.h"

namespace shell {

bool MenuObject::Create(HWND parent, int x, int y, int width, int height, int id, const std::string& controllerId) {
    controllerId_ = controllerId;
    controlId_ = id;
    HWND hwnd = ::CreateWindowExA(0, "BUTTON", "", kStyle, x, y, width, height, parent,
                                  reinterpret_cast<HMENU>(INT_PTR(id)), ::GetModuleHandleA(nullptr), nullptr);
    if (!hwnd) return false;
    Attach(hwnd);
    return true;
}

void MenuObject::SetImage(int index, const uint8_t* bytes, size_t size) {
    if (index < 0 || index >= kImages) return;
    images_[index].assign(bytes, bytes + (bytes ? size : 0));
}

void MenuObject::Resize(int width, int height) {
    SetPos(nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOOWNERZORDER | SWP_NOREDRAW | SWP_NOCOPYBITS);
}

void MenuObject::StopAndDestroy() {
    if (hwnd_ && ::IsWindow(hwnd_)) Destroy();
    hwnd_ = nullptr;
}

}  // namespace shell
