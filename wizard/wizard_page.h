// What every wizard page shares: a child dialog of the frame that reads the
// frame's choices when it is created and reacts when it is shown or hidden.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "ui/dialog.h"

namespace wizard {

class WizardFrame;

class WizardPage : public ui::Dialog {
public:
    WizardPage(WizardFrame& frame, int templateId) : ui::Dialog(templateId), frame_(frame) {}

    WizardFrame& Frame() const { return frame_; }
    // Called by the frame each time it switches to or away from the page.
    virtual void OnShow() {}
    virtual void OnHide() {}

protected:
    // The control's text: text expanded in the wizard's context.
    void SetItemText(int id, std::string_view text);
    std::string ItemText(int id) const;
    // Mirrors the control when the project is written right to left.
    void RightAlign(int id);
    // Selects the whole text of an edit field, scrolls to the caret, focuses it.
    void FocusField(int id);
    // A page never ends itself: Enter and Escape belong to the frame.
    bool OnCommand(int id, int code, HWND control) override;
    virtual bool OnControl(int, int, HWND) { return false; }

private:
    WizardFrame& frame_;
};

}  // namespace wizard
