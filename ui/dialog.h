// Dialogs made from templates in the running module's resources, modal or
// modeless. One dialog procedure serves them all: it keeps `this` from
// WM_INITDIALOG on and lets no exception reach Windows.
#pragma once

#include <windows.h>

#include "ui/window.h"

namespace ui {

// The module whose templates, bitmaps and icons the user interface loads:
// the running program unless set otherwise.
HINSTANCE ResourceModule();
void SetResourceModule(HINSTANCE module);

class Dialog : public Window {
public:
    explicit Dialog(int templateId) : templateId_(templateId) {}
    virtual ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Runs the dialog modally; the result given to End, or -1 when the
    // template cannot be made into a window.
    INT_PTR DoModal(HWND owner);
    // Creates the dialog modeless; false when that fails.
    bool Create(HWND owner);
    // Ends a modal run with result; destroys a modeless dialog.
    void End(INT_PTR result);
    bool IsModal() const { return modal_; }
    int TemplateId() const { return templateId_; }

protected:
    // Return false to keep the focus where OnInit set it.
    virtual bool OnInit() { return true; }
    // True when handled. The default ends the dialog on OK and Cancel.
    virtual bool OnCommand(int id, int code, HWND control);
    virtual void OnOK() { End(IDOK); }
    virtual void OnCancel() { End(IDCANCEL); }
    // Any other message: true (and the result) when handled.
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result);
    virtual void OnDestroy() {}

private:
    static INT_PTR CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);

    int templateId_;
    bool modal_ = false;
};

}  // namespace ui
