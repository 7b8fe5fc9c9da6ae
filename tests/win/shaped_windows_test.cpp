// The update prompt and the about window on the real window system: what the user sees of
// them over another window, and the about window closing when that window takes the
// foreground. One program run, one display.
#include <gtest/gtest.h>
#include <windows.h>

#include "../e2e/e2e_support.h"
#include "platform/win32/backend.h"
#include "tolm/update/form_about.h"
#include "tolm/update/form_exit.h"
#include "tolm/update/version.h"
#include "win_test_support.h"

namespace {

using wintest::pump;

constexpr COLORREF kBackdrop = RGB(0, 150, 60);

LRESULT CALLBACK backdropProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    return DefWindowProcW(h, msg, wp, lp);
}

// A plain window of one colour under the shaped windows, so that what they let through shows.
HWND makeBackdrop() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = backdropProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = CreateSolidBrush(kBackdrop);
    wc.lpszClassName = L"Backdrop";
    RegisterClassW(&wc);
    return CreateWindowExW(0, L"Backdrop", L"", WS_POPUP | WS_VISIBLE, 0, 0, GetSystemMetrics(SM_CXSCREEN),
                           GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr, wc.hInstance, nullptr);
}

// A colour the see-through key could have left behind: pure red, or red blended into an edge.
bool reddish(COLORREF c) {
    return GetRValue(c) > GetGValue(c) + 80 && GetRValue(c) > GetBValue(c) + 80;
}

struct Seen {
    int width, height;
    e2e::Pixels px;
};

Seen look(HWND hwnd) {
    RECT r;
    GetWindowRect(hwnd, &r);
    int w = r.right - r.left, h = r.bottom - r.top;
    return {w, h, e2e::grabScreen(r.left, r.top, w, h)};
}

// What of a shaped window must not be seen: its uncovered strips at the right and the bottom,
// the transparent corners of its picture, and any trace of the key colour.
void expectShaped(const char* name, HWND hwnd, int pictureWidth, int pictureHeight) {
    Seen s = look(hwnd);
    struct Point {
        const char* what;
        int x, y;
        bool through;
    } points[] = {
        {"right strip", s.width - 1, s.height / 2, true},
        {"right strip, first column", pictureWidth, s.height / 2, true},
        {"bottom strip", s.width / 2, s.height - 1, true},
        {"bottom strip, first row", s.width / 2, pictureHeight, true},
        {"picture's corner", 0, 0, true},
        {"picture's corner", pictureWidth - 1, pictureHeight - 1, true},
        {"picture's card", 12, pictureHeight - 12, false},
    };
    for (const Point& p : points) {
        COLORREF c = s.px.at(p.x, p.y);
        EXPECT_EQ(c == kBackdrop, p.through) << name << " " << p.what << " " << wintest::hex(c);
    }
    int red = 0;
    for (int y = 0; y < s.height; ++y)
        for (int x = 0; x < s.width; ++x) red += reddish(s.px.at(x, y));
    EXPECT_EQ(red, 0) << name << ": pixels of the key colour show";
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
    COLORREF key = 0;
    DWORD flags = 0;
    ASSERT_TRUE(GetLayeredWindowAttributes(exitHwnd, &key, nullptr, &flags));
    EXPECT_EQ(key, RGB(255, 0, 0));
    EXPECT_EQ(flags, static_cast<DWORD>(LWA_COLORKEY));
    EXPECT_TRUE(GetWindow(exitHwnd, GW_OWNER)) << "no taskbar button";
    expectShaped("FormExit", exitHwnd, 297, 161);
    app.unload<tolm::FormExit>();

    tolm::FormAbout& about = app.form<tolm::FormAbout>();
    about.show();
    pump(500);
    ASSERT_TRUE(app.isLoaded<tolm::FormAbout>()) << "closed while it had the foreground";
    auto aboutHwnd = static_cast<HWND>(about.handle());
    EXPECT_FALSE(GetWindowLongA(aboutHwnd, GWL_EXSTYLE) & WS_EX_TOPMOST);
    expectShaped("FormAbout", aboutHwnd, 321, 201);

    SetForegroundWindow(backdrop);
    pump(300);
    EXPECT_FALSE(app.isLoaded<tolm::FormAbout>());
    EXPECT_FALSE(IsWindow(aboutHwnd));
    DestroyWindow(backdrop);
}

}  // namespace
