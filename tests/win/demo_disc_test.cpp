// The demo disc as ./run test builds it (examples/demo.sh with the 64-bit
// runtime into <build>/demo/disc): its entries are shown, greyed and hidden
// on screen as its dependencies say, and follow a language switch and the
// installed state.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "../core/test_util.h"
#include "automation.h"
#include "core/binary_buffer.h"
#include "core/data_group.h"
#include "core/registry.h"

namespace {

constexpr const char* kMarker = "$$_Qm_DummyButton_$$";
constexpr const char* kRegistryPath = "Software\\Trelvo\\Autorun\\DemoQuest";

std::string DemoDisc() {
    char path[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    folder = folder.substr(0, folder.find_last_of('\\'));  // bin
    folder = folder.substr(0, folder.find_last_of('\\'));  // the build
    return folder + "\\demo\\disc";
}

// The project tree inside a Setup.exe.
bool ReadProject(const std::string& program, core::DataGroup* root) {
    HMODULE module = ::LoadLibraryExA(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) return false;
    bool read = false;
    if (HRSRC found = ::FindResourceA(module, MAKEINTRESOURCEA(157), "VGF")) {
        HGLOBAL data = ::LoadResource(module, found);
        core::BinaryBuffer bytes(::LockResource(data), ::SizeofResource(module, found));
        read = root->ReadFrom(bytes);
    }
    ::FreeLibrary(module);
    return read;
}

struct MenuSearch {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK HasMarker(HWND child, LPARAM param) {
    if (automation::WindowText(child) != kMarker) return TRUE;
    *reinterpret_cast<bool*>(param) = true;
    return FALSE;
}

BOOL CALLBACK FindMenu(HWND hwnd, LPARAM param) {
    auto* search = reinterpret_cast<MenuSearch*>(param);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    if (pid != search->pid || !::IsWindowVisible(hwnd)) return TRUE;
    bool marked = false;
    ::EnumChildWindows(hwnd, HasMarker, reinterpret_cast<LPARAM>(&marked));
    if (!marked) return TRUE;
    search->found = hwnd;
    return FALSE;
}

class DemoMenu {
public:
    bool Start(const std::string& disc) {
        ::SetCursorPos(0, 0);
        std::string line = "\"" + disc + "\\Setup.exe\"";
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, disc.c_str(), &startup,
                              &process_))
            return false;
        for (int i = 0; i < 600 && !menu_; ++i, ::Sleep(50)) {
            MenuSearch search{process_.dwProcessId, nullptr};
            ::EnumWindows(FindMenu, reinterpret_cast<LPARAM>(&search));
            menu_ = search.found;
        }
        return menu_ != nullptr;
    }
    ~DemoMenu() {
        if (menu_) ::PostMessageA(menu_, WM_SYSCOMMAND, SC_CLOSE, 0);
        if (!process_.hProcess) return;
        if (::WaitForSingleObject(process_.hProcess, 20000) != WAIT_OBJECT_0) ::TerminateProcess(process_.hProcess, 9);
        ::CloseHandle(process_.hThread);
        ::CloseHandle(process_.hProcess);
    }
    HWND Menu() const { return menu_; }
    HWND Object(int number) const { return ::GetDlgItem(menu_, 4700 + number - 1); }
    // The colour on screen at a client point of the menu.
    COLORREF Pixel(int x, int y) const {
        POINT point = {x, y};
        ::ClientToScreen(menu_, &point);
        HDC screen = ::GetDC(nullptr);
        COLORREF color = ::GetPixel(screen, point.x, point.y);
        ::ReleaseDC(nullptr, screen);
        return color;
    }
    void Click(int x, int y) const {
        ::SetForegroundWindow(menu_);
        POINT point = {x, y};
        ::ClientToScreen(menu_, &point);
        ::SetCursorPos(point.x, point.y);
        ::Sleep(200);
        ::mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
        ::Sleep(100);
        ::mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
        // Away again, so that nothing shows its highlighted picture.
        ::Sleep(300);
        ::SetCursorPos(0, 0);
    }

private:
    PROCESS_INFORMATION process_ = {};
    HWND menu_ = nullptr;
};

enum Look { kShown, kGreyed, kHidden };

class DemoDiscTest : public ::testing::Test {
protected:
    void SetUp() override {
        disc_ = DemoDisc();
        if (::GetFileAttributesA((disc_ + "\\Setup.exe").c_str()) == INVALID_FILE_ATTRIBUTES)
            GTEST_SKIP() << "no demo disc at " << disc_ << " (./run test builds it)";
        ASSERT_TRUE(ReadProject(disc_ + "\\Setup.exe", &project_));
        Reset();
        core::RegistryKey key;
        ASSERT_TRUE(key.Create(kRegistryPath, HKEY_CURRENT_USER));
        key.SetString("CurrentLanguage", "English");
    }
    void TearDown() override { Reset(); }
    static void Reset() {
        ::RegDeleteKeyA(HKEY_CURRENT_USER, kRegistryPath);
        ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, kRegistryPath);
    }

    // The colour of picture image (1 to 4) of object number in language,
    // 4 pixels in from its top left corner, and that point in the menu.
    COLORREF PictureColor(const char* language, int number, int image, POINT* at) {
        const core::DataGroup* objects = project_.FindValue(std::string("Objects/") + language)->Group();
        const core::DataGroup* object = objects->FindValue(std::to_string(number))->Group();
        int width = int(object->FindValue("Width")->Number());
        at->x = int(object->FindValue("XPos")->Number()) + 4;
        at->y = int(object->FindValue("YPos")->Number()) + 4;
        const core::BinaryBuffer* bytes = object->FindValue("Image" + std::to_string(image))->Binary();
        const uint8_t* p = bytes->Data() + (size_t(4) * width + 4) * 4;
        return RGB(p[2], p[1], p[0]);
    }

    void ExpectLooks(const DemoMenu& menu, const char* language, const std::vector<Look>& looks) {
        for (size_t i = 0; i < looks.size(); ++i) {
            int number = int(i) + 1;
            HWND object = menu.Object(number);
            ASSERT_NE(object, nullptr) << "object " << number;
            EXPECT_EQ(::IsWindowVisible(object) != FALSE, looks[i] != kHidden) << "object " << number;
            if (looks[i] == kHidden) continue;
            EXPECT_EQ(::IsWindowEnabled(object) != FALSE, looks[i] == kShown) << "object " << number;
            // What the screen shows: picture 1 when shown, picture 4 when greyed.
            POINT at;
            COLORREF expected = PictureColor(language, number, looks[i] == kShown ? 1 : 4, &at);
            COLORREF seen = CLR_INVALID;
            for (int tries = 0; tries < 60 && seen != expected; ++tries, ::Sleep(50)) seen = menu.Pixel(at.x, at.y);
            EXPECT_EQ(seen, expected) << "object " << number << " at " << at.x << "," << at.y;
        }
    }

    std::string disc_;
    core::DataGroup project_;
};

}  // namespace

// Install, Play, Uninstall, Manual, About, Deutsch, English, Exit.
TEST_F(DemoDiscTest, EntriesFollowTheDependenciesOnScreen) {
    {
        DemoMenu menu;
        ASSERT_TRUE(menu.Start(disc_));
        // Not installed: Play greyed, Uninstall hidden; the manual lies on
        // the disc; the current language's own entry is hidden.
        ExpectLooks(menu, "English", {kShown, kGreyed, kHidden, kShown, kShown, kShown, kHidden, kShown});

        // Deutsch switches the language; the entries follow at once.
        menu.Click(385, 345);
        for (int i = 0; i < 100 && ::IsWindowVisible(menu.Object(6)); ++i) ::Sleep(50);
        ExpectLooks(menu, "Deutsch", {kShown, kGreyed, kHidden, kShown, kShown, kHidden, kShown, kShown});
    }
    // Installed, and run by an administrator (as every Wine user is).
    core::RegistryKey installed;
    ASSERT_TRUE(installed.Create(kRegistryPath, HKEY_LOCAL_MACHINE));
    installed.SetDword("AppInstalled", 1);
    DemoMenu menu;
    ASSERT_TRUE(menu.Start(disc_));
    ExpectLooks(menu, "Deutsch", {kGreyed, kShown, kShown, kShown, kShown, kHidden, kShown, kShown});
}
