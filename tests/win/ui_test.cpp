#include <gtest/gtest.h>

#include <windows.h>

#include <stdexcept>

#include "resources/resource_ids.h"
#include "ui/dialog.h"
#include "ui/gdi.h"
#include "ui/message_loop.h"

TEST(Drawing, PixelsAreBlueGreenRedTopDown) {
    HDC screen = ::GetDC(nullptr);
    ui::OffscreenSurface surface;
    ASSERT_TRUE(surface.Create(screen, 3, 2));
    ::ReleaseDC(nullptr, screen);
    RECT all = {0, 0, 3, 2};
    ui::FillColor(surface.Dc(), all, RGB(1, 2, 3));
    // Two rows of two pixels, drawn at (1, 0); the fourth byte is ignored.
    const uint8_t pixels[] = {0x10, 0x20, 0x30, 0xFF, 0x40, 0x50, 0x60, 0x00,
                              0x70, 0x80, 0x90, 0x77, 0xA0, 0xB0, 0xC0, 0x00};
    ASSERT_TRUE(ui::DrawPixels(surface.Dc(), 1, 0, 2, 2, pixels, sizeof pixels));
    static const struct {
        int x, y;
        COLORREF color;
    } cases[] = {
        {0, 0, RGB(1, 2, 3)},          {1, 0, RGB(0x30, 0x20, 0x10)}, {2, 0, RGB(0x60, 0x50, 0x40)},
        {1, 1, RGB(0x90, 0x80, 0x70)}, {2, 1, RGB(0xC0, 0xB0, 0xA0)},
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(::GetPixel(surface.Dc(), cases[i].x, cases[i].y), cases[i].color) << "case " << i;
    // Fewer bytes than the size asks for are refused, not read past.
    EXPECT_FALSE(ui::DrawPixels(surface.Dc(), 0, 0, 2, 2, pixels, sizeof pixels - 1));
    EXPECT_FALSE(ui::DrawPixels(surface.Dc(), 0, 0, 0, 2, pixels, sizeof pixels));
}

TEST(MessageLoop, IdleRunsUntilQuit) {
    int idleCalls = 0;
    int code = ui::RunMessageLoop([&] {
        if (++idleCalls == 3) ::PostQuitMessage(42);
        return true;
    });
    EXPECT_EQ(code, 42);
    EXPECT_EQ(idleCalls, 3);

    // A pump inside long work leaves WM_QUIT for the loop outside it.
    ::PostQuitMessage(7);
    EXPECT_FALSE(ui::PumpPendingMessages());
    MSG msg = {};
    ASSERT_TRUE(::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, UINT(WM_QUIT));
    EXPECT_EQ(msg.wParam, WPARAM(7));
}

namespace {

class ThrowingDialog : public ui::Dialog {
public:
    ThrowingDialog() : ui::Dialog(IDD_LANGUAGE) {}
    int commands = 0;

protected:
    bool OnInit() override { throw std::runtime_error("init"); }
    bool OnCommand(int, int, HWND) override {
        ++commands;
        throw 1;
    }
};

}  // namespace

TEST(Dialog, ExceptionsStayInsideTheHandler) {
    ThrowingDialog dialog;
    ASSERT_TRUE(dialog.Create(nullptr));
    EXPECT_TRUE(::IsWindow(dialog.Handle()));
    dialog.Send(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    EXPECT_EQ(dialog.commands, 1);
    EXPECT_TRUE(::IsWindow(dialog.Handle()));
    HWND hwnd = dialog.Handle();
    dialog.End(IDCANCEL);
    EXPECT_FALSE(::IsWindow(hwnd));
    EXPECT_EQ(dialog.Handle(), nullptr);
}
