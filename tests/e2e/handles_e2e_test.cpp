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

struct Use {
    const char* what;
    int times;
    void (*run)(HWND widget, int times);
};

// The menu panel (100 openings: a move with x = WM_RBUTTONDOWN and y = 0, as the notification
// icon reports its right-button press, once the motto page has loaded; a release on the surface
// closes it), the about window and the update prompt (20 openings each) join this table once
// they are built. Under Wine on the tests' virtual display each opening of the stub panel took
// about two seconds (showing and hiding wait on the X server), so mind the test's time budget.
const Use kUses[] = {
    {"drag steps", 1000, dragSteps},
};

TEST(Handles, TheWidgetGivesBackWhatItsUseTakes) {
    std::wstring app = e2e::env(L"TOLM_APP_DIR");
    ASSERT_FALSE(app.empty());
    e2e::Process tolm(app + L"\\tolm.exe", app);
    HWND widget = e2e::waitWindow(tolm.id(), L"TolmForm", L"Tolm", 60000);
    ASSERT_TRUE(widget) << "no countdown window";

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
    e2e::GuiObjects before = settled();
    ASSERT_GT(before.gdi, 0);
    ASSERT_GT(before.user, 0);
    for (const Use& u : kUses) {
        u.run(widget, u.times);
        e2e::GuiObjects after = settled();
        EXPECT_EQ(after.gdi, before.gdi) << "GDI objects after " << u.times << " " << u.what;
        EXPECT_EQ(after.user, before.user) << "USER objects after " << u.times << " " << u.what;
    }
}

}  // namespace
