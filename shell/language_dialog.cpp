#include "shell/language_dialog.h"

#include "resources/resource_ids.h"
#include "shell/menu_window.h"

namespace shell {

LanguageDialog::LanguageDialog(MenuWindow& menu, const std::string& preselected)
    : ui::Dialog(IDD_LANGUAGE), menu_(menu), selected_(preselected) {}

HWND LanguageDialog::menuOwner() const { return menu_.Handle(); }

bool LanguageDialog::OnInit() {
    ui::ListBox list(GetItem(kListId));
    itemNames_.clear();
    for (const auto& [name, texts] : menu_.GetProject().languages) {
        const core::DataValue* display = texts.FindValue("Name");
        const char* line = display && display->TextObject() ? display->Text() : kUnknownLanguage;
        int index = list.AddString(line);
        if (index < 0) continue;
        itemNames_.push_back(std::make_unique<std::string>(name));
        list.SetItemData(index, reinterpret_cast<LPARAM>(itemNames_.back().get()));
    }
    int count = list.GetCount();
    for (int i = 0; i < count; ++i) {
        auto* name = reinterpret_cast<const std::string*>(list.GetItemData(i));
        if (name && *name == selected_) {
            list.SetCurSel(i);
            break;
        }
    }
    Retitle();
    return true;
}

bool LanguageDialog::OnCommand(int id, int code, HWND control) {
    if (id == kListId && code == LBN_SELCHANGE) {
        ui::ListBox list(control);
        int index = list.GetCurSel();
        if (index >= 0) {
            auto* name = reinterpret_cast<const std::string*>(list.GetItemData(index));
            if (name) selected_ = *name;
            Retitle();
        }
        return true;
    }
    return ui::Dialog::OnCommand(id, code, control);
}

void LanguageDialog::Retitle() {
    // The texts of the highlighted language, without touching the menu's own choice.
    TextSources texts = menu_.Texts();
    texts.currentLanguage = selected_;
    SetText(TranslateText(menu_.Settings().ApplicationName, texts));
    ui::Window(GetItem(kPromptId)).SetText(TranslateText("[AUTORUN_LANGUAGE_SELECT]", texts));
    ui::Window(GetItem(IDOK)).SetText(TranslateText("[AUTORUN_LANGUAGE_OK]", texts));
    ui::Window(GetItem(IDCANCEL)).SetText(TranslateText("[AUTORUN_LANGUAGE_CANCEL]", texts));
}

}  // namespace shell
