#include "wizard/right_aligned.h"

#ifndef WS_EX_LAYOUTRTL
#define WS_EX_LAYOUTRTL 0x00400000L
#endif

namespace wizard {

void ApplyRightAligned(HWND control, bool rightAligned) {
    if (!rightAligned || !control) return;
    LONG_PTR style = ::GetWindowLongPtrA(control, GWL_EXSTYLE);
    ::SetWindowLongPtrA(control, GWL_EXSTYLE, style | WS_EX_LAYOUTRTL);
    ::SetWindowPos(control, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
    ::InvalidateRect(control, nullptr, TRUE);
}

}  // namespace wizard
