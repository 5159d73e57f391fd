// The destination page: shows the target folder, changed only through the
// folder browser.
#pragma once

#include <string>

#include "wizard/wizard_page.h"

namespace wizard {

class TargetPage : public WizardPage {
public:
    explicit TargetPage(WizardFrame& frame);
    const std::string& Path() const { return path_; }
    // Opens the folder browser on the current path; OK takes its result.
    void Browse();

protected:
    bool OnInit() override;
    bool OnControl(int id, int code, HWND control) override;

private:
    std::string path_;
};

}  // namespace wizard
