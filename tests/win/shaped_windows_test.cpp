// The update prompt and the about window on the real window system: what the user sees of
// them over another window, and the about window closing when that window takes the
// foreground. One program run, one display.
#include <gtest/gtest.h>
#include <windows.h>

#include "../e2e/e2e_support.h"
#include "../e2e/gui_objects.h"
#include "platform/forms/scale.h"
#include "platform/win32/backend.h"
#include "tolm/update/form_about.h"
#include "tolm/update/form_exit.h"
#include "tolm/update/version.h"
#include "win_test_support.h"

namespace {

using wintest::pump;

constexpr COLORREF kBackdrop = RGB(0, 150, 60);

// A plain window of one colour under the shaped windows, so that what they let through shows.
HWND makeBackdrop() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = CreateSolidBrush(kBackdrop);
    wc.lpszClassName = L"Backdrop";
    RegisterClassW(&wc);
    return CreateWindowExW(0, L"Backdrop", L"", WS_POPUP | WS_VISIBLE, 0, 0, GetSystemMetrics(SM_CXSCREEN),
                           GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr, wc.hInstance, nullptr);
}

// What of a shaped window must not be seen: its uncovered strips at the right and the bottom,
// the transparent corners of its picture, and any trace of the key colour.
void expectShaped(const char* name, HWND hwnd, int pictureWidth, int pictureHeight) {
    RECT r;
    GetWindowRect(hwnd, &r);
    int w = r.right - r.left, h = r.bottom - r.top;
    e2e::Pixels px = e2e::grabScreen(r.left, r.top, w, h);
    const int through[][2] = {{w - 1, h / 2}, {pictureWidth, h / 2},
                              {w / 2, h - 1}, {w / 2, pictureHeight},
                              {0, 0},         {pictureWidth - 1, pictureHeight - 1}};
    for (auto& p : through) EXPECT_EQ(px.at(p[0], p[1]), kBackdrop) << name << " " << p[0] << "," << p[1];
    EXPECT_NE(px.at(12, pictureHeight - 12), kBackdrop) << name << ": the picture itself";
    int red = 0;
    for (COLORREF c : px.px) red += GetRValue(c) > GetGValue(c) + 80 && GetRValue(c) > GetBValue(c) + 80;
    EXPECT_EQ(red, 0) << name << ": pixels of the key colour show";
}

// The DPI of the display the test runs on (the prefix's), and twips in its pixels.
int expectedDpi() {
    std::wstring d = e2e::env(L"TOLM_DPI");
    return d.empty() ? 96 : std::stoi(d);
}
int px(int twips) { return forms::pixelsFromTwips(twips, expectedDpi()); }

// A window laid out at the display's DPI: its client area and every windowed control at their
// twips there.
void expectLaidOut(forms::Form& form) {
    SCOPED_TRACE(form.def().name);
    EXPECT_EQ(form.dpi(), expectedDpi());
    auto hwnd = static_cast<HWND>(form.handle());
    RECT client;
    GetClientRect(hwnd, &client);
    EXPECT_EQ(client.right, px(form.def().width));
    EXPECT_EQ(client.bottom, px(form.def().height));
    for (auto& c : form.controls()) {
        if (!c->native) continue;
        RECT r;
        GetWindowRect(static_cast<HWND>(c->native), &r);
        MapWindowPoints(nullptr, GetParent(static_cast<HWND>(c->native)), reinterpret_cast<POINT*>(&r), 2);
        EXPECT_EQ((forms::PixelRect{r.left, r.top, r.right - r.left, r.bottom - r.top}),
                  (forms::PixelRect{px(c->left()), px(c->top()), px(c->width()), px(c->height())}))
            << c->name();
    }
}

TEST(ShapedWindows, SeeThroughByTheirRedAndTheAboutWindowGoesWithTheForeground) {
    win32::Win32Backend backend(GetModuleHandleW(nullptr));
    forms::App app(backend, "TOLM");
    backend.attach(app);
    HWND backdrop = makeBackdrop();
    pump(300);

    tolm::LatestVersion = "1.0.35";
    tolm::FormExit& prompt = app.form<tolm::FormExit>();
    prompt.show();
    pump(500);
    auto exitHwnd = static_cast<HWND>(prompt.handle());
    DWORD ex = static_cast<DWORD>(GetWindowLongA(exitHwnd, GWL_EXSTYLE));
    EXPECT_EQ(ex & ~static_cast<DWORD>(WS_EX_TOPMOST), static_cast<DWORD>(WS_EX_LAYERED));
    EXPECT_TRUE(ex & WS_EX_TOPMOST);
    EXPECT_TRUE(GetWindow(exitHwnd, GW_OWNER)) << "no taskbar button";
    expectLaidOut(prompt);
    expectShaped("FormExit", exitHwnd, px(4455), px(2415));
    app.unload<tolm::FormExit>();

    tolm::FormAbout& about = app.form<tolm::FormAbout>();
    about.show();
    pump(500);
    ASSERT_TRUE(app.isLoaded<tolm::FormAbout>()) << "closed while it had the foreground";
    auto aboutHwnd = static_cast<HWND>(about.handle());
    EXPECT_FALSE(GetWindowLongA(aboutHwnd, GWL_EXSTYLE) & WS_EX_TOPMOST);
    expectLaidOut(about);
    expectShaped("FormAbout", aboutHwnd, px(4815), px(3015));

    SetForegroundWindow(backdrop);
    for (int i = 0; i < 100 && app.isLoaded<tolm::FormAbout>(); ++i) pump(100);
    EXPECT_FALSE(app.isLoaded<tolm::FormAbout>());
    EXPECT_FALSE(IsWindow(aboutHwnd));
    DestroyWindow(backdrop);
}

// Each opening of the update prompt is dragged by its background, has the pointer over both
// buttons and is unloaded as the download's timer unloads it; twenty of them leave the process
// with the GDI and USER objects that the first one left.
TEST(ShapedWindows, OpeningsOfTheUpdatePromptGiveBackWhatTheyTake) {
    win32::Win32Backend backend(GetModuleHandleW(nullptr));
    forms::App app(backend, "TOLM");
    backend.attach(app);
    tolm::LatestVersion = "1.0.35";
    auto openAndUse = [&] {
        tolm::FormExit& prompt = app.form<tolm::FormExit>();
        prompt.show();
        auto hwnd = static_cast<HWND>(prompt.handle());
        SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(150, 20));
        for (int i = 0; i < 10; ++i) SendMessageW(hwnd, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(i % 2 ? 145 : 155, 20));
        SendMessageW(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(150, 20));
        for (const char* button : {"PicYes", "PicNo"})
            SendMessageW(static_cast<HWND>(prompt(button).native), WM_MOUSEMOVE, 0, MAKELPARAM(20, 10));
        SendMessageW(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(150, 20));
        pump(30);
        app.unload<tolm::FormExit>();
        pump(30);
    };
    openAndUse();
    pump(300);
    e2e::GuiObjects before = e2e::guiObjects(GetCurrentProcess());
    ASSERT_GT(before.gdi, 0);
    for (int i = 0; i < 20; ++i) openAndUse();
    // What the last openings give back may reach the counts late on a loaded machine: waited for,
    // up to a generous limit, and a leak still shows as counts that never come back.
    e2e::GuiObjects after = e2e::guiObjects(GetCurrentProcess());
    for (int i = 0; i < 100 && (after.gdi != before.gdi || after.user != before.user); ++i) {
        pump(100);
        after = e2e::guiObjects(GetCurrentProcess());
    }
    EXPECT_EQ(after.gdi, before.gdi) << "GDI objects after 20 openings of the update prompt";
    EXPECT_EQ(after.user, before.user) << "USER objects after 20 openings of the update prompt";
}

}  // namespace
