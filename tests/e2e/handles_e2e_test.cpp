// The real widget gives back every GDI and USER object that its use takes: after long use the
// process holds as many as before.
#include <gtest/gtest.h>

#include "e2e_support.h"
#include "gui_objects.h"

namespace {

constexpr int kSurfaceX = 30, kSurfaceY = 200;  // bare background, no panel

// Each use runs once to warm up (what is made once for the program's life: caches, the menu
// panel) and then `times` times more.
void dragSteps(HWND widget, int steps) {
    SendMessageW(widget, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(kSurfaceX, kSurfaceY));
    for (int i = 0; i < steps; ++i) {
        // Ten pixels right, then back: each step moves the window and asks for a paint, which
        // runs once the widget is idle; a pause now and then lets fifty of them run.
        SendMessageW(widget, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(kSurfaceX + (i % 2 ? -10 : 10), kSurfaceY));
        if (i % 20 == 19) Sleep(5);
    }
    SendMessageW(widget, WM_LBUTTONUP, 0, MAKELPARAM(kSurfaceX, kSurfaceY));
}

// A top-level window of the widget's process by caption, shown or not.
HWND windowOf(HWND widget, const wchar_t* caption) {
    DWORD pid = 0;
    GetWindowThreadProcessId(widget, &pid);
    for (HWND h = nullptr; (h = FindWindowExW(nullptr, h, L"TolmForm", caption));) {
        DWORD owner = 0;
        GetWindowThreadProcessId(h, &owner);
        if (owner == pid) return h;
    }
    return nullptr;
}

// A right click on the notification icon, as the shell reports it; a release on the surface
// closes the panel again. Sent, not posted: each call returns once the widget is done.
void openMenu(HWND widget) {
    POINT at;
    GetCursorPos(&at);
    e2e::TrayIcon(widget).rightClick(at);
}

void menuOpenings(HWND widget, int times) {
    for (int i = 0; i < times; ++i) {
        openMenu(widget);
        SendMessageW(widget, WM_LBUTTONUP, 0, MAKELPARAM(kSurfaceX, kSurfaceY));
    }
}

// 关于 in the panel, then the about window closed as the system closes a window.
void aboutOpenings(HWND widget, int times) {
    for (int i = 0; i < times; ++i) {
        openMenu(widget);
        HWND menu = windowOf(widget, L"FormMenu");
        SendMessageW(menu, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(60, 62));
        SendMessageW(menu, WM_LBUTTONUP, 0, MAKELPARAM(60, 62));
        if (HWND about = windowOf(widget, L"FormAbout")) SendMessageW(about, WM_CLOSE, 0, 0);
        SendMessageW(widget, WM_LBUTTONUP, 0, MAKELPARAM(kSurfaceX, kSurfaceY));
    }
}

struct Use {
    const char* what;
    int times;
    void (*run)(HWND widget, int times);
};

// The update prompt opens once per reading of the motto page, so a run of the widget cannot open
// it again and again; its openings are counted in the shaped windows' test instead.
const Use kUses[] = {
    {"drag steps", 1000, dragSteps},
    {"openings of the menu panel", 100, menuOpenings},
    {"openings of the about window", 20, aboutOpenings},
};

TEST(Handles, TheWidgetGivesBackWhatItsUseTakes) {
    std::wstring app = e2e::env(L"TOLM_APP_DIR");
    ASSERT_FALSE(app.empty());
    e2e::Process tolm(app + L"\\tolm.exe", app);
    HWND widget = e2e::waitWindow(tolm.id(), L"TolmForm", L"Tolm", 60000);
    ASSERT_TRUE(widget) << "no countdown window: " << e2e::fate(tolm);
    // The panel opens only once the motto page has been handled (here: refused, no publisher).
    for (int i = 0; i < 600 && !IsWindowVisible(windowOf(widget, L"FormMenu")); ++i, Sleep(100)) openMenu(widget);
    ASSERT_TRUE(IsWindowVisible(windowOf(widget, L"FormMenu"))) << "the menu panel never opened";

    // The counts once the window has painted and settled; a paint may still be due.
    auto settled = [&] {
        e2e::GuiObjects last = e2e::guiObjects(tolm.pi.hProcess);
        for (int i = 0; i < 20; ++i) {
            Sleep(250);
            e2e::GuiObjects now = e2e::guiObjects(tolm.pi.hProcess);
            if (now == last) break;
            last = now;
        }
        return last;
    };
    for (const Use& u : kUses) u.run(widget, 1);
    ASSERT_GT(settled().gdi, 0);
    // Each use runs in rounds until one leaves the counts where the round before left them, at
    // most four: what the program leaks it leaks in every round, so its counts never settle,
    // while the system's own caches, made on demand and kept, stop growing once full (under Wine
    // 10 two more GDI objects appear after the first openings of a window, in no proportion to
    // their number).
    for (const Use& u : kUses) {
        const int round = u.times / 2;
        e2e::GuiObjects before = settled(), after = before;
        for (int r = 0; r < 4; ++r) {
            before = after;
            u.run(widget, round);
            // Counts still on their way back on a loaded machine get time; a leak never comes back.
            after = settled();
            for (int i = 0; i < 40 && !(after == before); ++i, Sleep(250)) after = e2e::guiObjects(tolm.pi.hProcess);
            if (after == before) break;
        }
        EXPECT_EQ(after.gdi, before.gdi) << "GDI objects still growing after rounds of " << round << " " << u.what;
        EXPECT_EQ(after.user, before.user) << "USER objects still growing after rounds of " << round << " " << u.what;
    }
}

}  // namespace
