// The menu window: owner of the loaded project and of everything built from
// it, and the context every action, dependency and wizard page reads.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "shell/menu_object.h"
#include "shell/project.h"
#include "shell/texts.h"
#include "ui/dialog.h"

namespace shell {

class MenuWindow : public ui::Dialog {
public:
    static constexpr int kMarkerButtonId = 1044;
    static constexpr const char* kMarkerCaption = "$$_Qm_DummyButton_$$";

    MenuWindow();
    ~MenuWindow() override;

    // Reads the project tree from name (through the mount table), sizes the
    // window, builds controllers, language tables, backgrounds and the
    // objects of the start language, and decides on the language dialog.
    // A project that cannot be read or lacks a required key is reported in a
    // message box that names what is wrong, and false is returned.
    bool LoadProjectSettings(const char* name = kProjectName);

    // Switches pictures, object sizes, background, title and the stored
    // choice to language; false (nothing changed) when it has no objects entry.
    bool ApplyLanguage(const std::string& language);

    std::string TranslateText(std::string_view text) const;
    // A message box over the menu whose text and caption are text keys (or
    // sentences holding them) of the current language.
    int ShowMessage(std::string_view text, std::string_view caption, UINT flags);
    std::string ExpandText(std::string_view text, const WizardFolders* wizard) const;
    TextSources Texts() const;

    MenuController* FindController(std::string_view id) { return project_.FindController(id); }
    // Hand cursor, highlighting and clicks only for objects whose controller
    // exists and is selectable.
    bool IsSelectable(const MenuObject& object) const;
    MenuObject* FindObject(int controlId) const;

    const Project& GetProject() const { return project_; }
    Project& GetProject() { return project_; }
    const ProjectSettings& Settings() const { return project_.settings; }
    const std::string& CurrentLanguage() const { return currentLanguage_; }
    bool ShowLanguageDialog() const { return showLanguageDialog_; }
    const std::string& LaunchFolder() const { return launchFolder_; }
    bool HasAdminRights() const { return hasAdminRights_; }
    const std::vector<uint8_t>* CurrentBackground() const { return currentBackground_; }
    const std::vector<std::unique_ptr<MenuObject>>& Objects() const { return objects_; }
    // Image bytes per "language:object index:image index" (both from 0).
    const std::map<std::string, std::vector<uint8_t>>& ImageCache() const { return imageCache_; }

    bool ExitRequested = false;
    bool RestartRequested = false;

protected:
    // Places the marker button; the start-up sequence (core start, splash,
    // loading, language choice) is run from here by the program entry.
    bool OnInit() override;
    // Shows a loading failure to the user.
    virtual void ReportLoadFailure(const std::string& text);

private:
    void ApplyWindowShape();
    void DecideLanguageDialog();
    void CreateObjects();
    void DestroyObjects();

    Project project_;
    std::string currentLanguage_;
    bool showLanguageDialog_ = false;
    std::string launchFolder_;
    bool hasAdminRights_ = false;
    const std::vector<uint8_t>* currentBackground_ = nullptr;
    std::vector<std::unique_ptr<MenuObject>> objects_;
    std::map<int, MenuObject*> objectIdMap_;
    std::map<std::string, std::vector<uint8_t>> imageCache_;
};

}  // namespace shell
