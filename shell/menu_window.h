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
#include "installer/uninstall_run.h"
#include "shell/texts.h"
#include "ui/dialog.h"

namespace shell {

class MenuWindow;

// The action engine lives above the shell; the program hands it in before
// the menu runs. Without it clicks do nothing and every object stays enabled.
struct ActionEngine {
    // Runs the entry's actions; false when the menu must close.
    bool (*runActions)(MenuWindow& menu, const std::string& controllerId) = nullptr;
    // Shows, greys or hides the objects by their controllers' conditions.
    void (*evaluateDependencies)(MenuWindow& menu) = nullptr;
};
void SetActionEngine(const ActionEngine& engine);
const ActionEngine& GetActionEngine();

class MenuWindow : public ui::Dialog, public MenuObjectOwner {
public:
    static constexpr int kMarkerButtonId = 1044;
    static constexpr const char* kMarkerCaption = "$$_Qm_DummyButton_$$";
    static constexpr UINT kAboutCommand = 0x10;
    static constexpr DWORD kSplashMs = 1500;
    // Objects from number 302 on are drawn but their clicks do nothing.
    static constexpr int kLastClickableId = 5000;

    MenuWindow();
    ~MenuWindow() override;

    // Makes initialisation run the whole start-up (core, Setup.pac, project,
    // language choice, showing); without it the window only places its
    // marker, as the tests that load projects themselves want.
    void EnableStartUp(bool on) { startUp_ = on; }
    const std::string& Arg1() const { return arg1_; }

    // Stops sound, frees pictures, objects and controllers, and ends the modal run.
    void CloseMenu();
    // A click on the object with control id: ignored unless the object and
    // a selectable controller exist. Runs the entry's actions; when they ask
    // for it the menu closes (once the click has been handled) and, after a
    // restart request, the program starts again when the window is gone.
    void ObjectClicked(int id);
    // Set when the menu closed because an action asked for a restart.
    bool RestartOnExit() const { return restartOnExit_; }
    // Runs the dependency pass when an engine is present.
    void EvaluateDependencies();
    // What the uninstaller needs from the loaded project.
    installer::UninstallRequest MakeUninstallRequest() const;
    void PropagateHot(MenuObject& source, bool state) override;
    void PropagatePressed(MenuObject& source, bool state) override;
    bool ShowOutlines() const override { return showOutlines_; }

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
    // Replaces the answer computed at construction (a user without rights
    // cannot be had under every test system).
    void SetAdminRights(bool has) { hasAdminRights_ = has; }
    const std::vector<uint8_t>* CurrentBackground() const { return currentBackground_; }
    const std::vector<std::unique_ptr<MenuObject>>& Objects() const { return objects_; }
    // Image bytes per "language:object index:image index" (both from 0).
    const std::map<std::string, std::vector<uint8_t>>& ImageCache() const { return imageCache_; }

    bool ExitRequested = false;
    bool RestartRequested = false;

protected:
    // Places the marker button, and runs the start-up when enabled.
    bool OnInit() override;
    bool OnCommand(int id, int code, HWND control) override;
    // Enter does nothing; Escape closes only in test mode.
    void OnOK() override {}
    void OnCancel() override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result) override;
    // Shows a loading failure to the user.
    virtual void ReportLoadFailure(const std::string& text);

private:
    void ApplyWindowShape();
    void DecideLanguageDialog();
    void CreateObjects();
    void DestroyObjects();
    // Start-up after the marker is placed; false when the run ended early.
    bool StartUp();
    void PaintMenu();
    bool ChooseCursor();

    Project project_;
    std::string currentLanguage_;
    bool showLanguageDialog_ = false;
    std::string launchFolder_;
    bool hasAdminRights_ = false;
    const std::vector<uint8_t>* currentBackground_ = nullptr;
    std::vector<std::unique_ptr<MenuObject>> objects_;
    std::map<int, MenuObject*> objectIdMap_;
    std::map<std::string, std::vector<uint8_t>> imageCache_;
    bool startUp_ = false;
    bool restartOnExit_ = false;
    bool showOutlines_ = false;
    std::string arg1_;
    uint32_t osKind_ = 4;
    int scale_ = 1;  // the menu is drawn at this multiple of the project's pixels
    HICON icon_ = nullptr;
    HCURSOR handCursor_ = nullptr;
    HCURSOR menuCursor_ = nullptr;
};

}  // namespace shell
