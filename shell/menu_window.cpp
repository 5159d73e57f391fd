#include "shell/menu_window.h"

#include <mmsystem.h>

#include "core/busy_cursor.h"
#include "core/data_group.h"
#include "core/registry.h"
#include "installer/admin_rights.h"
#include "resources/resource_ids.h"
#include "ui/message_box.h"

namespace shell {

namespace {

std::string CurrentDirectory() {
    DWORD needed = ::GetCurrentDirectoryA(0, nullptr);
    if (needed == 0) return std::string();
    std::string text(needed, '\0');
    DWORD got = ::GetCurrentDirectoryA(needed, text.data());
    text.resize(got < needed ? got : 0);
    return text;
}

std::string CacheKey(const std::string& language, int object, int image) {
    return language + ":" + std::to_string(object) + ":" + std::to_string(image);
}

}  // namespace

MenuWindow::MenuWindow()
    : ui::Dialog(IDD_MENU), launchFolder_(CurrentDirectory()), hasAdminRights_(installer::ComputeAdminRights()) {}

MenuWindow::~MenuWindow() { DestroyObjects(); }

bool MenuWindow::OnInit() {
    // The marker that lets a second start find this window stays a visible
    // child, out of sight.
    ::SetWindowPos(GetItem(kMarkerButtonId), nullptr, 1700, 1700, 64, 32, SWP_NOZORDER | SWP_NOACTIVATE);
    return true;
}

void MenuWindow::ReportLoadFailure(const std::string& text) {
    ui::ShowMessage(hwnd_, text, "Setup", MB_OK | MB_ICONERROR);
}

bool MenuWindow::LoadProjectSettings(const char* name) {
    core::BusyCursor busy(false);
    ::PlaySoundA(nullptr, nullptr, SND_PURGE);

    core::DataGroup root;
    core::TreeReadError error;
    if (!root.Load(name, &error)) {
        std::string text = "The menu data cannot be read: " + error.reason;
        if (error.reason != "cannot be opened") text += " at byte " + std::to_string(error.offset);
        ReportLoadFailure(text + ".");
        return false;
    }
    std::string missing;
    DestroyObjects();
    currentBackground_ = nullptr;
    if (!project_.Read(root, &missing)) {
        ReportLoadFailure("The menu data is damaged: the setting \"" + missing + "\" is missing or invalid.");
        return false;
    }
    ApplyWindowShape();
    currentLanguage_ = project_.settings.DefaultLanguage;
    DecideLanguageDialog();
    CreateObjects();
    return true;
}

void MenuWindow::ApplyWindowShape() {
    const ProjectSettings& s = project_.settings;
    DWORD style = GetStyle();
    DWORD exStyle = GetExStyle();
    if (!s.ShowCaption) {
        style &= ~DWORD(WS_CAPTION);
        if (!s.ShowBorder) exStyle &= ~DWORD(WS_EX_DLGMODALFRAME);
    }
    SetStyle(style);
    SetExStyle(exStyle);
    RECT rect = {0, 0, s.Width, s.Height};
    ::AdjustWindowRectEx(&rect, style, FALSE, exStyle);
    RECT now;
    GetWindowRect(&now);
    SetPos(nullptr, now.left, now.top, rect.right - rect.left, rect.bottom - rect.top,
           SWP_NOZORDER | SWP_FRAMECHANGED | SWP_NOACTIVATE);
    CenterOnScreen();
}

void MenuWindow::DecideLanguageDialog() {
    const ProjectSettings& s = project_.settings;
    showLanguageDialog_ = s.LangDialogAlways && s.LangDialogAllowed;
    // With one language there is nothing to choose from and nothing to remember.
    if (project_.languages.size() > 1) {
        core::RegistryKey key;
        if (!key.Open(s.RegistryPath.c_str(), true, HKEY_CURRENT_USER)) {
            showLanguageDialog_ = true;
        } else {
            std::string stored = key.IsString("CurrentLanguage") ? key.GetString("CurrentLanguage") : std::string();
            if (!stored.empty() && project_.languages.count(stored)) currentLanguage_ = stored;
            else showLanguageDialog_ = true;
        }
        if (!s.LangDialogAllowed) showLanguageDialog_ = false;
    }
}

void MenuWindow::CreateObjects() {
    for (const ObjectEntry& entry : project_.ObjectsOf(currentLanguage_)) {
        int id = kFirstObjectId + int(entry.number - 1);
        if (entry.number > 0xFFFFu - kFirstObjectId) break;  // control ids are 16-bit
        auto object = std::make_unique<MenuObject>();
        for (int k = 0; k < MenuObject::kImages; ++k) {
            const core::DataValue* image = entry.group->FindValue("Image" + std::to_string(k + 1));
            if (image && image->Binary()) object->SetImage(k, image->Binary()->Data(), image->Binary()->Size());
        }
        // The window itself; hover polling and drawing come with the menu's painting.
        object->Create(hwnd_, entry.x, entry.y, entry.width, entry.height, id, entry.controllerId);
        objectIdMap_[id] = object.get();
        objects_.push_back(std::move(object));
    }
}

void MenuWindow::DestroyObjects() {
    objectIdMap_.clear();
    objects_.clear();  // each object destroys its window
}

MenuObject* MenuWindow::FindObject(int controlId) const {
    auto it = objectIdMap_.find(controlId);
    return it == objectIdMap_.end() ? nullptr : it->second;
}

bool MenuWindow::IsSelectable(const MenuObject& object) const {
    const MenuController* c = project_.FindController(object.ControllerID());
    return c && c->Selectable;
}

bool MenuWindow::ApplyLanguage(const std::string& language) {
    if (!project_.objects.count(language)) return false;
    for (const ObjectEntry& entry : project_.ObjectsOf(language)) {
        int index = int(entry.number - 1);
        MenuObject* object = FindObject(kFirstObjectId + index);
        if (!object) continue;  // the start language had fewer objects
        for (int k = 0; k < MenuObject::kImages; ++k) {
            std::string key = CacheKey(language, index, k);
            auto cached = imageCache_.find(key);
            if (cached == imageCache_.end()) {
                std::vector<uint8_t> bytes;
                const core::DataValue* image = entry.group->FindValue("Image" + std::to_string(k + 1));
                if (image && image->Binary() && image->Binary()->Size())
                    bytes.assign(image->Binary()->Data(), image->Binary()->Data() + image->Binary()->Size());
                cached = imageCache_.emplace(key, std::move(bytes)).first;
            }
            object->SetImage(k, cached->second);
        }
        object->Resize(entry.width, entry.height);
    }
    auto background = project_.backgrounds.find(language);
    currentBackground_ = background == project_.backgrounds.end() ? nullptr : &background->second;
    currentLanguage_ = language;
    Invalidate(false);

    std::string title = TranslateText(project_.settings.ApplicationName);
    if (project_.settings.TestMode) title += "   (Language is \"" + language + "\")";
    SetText(title);

    core::RegistryKey key;
    if (key.Create(project_.settings.RegistryPath.c_str(), HKEY_CURRENT_USER))
        key.SetString("CurrentLanguage", language.c_str());
    return true;
}

int MenuWindow::ShowMessage(std::string_view text, std::string_view caption, UINT flags) {
    return ui::ShowMessage(hwnd_, TranslateText(text), TranslateText(caption), flags);
}

TextSources MenuWindow::Texts() const {
    TextSources t;
    t.languages = &project_.languages;
    t.currentLanguage = currentLanguage_;
    t.launchFolder = launchFolder_;
    t.applicationName = project_.settings.ApplicationName;
    t.altApplicationName = project_.settings.AltApplicationName;
    t.applicationId = project_.settings.ApplicationID;
    return t;
}

std::string MenuWindow::TranslateText(std::string_view text) const { return shell::TranslateText(text, Texts()); }

std::string MenuWindow::ExpandText(std::string_view text, const WizardFolders* wizard) const {
    return shell::ExpandText(text, Texts(), wizard);
}

}  // namespace shell
