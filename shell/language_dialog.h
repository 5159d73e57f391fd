// The dialog in which the user picks the menu's language. It speaks the
// highlighted language: title, prompt and buttons follow the selection.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ui/controls.h"
#include "ui/dialog.h"

namespace shell {

class MenuWindow;

class LanguageDialog : public ui::Dialog {
public:
    static constexpr int kPromptId = 1001;
    static constexpr int kListId = 1002;

    LanguageDialog(MenuWindow& menu, const std::string& preselected);

    // IDOK with Selected() the chosen language, or IDCANCEL.
    INT_PTR Run() { return DoModal(menuOwner()); }
    const std::string& Selected() const { return selected_; }

protected:
    bool OnInit() override;
    bool OnCommand(int id, int code, HWND control) override;

private:
    HWND menuOwner() const;
    // Sets caption, prompt and button texts in the Selected language.
    void Retitle();

    MenuWindow& menu_;
    std::string selected_;
    // The language names the list lines point at; they live as long as the dialog object.
    std::vector<std::unique_ptr<std::string>> itemNames_;
};

}  // namespace shell
