#include "ui/message_box.h"

namespace ui {

int ShowMessage(HWND owner, const std::string& text, const std::string& caption, UINT flags) {
    return ::MessageBoxA(owner, text.c_str(), caption.c_str(), flags);
}

}  // namespace ui
