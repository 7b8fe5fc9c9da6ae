// The real tolm.exe on a faked clock: the screen must show the right year and day digits over
// the painted background, with the bare grey see-through.
#include <gtest/gtest.h>

#include <cstdio>

#include "e2e_support.h"
#include "platform/forms/scale.h"
#include "platform/win32/backend.h"
#include "platform/win32/dpi.h"
#include "platform/win32/gdiplus.h"
#include "platform/win32/text.h"

namespace {

using e2e::Pixels;

struct Expect {
    int year = 0, days = -1;
};

Expect parse(const std::wstring& s) {
    Expect e;
    if (swscanf(s.c_str(), L"%d %d", &e.year, &e.days) != 2) e.days = -1;
    return e;
}

// The DPI the widget is expected at (the test prefix's), and its twips in pixels there.
int expectedDpi() {
    std::wstring d = e2e::env(L"TOLM_DPI");
    return d.empty() ? 96 : std::stoi(d);
}
int px(int twips) { return forms::pixelsFromTwips(twips, expectedDpi()); }
forms::PixelRect pxRect(int left, int top, int width, int height) { return {px(left), px(top), px(width), px(height)}; }

// The panels' places in the window (year, day, motto), from their twips.
const forms::PixelRect& yearPlace() {
    static const forms::PixelRect r = pxRect(2535, 1200, 1560, 615);
    return r;
}
const forms::PixelRect& dayPlace() {
    static const forms::PixelRect r = pxRect(3000, 2800, 4620, 1280);
    return r;
}

// Draws what a panel must look like, with the program's own drawing of pictures, at the DPI.
class Reference {
public:
    Reference() : backend_(GetModuleHandleW(nullptr)) {}

    Pixels yearPanel(int year) {
        const forms::PixelRect& at = yearPlace();
        HDC dc = begin(at.width, at.height, GetSysColor(COLOR_WINDOW));
        int d[4] = {year / 1000, year / 100 % 10, year / 10 % 10, year % 10};
        // Back to front: YearNum 3, 1, 4, 2.
        struct {
            int index, left, width;
        } places[] = {{3, 600, 615}, {1, 0, 375}, {4, 1080, 495}, {2, 360, 375}};
        for (auto& p : places)
            backend_.drawPicture(dc, digit(d[p.index - 1]), pxRect(p.left, 0, p.width, 615), true, expectedDpi());
        return end(at.width, at.height);
    }

    Pixels dayPanel(int days) {
        const forms::PixelRect& at = dayPlace();
        HDC dc = begin(at.width, at.height, RGB(48, 48, 48));
        backend_.drawPicture(dc, "DAYPANEL", {0, 0, at.width, at.height}, false, expectedDpi());
        std::string digits = std::to_string(days);
        const int lefts[4] = {0, 1190, 2350, 3480};
        // Back to front: DayNum 3, 2, 1 (4 is never used).
        for (int i = static_cast<int>(digits.size()); i >= 1; --i)
            backend_.drawPicture(dc, digit(digits[static_cast<size_t>(i - 1)] - '0'), pxRect(lefts[i - 1], 0, 1185, 1275),
                                 false, expectedDpi());
        return end(at.width, at.height);
    }

private:
    static std::string digit(int d) { return "DIGIT" + std::to_string(d); }
    HDC begin(int w, int h, COLORREF ground) {
        HDC screen = GetDC(nullptr);
        dc_ = CreateCompatibleDC(screen);
        bmp_ = CreateCompatibleBitmap(screen, w, h);
        ReleaseDC(nullptr, screen);
        old_ = SelectObject(dc_, bmp_);
        RECT r{0, 0, w, h};
        HBRUSH b = CreateSolidBrush(ground);
        FillRect(dc_, &r, b);
        DeleteObject(b);
        return dc_;
    }
    Pixels end(int w, int h) {
        Pixels p = e2e::grabDC(dc_, w, h);
        SelectObject(dc_, old_);
        DeleteObject(bmp_);
        DeleteDC(dc_);
        return p;
    }
    win32::Win32Backend backend_;
    HDC dc_ = nullptr;
    HBITMAP bmp_ = nullptr;
    HGDIOBJ old_ = nullptr;
};

Pixels crop(const Pixels& all, int x, int y, int w, int h) {
    Pixels p;
    p.width = w, p.height = h;
    for (int j = y; j < y + h; ++j)
        for (int i = x; i < x + w; ++i) p.px.push_back(all.at(i, j));
    return p;
}

// The background picture as GDI+ decodes it.
Pixels backPicture(const std::wstring& path) {
    Gdiplus::GdiplusStartupInput in;
    ULONG_PTR token;
    Gdiplus::GdiplusStartup(&token, &in, nullptr);
    Gdiplus::GpBitmap* bmp = nullptr;
    Pixels p;
    if (GdipCreateBitmapFromFile(path.c_str(), &bmp) == Gdiplus::Ok) {
        UINT w = 0, h = 0;
        GdipGetImageWidth(bmp, &w);
        GdipGetImageHeight(bmp, &h);
        p.width = static_cast<int>(w), p.height = static_cast<int>(h);
        for (UINT y = 0; y < h; ++y)
            for (UINT x = 0; x < w; ++x) {
                Gdiplus::ARGB c = 0;
                GdipBitmapGetPixel(bmp, static_cast<INT>(x), static_cast<INT>(y), &c);
                p.px.push_back(RGB(c >> 16 & 0xFF, c >> 8 & 0xFF, c & 0xFF));
            }
        GdipDisposeImage(bmp);
    }
    Gdiplus::GdiplusShutdown(token);
    return p;
}

struct Screen {
    HWND window;
    Pixels shot;
    void take() {
        POINT o{0, 0};
        ClientToScreen(window, &o);
        shot = e2e::grabScreen(o.x, o.y, px(10830), px(7320));
    }
};

// Waits until a part of the window shows what it should, and says how far off it was.
template <class F>
int settle(Screen& s, F&& difference, int ms = 20000) {
    int diff = 256;
    for (DWORD until = GetTickCount() + ms; static_cast<int>(until - GetTickCount()) > 0; Sleep(200)) {
        s.take();
        if ((diff = difference()) <= 3) break;
    }
    return diff;
}

TEST(Countdown, TheRealWidgetShowsTheCountOfTodayOverItsBackground) {
    std::wstring app = e2e::env(L"TOLM_APP_DIR");
    Expect first = parse(e2e::env(L"TOLM_EXPECT"));
    ASSERT_FALSE(app.empty());
    ASSERT_GE(first.days, 0) << "TOLM_EXPECT must read 'year days'";

    // Screen pixels as they are, whatever the DPI of this test's own process.
    win32::dpi::becomeAware();
    e2e::Process tolm(app + L"\\tolm.exe", app);
    Screen s{e2e::waitWindow(tolm.id(), L"TolmForm", L"Tolm", 60000), {}};
    ASSERT_TRUE(s.window) << "no countdown window: " << e2e::fate(tolm);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(s.window, GWL_EXSTYLE)), static_cast<DWORD>(WS_EX_LAYERED));

    // Laid out at the DPI of the display: the client area and every child window at their twips.
    RECT client;
    GetClientRect(s.window, &client);
    EXPECT_EQ(client.right, px(10830));
    EXPECT_EQ(client.bottom, px(7320));
    struct Child {
        const char* name;
        forms::PixelRect at;
    } children[] = {{"year panel", yearPlace()}, {"day panel", dayPlace()}, {"motto panel", pxRect(900, 5050, 6705, 1275)}};
    for (const Child& c : children) {
        HWND h = ChildWindowFromPointEx(s.window, POINT{c.at.left + c.at.width / 2, c.at.top + c.at.height / 2},
                                        CWP_SKIPINVISIBLE);
        RECT r;
        ASSERT_TRUE(h && h != s.window && GetWindowRect(h, &r)) << c.name;
        MapWindowPoints(nullptr, s.window, reinterpret_cast<POINT*>(&r), 2);
        EXPECT_EQ(r.left, c.at.left) << c.name;
        EXPECT_EQ(r.top, c.at.top) << c.name;
        // The motto panel is sized to its picture, made for the scale.
        EXPECT_NEAR(r.right - r.left, c.at.width, 1) << c.name;
        EXPECT_NEAR(r.bottom - r.top, c.at.height, 1) << c.name;
        EXPECT_LE(r.right, client.right) << c.name << " outside the window";
        EXPECT_LE(r.bottom, client.bottom) << c.name << " outside the window";
    }

    Reference ref;
    // The background made for the display's scale.
    Pixels back = backPicture(app + win32::widen(forms::artName("\\ui\\back.png", forms::artScaleFor(expectedDpi()))));
    ASSERT_EQ(back.width, px(10830));

    // The painted background, pixel for pixel wherever no panel covers it, where the picture is
    // opaque; where it keeps the key grey, the desktop shows through instead, with no pixel
    // of that grey left anywhere along the outline.
    const forms::PixelRect covered[] = {yearPlace(), dayPlace(), pxRect(900, 5050, 6705, 1275)};
    auto background = [&] {
        int worst = 0;
        for (int y = 0; y < back.height; ++y)
            for (int x = 0; x < back.width; ++x) {
                bool underPanel = false;
                for (const forms::PixelRect& c : covered)
                    underPanel = underPanel || (x >= c.left - 1 && y >= c.top - 1 && x <= c.left + c.width &&
                                                y <= c.top + c.height);
                if (underPanel) continue;
                COLORREF want = back.at(x, y), got = s.shot.at(x, y);
                if (want == RGB(128, 128, 128)) {
                    if (got == want) return 256;
                    continue;
                }
                for (int sh : {0, 8, 16})
                    worst = std::max(worst, std::abs(static_cast<int>(want >> sh & 0xFF) -
                                                     static_cast<int>(got >> sh & 0xFF)));
            }
        return worst;
    };
    EXPECT_LE(settle(s, background), 3) << "background not painted as the picture";

    auto check = [&](Expect e, int ms) {
        Pixels year = ref.yearPanel(e.year), days = ref.dayPanel(e.days);
        const forms::PixelRect &y = yearPlace(), &d = dayPlace();
        int dy = settle(s, [&] { return e2e::maxDifference(crop(s.shot, y.left, y.top, y.width, y.height), year); }, ms);
        int dd = settle(s, [&] { return e2e::maxDifference(crop(s.shot, d.left, d.top, d.width, d.height), days); }, ms);
        EXPECT_LE(dy, 3) << "year panel does not show " << e.year;
        EXPECT_LE(dd, 3) << "day panel does not show " << e.days;
        // Not a near miss: the neighbouring counts look different.
        EXPECT_GT(e2e::maxDifference(crop(s.shot, d.left, d.top, d.width, d.height),
                                     ref.dayPanel(e.days == 0 ? 1 : e.days - 1)),
                  40);
    };
    check(first, 20000);

    // Left running across midnight, the widget counts again.
    Expect after = parse(e2e::env(L"TOLM_EXPECT_AFTER"));
    if (after.days >= 0) check(after, 90000);

    // A drag on the bare surface with the pointer, as a hand makes it, moves the window by as
    // much as the pointer moved, and the window paints its background again there. (Messages
    // posted with a point of their own would disagree with the pointer, and the system's own
    // move messages, sent as the window moves under it, report where the pointer really is.)
    RECT before;
    GetWindowRect(s.window, &before);
    e2e::dragPointer(POINT{before.left + 30, before.top + 200}, 40, 30);
    RECT moved = before;
    // Left and top move one after the other: wait for both.
    for (int i = 0; i < 100 && (moved.left == before.left || moved.top == before.top); ++i, Sleep(50))
        GetWindowRect(s.window, &moved);
    EXPECT_EQ(moved.left - before.left, 40);
    EXPECT_EQ(moved.top - before.top, 30);
    EXPECT_LE(settle(s, background), 3) << "background not painted again after the move";

    // Esc reaches the hidden keyboard button, which ends the program at once.
    PostMessageW(s.window, WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageW(s.window, WM_KEYUP, VK_ESCAPE, 0);
    EXPECT_TRUE(tolm.waitExit(15000)) << "Esc did not end the widget";
}

}  // namespace
