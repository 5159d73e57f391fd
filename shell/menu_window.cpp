#include "shell/menu_window.h"

#include <mmsystem.h>

#include "core/busy_cursor.h"
#include "core/data_group.h"
#include "core/registry.h"
#include "core/core_startup.h"
#include "core/file_systems.h"
#include "core/mount_table.h"
#include "core/os_version.h"
#include "installer/admin_rights.h"
#include "installer/uninstall_run.h"
#include "shell/language_dialog.h"
#include "shell/startup.h"
#include "resources/resource_ids.h"
#include "ui/gdi.h"
#include "ui/message_box.h"

namespace shell {

namespace {

ActionEngine g_engine;
// Posted by a click whose actions ended the menu: the menu closes once the
// button that was clicked has finished its own message.
constexpr UINT kCloseAfterClick = WM_APP + 1;

// The menu keeps its intended physical size on a high-DPI screen without
// blurring its pictures: it draws them at the largest whole multiple that the
// screen's DPI calls for (2 at 192 DPI, still 1 at 144) and that fits the work
// area. The process is DPI aware (its manifest), so the DPI is the real one.
int MenuScale(int width, int height) {
    HDC screen = ::GetDC(nullptr);
    int dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ::ReleaseDC(nullptr, screen);
    RECT work = {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    int scale = dpi / 96;
    while (scale > 1 && (width * scale > work.right - work.left || height * scale > work.bottom - work.top)) --scale;
    return scale > 1 ? scale : 1;
}

std::string CacheKey(const std::string& language, int object, int image) {
    return language + ":" + std::to_string(object) + ":" + std::to_string(image);
}

// Names the runtime and the editor version the project was made with.
class AboutBox : public ui::Dialog {
public:
    explicit AboutBox(std::string editorVersion) : ui::Dialog(IDD_ABOUT), editorVersion_(std::move(editorVersion)) {}

protected:
    bool OnInit() override {
        SetText("(CU)  w " + editorVersion_ + "  s 3.4");
        CenterOnScreen();
        return true;
    }

private:
    std::string editorVersion_;
};

}  // namespace

void SetActionEngine(const ActionEngine& engine) { g_engine = engine; }
const ActionEngine& GetActionEngine() { return g_engine; }

MenuWindow::MenuWindow()
    : ui::Dialog(IDD_MENU), launchFolder_(CurrentDirectory()), hasAdminRights_(installer::ComputeAdminRights()) {
    icon_ = ::LoadIconA(ui::ResourceModule(), MAKEINTRESOURCEA(IDI_MENU));
}

MenuWindow::~MenuWindow() { DestroyObjects(); }

bool MenuWindow::OnInit() {
    // The marker that lets a second start find this window stays a visible
    // child, out of sight.
    ::SetWindowPos(GetItem(kMarkerButtonId), nullptr, 1700, 1700, 64, 32, SWP_NOZORDER | SWP_NOACTIVATE);
    if (startUp_) StartUp();
    return true;
}

bool MenuWindow::StartUp() {
    HINSTANCE instance = ::GetModuleHandleA(nullptr);
    core::Core& core = core::GetCore();
    core.Init(hwnd_, instance);
    arg1_ = core.ArgumentCount() > 0 ? core.Arguments()[0] : std::string();

    core::OsVersion os;
    core::GetOsVersion(os);
    osKind_ = os.kind;
    handCursor_ = ::LoadCursorA(ui::ResourceModule(), MAKEINTRESOURCEA(IDC_MENU_HAND));
    menuCursor_ = ::LoadCursorA(ui::ResourceModule(), MAKEINTRESOURCEA(IDC_MENU_ARROW));
    if (!handCursor_) handCursor_ = ::LoadCursorA(nullptr, MAKEINTRESOURCEA(32649));  // the system's hand
    if (!menuCursor_) menuCursor_ = ::LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // and arrow

    if (icon_) Send(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    if (HMENU system = ::GetSystemMenu(hwnd_, FALSE)) {
        ::AppendMenuA(system, MF_SEPARATOR, 0, nullptr);
        ::AppendMenuA(system, MF_STRING, kAboutCommand, "&About...");
    }

    // The splash gets painted by pumping what is pending once; loading follows.
    ui::Dialog splash(IDD_SPLASH);
    if (splash.Create(hwnd_)) splash.Show(SW_SHOW);
    const DWORD splashShown = ::timeGetTime();
    MSG message;
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            ::PostQuitMessage(int(message.wParam));
            break;
        }
        ::TranslateMessage(&message);
        ::DispatchMessageA(&message);
    }

    // A restarted copy reads what is installed, not the disc's package.
    if (arg1_ != "-checkrestart" && arg1_ != "-restart") core::Mount("Setup.pac", "Virtual", false);

    bool loaded = LoadProjectSettings();
    // Outside test mode the splash stays at least 1.5 s.
    if (loaded && !project_.settings.TestMode)
        while (::timeGetTime() - splashShown < kSplashMs) ::Sleep(10);
    splash.Destroy();
    if (!loaded) {
        End(0);
        return false;
    }
    const ProjectSettings& s = project_.settings;
    if (s.UseInstaller && arg1_ == "-uninst") {
        if (!hasAdminRights_) {
            ShowMessage("[AUTORUN_ERROR_ADMINRIGHTS]", "[AUTORUN_ERROR]", MB_ICONERROR);
        } else {
            installer::RunUninstall(false, MakeUninstallRequest());  // tells the user what keeps it from starting
        }
        End(0);
        return false;
    }
    if (s.UseInstaller && arg1_ == "-restart" && !s.TestMode) {
        core::ApplicationRecord record(s.ApplicationID.c_str());
        std::string installed = record.GetInstalledFolder();
        std::string here = ProgramFolder();
        auto same = [](std::string a, std::string b) {
            while (!a.empty() && a.back() == '\\') a.pop_back();
            while (!b.empty() && b.back() == '\\') b.pop_back();
            return ::lstrcmpiA(a.c_str(), b.c_str()) == 0;
        };
        if (record.IsInstalled() && !same(installed, here)) {
            UnloadDirectX();
            std::string line = installed;
            if (line.empty() || line.back() != '\\') line += '\\';
            StartCopy(core::QuotedCommandWord(line + "Setup.exe") + " -restart", nullptr);
            End(0);
            return false;
        }
    }
    if (showLanguageDialog_) {
        LanguageDialog dialog(*this, currentLanguage_);
        if (dialog.Run() != IDOK) {
            End(0);
            return false;
        }
        ApplyLanguage(dialog.Selected());
    } else {
        ApplyLanguage(currentLanguage_);
    }
    EvaluateDependencies();
    Show(SW_SHOW);
    if (s.PlayIntroSound && s.IntroSound.Size()) {
        DWORD flags = SND_ASYNC | SND_MEMORY | SND_NOWAIT | (s.LoopIntroSound ? SND_LOOP : 0);
        ::PlaySoundA(reinterpret_cast<LPCSTR>(s.IntroSound.Data()), nullptr, flags);
    }
    return true;
}

bool MenuWindow::OnCommand(int id, int code, HWND control) {
    if (id >= kFirstObjectId && id <= kLastClickableId) {
        // Only a click runs the entry; a double-click is one click, not two.
        if (code == BN_CLICKED) ObjectClicked(id);
        return true;
    }
    return ui::Dialog::OnCommand(id, code, control);
}

void MenuWindow::OnCancel() {
    if (project_.settings.TestMode) CloseMenu();
}

bool MenuWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result) {
    switch (message) {
    case WM_PAINT:
        PaintMenu();
        return true;
    case WM_ERASEBKGND:
    case WM_HELP:
        *result = TRUE;
        return true;
    case WM_QUERYDRAGICON:
        *result = reinterpret_cast<INT_PTR>(icon_);
        return true;
    case WM_SETCURSOR:
        if (!ChooseCursor()) return false;
        *result = TRUE;
        return true;
    case WM_CTLCOLORBTN:
        *result = reinterpret_cast<INT_PTR>(::GetStockObject(NULL_BRUSH));
        return true;
    case WM_DRAWITEM: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        MenuObject* object = item ? FindObject(int(item->CtlID)) : nullptr;
        if (!object) return false;
        object->Draw(*item);
        *result = TRUE;
        return true;
    }
    case WM_RBUTTONDBLCLK:
        if (project_.settings.TestMode) {
            showOutlines_ = !showOutlines_;
            ::RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
        }
        return false;
    case WM_CLOSE:
    case kCloseAfterClick:
        CloseMenu();
        return true;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) != kAboutCommand) return false;
        AboutBox(project_.settings.WizardVersion).DoModal(hwnd_);
        return true;
    default:
        return false;
    }
}

void MenuWindow::PaintMenu() {
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(hwnd_, &paint);
    RECT client;
    GetClientRect(&client);
    if (::IsIconic(hwnd_)) {
        if (icon_) ::DrawIcon(dc, (client.right - ::GetSystemMetrics(SM_CXICON) + 1) / 2,
                              (client.bottom - ::GetSystemMetrics(SM_CYICON) + 1) / 2, icon_);
    } else {
        const ProjectSettings& s = project_.settings;
        if (!currentBackground_ || !ui::DrawPixels(dc, 0, 0, s.Width, s.Height, scale_, currentBackground_->data(),
                                                     currentBackground_->size()))
            ui::FillColor(dc, client, RGB(128, 128, 128));
    }
    ::EndPaint(hwnd_, &paint);
}

bool MenuWindow::ChooseCursor() {
    if (osKind_ == core::kOsWindows95 || !menuCursor_) return false;
    POINT cursor;
    ::GetCursorPos(&cursor);
    for (const auto& object : objects_) {
        RECT r;
        if (!object->IsEnabled() || !object->GetWindowRect(&r)) continue;
        bool inside = cursor.x >= r.left && cursor.x < r.right && cursor.y >= r.top && cursor.y < r.bottom;
        if (inside && IsSelectable(*object)) {
            ::SetCursor(handCursor_);
            return true;
        }
    }
    ::SetCursor(menuCursor_);
    return true;
}

void MenuWindow::ObjectClicked(int id) {
    MenuObject* object = FindObject(id);
    if (!object || !IsSelectable(*object)) return;
    ExitRequested = false;
    RestartRequested = false;
    bool goOn = g_engine.runActions ? g_engine.runActions(*this, object->ControllerID()) : true;
    if (goOn && !ExitRequested && !RestartRequested) return;
    restartOnExit_ = RestartRequested;
    Post(kCloseAfterClick);
}

void MenuWindow::EvaluateDependencies() {
    if (g_engine.evaluateDependencies) g_engine.evaluateDependencies(*this);
}

installer::UninstallRequest MenuWindow::MakeUninstallRequest() const {
    installer::UninstallRequest request;
    auto texts = project_.languages.find(currentLanguage_);
    request.languageTexts = texts == project_.languages.end() ? nullptr : &texts->second;
    request.applicationName = project_.settings.ApplicationName;
    request.applicationId = project_.settings.ApplicationID;
    request.rightAligned = project_.settings.RightAligned;
    request.owner = hwnd_;
    request.expand = [this](std::string_view text) { return ExpandText(text, nullptr); };
    return request;
}

void MenuWindow::CloseMenu() {
    ::PlaySoundA(nullptr, nullptr, SND_PURGE);
    currentBackground_ = nullptr;
    project_.backgrounds.clear();
    DestroyObjects();
    project_.controllers.clear();
    End(0);
}

void MenuWindow::PropagateHot(MenuObject& source, bool state) {
    if (!IsSelectable(source)) return;
    for (const auto& object : objects_) {
        if (object.get() == &source || object->ControllerID() != source.ControllerID()) continue;
        object->Hot = state;
        object->Linked = state;
        object->Invalidate(false);
    }
}

void MenuWindow::PropagatePressed(MenuObject& source, bool state) {
    if (!IsSelectable(source)) return;
    for (const auto& object : objects_) {
        if (object.get() == &source || object->ControllerID() != source.ControllerID()) continue;
        object->Pressed = state;
        object->Invalidate(false);
    }
    const MenuController* controller = FindController(source.ControllerID());
    if (state && controller && controller->UseSound && controller->Sound.Size())
        ::PlaySoundA(reinterpret_cast<LPCSTR>(controller->Sound.Data()), nullptr, SND_ASYNC | SND_MEMORY | SND_NOWAIT);
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
    scale_ = MenuScale(s.Width, s.Height);
    RECT rect = {0, 0, s.Width * scale_, s.Height * scale_};
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
        object->SetScale(scale_);
        object->Create(hwnd_, entry.x * scale_, entry.y * scale_, entry.width * scale_, entry.height * scale_, id,
                       entry.controllerId, this);
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
        object->Resize(entry.width * scale_, entry.height * scale_);
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
