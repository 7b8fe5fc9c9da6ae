// The real tolm.exe against the scripted publisher on the compiled-in address: the motto it
// shows, the icon it registers, the menu its icon opens, the menu's entries, and what a second
// start of the program does to it.
#include <windows.h>
// after windows.h
#include <gtest/gtest.h>
#include <shellapi.h>

#include <fstream>
#include <string>

#include "e2e_support.h"

namespace {

using e2e::Pixels;

void pump(int ms) {
    for (DWORD until = GetTickCount() + static_cast<DWORD>(ms); static_cast<int>(until - GetTickCount()) > 0;) {
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
        Sleep(20);
    }
}

// Chooses what the publisher answers for the motto page.
void publish(const char* mode) {
    std::wstring control = e2e::env(L"TOLM_PUBLISHER_CONTROL");
    ASSERT_FALSE(control.empty()) << "run through tests/web/with-publisher.sh";
    std::ofstream(control.c_str(), std::ios::trunc) << "motto " << mode << "\n";
}

// How many times the motto page was asked for, from the publisher's request log.
int mottoFetches() {
    std::ifstream log(e2e::env(L"TOLM_PUBLISHER_LOG").c_str());
    int n = 0;
    for (std::string line; std::getline(log, line);)
        if (line == "GET /tolm/motto.html") ++n;
    return n;
}

template <class F>
bool waitFor(F&& done, int ms = 20000) {
    for (DWORD until = GetTickCount() + static_cast<DWORD>(ms); static_cast<int>(until - GetTickCount()) > 0; Sleep(50))
        if (done()) return true;
    return done();
}

struct Widget {
    e2e::Process process;
    HWND window = nullptr;

    explicit Widget(const std::wstring& app) : process(app + L"\\tolm.exe", app) {
        window = e2e::waitWindow(process.id(), L"TolmForm", L"Tolm", 60000);
    }
    static bool iconThere() { return e2e::trayIconShown(); }
    Pixels motto() const { return e2e::mottoPanel(window); }
    // Esc reaches the hidden keyboard button; the icon goes with the program.
    void end() {
        PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0);
        EXPECT_TRUE(process.waitExit(15000));
        EXPECT_TRUE(waitFor([&] { return !iconThere(); }, 5000)) << "icon left behind";
    }
    // A right click on the icon under the pointer, as the shell reports it.
    void trayRightPress() const {
        POINT at;
        GetCursorPos(&at);
        e2e::TrayIcon(window).rightClick(at);
    }
};

void click(HWND w, int x, int y) {
    PostMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    PostMessageW(w, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
}

TEST(Feed, ThePublishedMottoTheIconAndTheMenu) {
    std::wstring app = e2e::env(L"TOLM_APP_DIR");
    ASSERT_FALSE(app.empty());

    // A failing page: the design motto stays, the icon still comes, and goes when the widget ends.
    publish("404");
    Pixels design;
    {
        Widget w(app);
        ASSERT_TRUE(w.window);
        EXPECT_TRUE(waitFor([&] { return w.iconThere(); })) << "no icon after a failed page";
        design = w.motto();
        w.end();
    }
    // A page whose motto is the design text looks the same; the published one does not.
    publish("design");
    {
        Widget w(app);
        ASSERT_TRUE(waitFor([&] { return w.iconThere(); }));
        EXPECT_LE(e2e::maxDifference(w.motto(), design), 3);
        w.end();
    }
    publish("site");
    Widget w(app);
    ASSERT_TRUE(waitFor([&] { return w.iconThere(); }));
    // On a loaded machine the published motto may be painted a while after the icon came.
    EXPECT_TRUE(waitFor([&] { return e2e::maxDifference(w.motto(), design) > 40; }, 60000))
        << "published motto not shown";

    // The icon's right press opens the panel with its bottom-right corner at the pointer.
    SetCursorPos(600, 500);
    w.trayRightPress();
    HWND menu = e2e::waitWindow(w.process.id(), L"TolmForm", L"FormMenu", 20000);
    ASSERT_TRUE(menu);
    RECT r;
    GetWindowRect(menu, &r);
    EXPECT_EQ(r.left, 600 - 124);
    EXPECT_EQ(r.top, 500 - 105);
    EXPECT_EQ(r.right, 600);
    EXPECT_EQ(r.bottom, 500);

    click(menu, 60, 40);  // 隐藏状态窗体
    EXPECT_TRUE(waitFor([&] { return !IsWindowVisible(w.window) && !IsWindowVisible(menu); }));

    // A second start (the desktop shortcut, or the log-on entry beside a manual start) shows the
    // running widget in front, hidden or not, and ends at once: no window, fetch or icon of its own.
    auto secondStart = [&](const char* widget) {
        int fetches = mottoFetches();
        e2e::Process second(app + L"\\tolm.exe", app);
        ASSERT_TRUE(second.waitExit(60000)) << "the second start runs on; the widget " << widget;
        EXPECT_EQ(e2e::fate(second), "it ended with exit code 0");
        EXPECT_TRUE(waitFor([&] { return IsWindowVisible(w.window) && GetForegroundWindow() == w.window; }))
            << "the widget " << widget << " was not brought back in front";
        EXPECT_EQ(mottoFetches(), fetches) << "the second start fetched the motto page";
    };
    secondStart("hidden through the menu");
    HWND other =
        CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
    // The widget's own bringing to the front may still be on its way on a slow machine: the other
    // window is put in front until it stays there.
    EXPECT_TRUE(waitFor([&] {
        if (GetForegroundWindow() != other) SetForegroundWindow(other);
        pump(200);
        return GetForegroundWindow() == other;
    })) << "the other window did not come to the front";
    secondStart("behind another window");
    DestroyWindow(other);
    w.trayRightPress();
    ASSERT_TRUE(waitFor([&] { return IsWindowVisible(menu); }));
    click(menu, 60, 40);  // 隐藏状态窗体
    EXPECT_TRUE(waitFor([&] { return !IsWindowVisible(w.window) && !IsWindowVisible(menu); }));

    w.trayRightPress();  // the hidden widget still hears its icon
    ASSERT_TRUE(waitFor([&] { return IsWindowVisible(menu); }));
    click(menu, 60, 12);  // 显示状态窗体
    EXPECT_TRUE(waitFor([&] { return IsWindowVisible(w.window) && !IsWindowVisible(menu); }));
    w.trayRightPress();
    ASSERT_TRUE(waitFor([&] { return IsWindowVisible(menu); }));
    click(menu, 60, 90);  // 退出
    EXPECT_TRUE(w.process.waitExit(15000));
    EXPECT_TRUE(waitFor([&] { return !w.iconThere(); }, 5000)) << "icon left behind";
}

}  // namespace
