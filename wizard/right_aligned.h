// Mirroring of controls for languages written from right to left.
#pragma once

#include <windows.h>

namespace wizard {

// Adds WS_EX_LAYOUTRTL to control when rightAligned; otherwise does nothing.
void ApplyRightAligned(HWND control, bool rightAligned);

}  // namespace wizard
