// The yardstick for the menu's start-up time: a Win32 program that shows an
// empty dialog, made from a template in memory, and closes it as soon as it
// is on screen.
#include <windows.h>

namespace {

INT_PTR CALLBACK Procedure(HWND dialog, UINT message, WPARAM, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        ::PostMessageA(dialog, WM_APP, 0, 0);
        return TRUE;
    case WM_APP:
        ::EndDialog(dialog, 0);
        return TRUE;
    default:
        return FALSE;
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // A dialog template with no controls, 160 x 100 dialog units.
    struct alignas(4) {
        DLGTEMPLATE header;
        WORD menu, windowClass, title;
    } dialog = {};
    dialog.header.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE | DS_CENTER;
    dialog.header.cx = 160;
    dialog.header.cy = 100;
    return int(::DialogBoxIndirectParamA(instance, &dialog.header, nullptr, Procedure, 0));
}
