// Message boxes. Callers pass texts already translated into the current
// language; the owner is disabled while the box is up, as for any modal box.
#pragma once

#include <windows.h>

#include <string>

namespace ui {

int ShowMessage(HWND owner, const std::string& text, const std::string& caption, UINT flags);

}  // namespace ui
