// The demo disc's menu on a 192 DPI screen (Wine's LogPixels): twice the
// project's size, every picture drawn as 2x2 blocks of its own pixels (no
// blur), and the hover found in the same scale. The test saves what it saw as
// menu-192dpi.bmp in the build folder.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "automation.h"
#include "demo_disc.h"
#include "core/binary_buffer.h"
#include "core/data_group.h"
#include "core/registry.h"

namespace {

constexpr const char* kMarker = "$$_Qm_DummyButton_$$";
constexpr const char* kRegistryPath = "Software\\Trelvo\\Autorun\\DemoQuest";
constexpr int kFirstObjectId = 4700;

// Sets a DWORD value and puts back what was there (or nothing) at the end.
class ScopedDword {
public:
    ScopedDword(HKEY root, const char* key, const char* name, DWORD value) : root_(root), key_(key), name_(name) {
        HKEY k;
        if (::RegCreateKeyExA(root, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr) != ERROR_SUCCESS) return;
        DWORD old = 0, size = sizeof old, type = 0;
        if (::RegQueryValueExA(k, name, nullptr, &type, reinterpret_cast<BYTE*>(&old), &size) == ERROR_SUCCESS &&
            type == REG_DWORD)
            old_ = old;
        set_ = ::RegSetValueExA(k, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value) ==
               ERROR_SUCCESS;
        ::RegCloseKey(k);
    }
    ~ScopedDword() {
        HKEY k;
        if (::RegOpenKeyExA(root_, key_, 0, KEY_ALL_ACCESS, &k) != ERROR_SUCCESS) return;
        if (old_) ::RegSetValueExA(k, name_, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&*old_), sizeof *old_);
        else ::RegDeleteValueA(k, name_);
        ::RegCloseKey(k);
    }
    bool Set() const { return set_; }

private:
    HKEY root_;
    const char* key_;
    const char* name_;
    std::optional<DWORD> old_;
    bool set_ = false;
};

// What the screen shows of a window's client area, rows top to bottom.
std::vector<COLORREF> ScreenPixels(HWND hwnd, int width, int height) {
    POINT origin = {0, 0};
    ::ClientToScreen(hwnd, &origin);
    std::vector<COLORREF> out(size_t(width) * size_t(height), CLR_INVALID);
    HDC screen = ::GetDC(nullptr);
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof info.bmiHeader, width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC memory = ::CreateCompatibleDC(screen);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, width, height, screen, origin.x, origin.y, SRCCOPY);
    ::GdiFlush();
    const auto* p = static_cast<const uint32_t*>(bits);
    for (size_t i = 0; i < out.size(); ++i) out[i] = RGB((p[i] >> 16) & 0xFF, (p[i] >> 8) & 0xFF, p[i] & 0xFF);
    ::SelectObject(memory, old);
    ::DeleteDC(memory);
    ::DeleteObject(bitmap);
    ::ReleaseDC(nullptr, screen);
    return out;
}

void SaveBitmap(const std::string& path, const std::vector<COLORREF>& pixels, int width, int height) {
    BITMAPFILEHEADER file = {};
    BITMAPINFOHEADER info = {sizeof info, width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = DWORD(file.bfOffBits + pixels.size() * 4);
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return;
    std::fwrite(&file, sizeof file, 1, f);
    std::fwrite(&info, sizeof info, 1, f);
    for (COLORREF c : pixels) {
        uint8_t bgra[4] = {GetBValue(c), GetGValue(c), GetRValue(c), 0};
        std::fwrite(bgra, 4, 1, f);
    }
    std::fclose(f);
}

COLORREF PictureAt(const core::BinaryBuffer& picture, int width, int x, int y) {
    const uint8_t* p = picture.Data() + (size_t(y) * size_t(width) + size_t(x)) * 4;
    return RGB(p[2], p[1], p[0]);
}

// The menu program the test started; closed (or ended) however the test ends.
struct StartedMenu {
    PROCESS_INFORMATION process = {};
    HWND menu = nullptr;
    ~StartedMenu() {
        if (menu) ::PostMessageA(menu, WM_SYSCOMMAND, SC_CLOSE, 0);
        if (!process.hProcess) return;
        if (::WaitForSingleObject(process.hProcess, 20000) != WAIT_OBJECT_0) ::TerminateProcess(process.hProcess, 9);
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
        ::RegDeleteKeyA(HKEY_CURRENT_USER, kRegistryPath);
    }
};

int Number(const core::DataGroup& g, const char* name) {
    const core::DataValue* v = g.FindValue(name);
    return v ? int(v->Number()) : -1;
}

}  // namespace

TEST(MenuDpi, TwiceTheSizePixelExactAndHoverInTheSameScaleAt192Dpi) {
    const std::string disc = testutil::DemoDisc();
    if (::GetFileAttributesA((disc + "\\Setup.exe").c_str()) == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "no demo disc at " << disc << " (./run test builds it)";
    core::DataGroup project;
    ASSERT_TRUE(testutil::ReadProject(disc + "\\Setup.exe", &project));
    const int width = Number(project, "Width"), height = Number(project, "Height");
    const core::DataGroup* objects = project.FindValue("Objects/English")->Group();
    ASSERT_NE(objects, nullptr);
    const core::BinaryBuffer* background = objects->FindValue("Background")->Binary();
    ASSERT_NE(background, nullptr);

    // Wine reads the DPI from either key when a process starts.
    ScopedDword desktop(HKEY_CURRENT_USER, "Control Panel\\Desktop", "LogPixels", 192);
    ScopedDword fonts(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Hardware Profiles\\Current\\Software\\Fonts",
                      "LogPixels", 192);
    ASSERT_TRUE(desktop.Set() && fonts.Set());
    ::RegDeleteKeyA(HKEY_CURRENT_USER, kRegistryPath);
    ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, kRegistryPath);
    {
        core::RegistryKey language;
        ASSERT_TRUE(language.Create(kRegistryPath, HKEY_CURRENT_USER));
        language.SetString("CurrentLanguage", "English");
    }

    ::SetCursorPos(0, 0);
    std::string line = "\"" + disc + "\\Setup.exe\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    StartedMenu started;
    ASSERT_TRUE(::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, disc.c_str(), &startup,
                                 &started.process));
    HWND menu = started.menu = automation::WaitForWindowOf(started.process.dwProcessId, kMarker, nullptr, 30000);
    ASSERT_NE(menu, nullptr);
    {
        RECT client = {};
        ::GetClientRect(menu, &client);
        EXPECT_EQ(client.right, 2 * width);
        EXPECT_EQ(client.bottom, 2 * height);
        const int w = client.right, h = client.bottom;

        // What the menu should show: the background, then each visible
        // object's picture (normal, or greyed when disabled), at twice their
        // size and place.
        std::vector<COLORREF> expected(size_t(w) * size_t(h), CLR_INVALID);
        for (int y = 0; y < h && y / 2 < height; ++y)
            for (int x = 0; x < w && x / 2 < width; ++x)
                expected[size_t(y) * w + x] = PictureAt(*background, width, x / 2, y / 2);
        struct Shown {
            int number, x, y, width, height;
        };
        std::vector<Shown> shown;
        for (int number = 1;; ++number) {
            const core::DataValue* v = objects->FindValue(std::to_string(number));
            if (!v || !v->Group()) break;
            const core::DataGroup& o = *v->Group();
            HWND object = ::GetDlgItem(menu, kFirstObjectId + number - 1);
            if (!object || !::IsWindowVisible(object)) continue;
            Shown s{number, Number(o, "XPos"), Number(o, "YPos"), Number(o, "Width"), Number(o, "Height")};
            RECT r;
            ::GetWindowRect(object, &r);
            ::MapWindowPoints(nullptr, menu, reinterpret_cast<POINT*>(&r), 2);
            EXPECT_EQ(r.left, 2 * s.x) << "object " << number;
            EXPECT_EQ(r.top, 2 * s.y) << "object " << number;
            EXPECT_EQ(r.right - r.left, 2 * s.width) << "object " << number;
            EXPECT_EQ(r.bottom - r.top, 2 * s.height) << "object " << number;
            const core::BinaryBuffer* picture =
                o.FindValue(::IsWindowEnabled(object) ? "Image1" : "Image4")->Binary();
            ASSERT_NE(picture, nullptr);
            for (int y = 0; y < 2 * s.height && 2 * s.y + y < h; ++y)
                for (int x = 0; x < 2 * s.width && 2 * s.x + x < w; ++x)
                    expected[size_t(2 * s.y + y) * w + 2 * s.x + x] = PictureAt(*picture, s.width, x / 2, y / 2);
            shown.push_back(s);
        }
        ASSERT_FALSE(shown.empty());

        // Painting takes a moment after the window appears.
        std::vector<COLORREF> seen;
        for (int tries = 0; tries < 100 && seen != expected; ++tries, ::Sleep(50)) seen = ScreenPixels(menu, w, h);
        char here[MAX_PATH] = {};
        ::GetModuleFileNameA(nullptr, here, MAX_PATH);
        std::string build(here);
        build = build.substr(0, build.find_last_of('\\'));
        build = build.substr(0, build.find_last_of('\\'));
        SaveBitmap(build + "\\menu-192dpi.bmp", seen, w, h);
        size_t wrong = 0, first = 0;
        for (size_t i = 0; i < seen.size(); ++i)
            if (seen[i] != expected[i] && wrong++ == 0) first = i;
        EXPECT_EQ(wrong, 0u) << "pixels differ, the first at " << first % w << "," << first / w;

        // Hover in the same scale: a point inside the first shown object's
        // doubled rectangle but outside its undoubled one, where its hot
        // picture differs from the normal one, turns it hot.
        const Shown& s = shown.front();
        const core::DataGroup& o = *objects->FindValue(std::to_string(s.number))->Group();
        const core::BinaryBuffer& normal = *o.FindValue("Image1")->Binary();
        const core::BinaryBuffer& hotPicture = *o.FindValue("Image2")->Binary();
        POINT pixel = {-1, -1};
        for (int y = 0; y < s.height && pixel.x < 0; ++y)
            for (int x = 0; x < s.width && pixel.x < 0; ++x)
                if (PictureAt(normal, s.width, x, y) != PictureAt(hotPicture, s.width, x, y) &&
                    (2 * (s.x + x) >= s.x + s.width || 2 * (s.y + y) >= s.y + s.height))
                    pixel = {x, y};
        ASSERT_GE(pixel.x, 0) << "object " << s.number << ": no place where its hot picture differs";
        POINT point = {2 * (s.x + pixel.x), 2 * (s.y + pixel.y)};
        ::ClientToScreen(menu, &point);
        ::SetCursorPos(point.x, point.y);
        HWND object = ::GetDlgItem(menu, kFirstObjectId + s.number - 1);
        const bool enabled = ::IsWindowEnabled(object) != FALSE;
        const COLORREF hot = PictureAt(hotPicture, s.width, pixel.x, pixel.y);
        COLORREF at = CLR_INVALID;
        for (int tries = 0; enabled && tries < 100 && at != hot; ++tries, ::Sleep(50)) {
            HDC screen = ::GetDC(nullptr);
            at = ::GetPixel(screen, point.x, point.y);
            ::ReleaseDC(nullptr, screen);
        }
        if (enabled) {
            EXPECT_EQ(at, hot) << "object " << s.number << " is not hot under the cursor";
        }
        ::SetCursorPos(0, 0);
    }
}
