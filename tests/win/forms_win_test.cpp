// The forms runtime on the real window system (under Wine in the test run).
#include <gtest/gtest.h>
#include <windows.h>

#include "platform/forms/form.h"
#include "platform/forms/scale.h"
#include "platform/win32/backend.h"
#include "win_test_support.h"

namespace {

using forms::Color;
using forms::ControlDef;
using forms::Event;
using forms::Kind;
using wintest::pump;

constexpr Color kBack = Color::rgb(20, 120, 220);
constexpr Color kKey = Color::rgb(128, 128, 128);

const ControlDef kControls[] = {
    {.name = "Label", .kind = Kind::Label, .left = 150, .top = 150, .width = 900, .height = 300, .caption = "标签",
     .fore = Color::rgb(0, 0, 0), .back = Color::rgb(250, 240, 10)},
    {.name = "Box", .kind = Kind::PictureBox, .left = 1500, .top = 150, .width = 1500, .height = 900,
     .back = Color::rgb(200, 30, 40), .edge = forms::Edge::Flat},
    {.name = "Inner", .kind = Kind::Label, .container = "Box", .left = 300, .top = 300, .width = 600, .height = 300,
     .back = Color::rgb(10, 200, 30)},
    {.name = "Button", .kind = Kind::CommandButton, .left = 3300, .top = 150, .width = 1200, .height = 450,
     .caption = "OK", .keyRole = forms::KeyRole::Cancel},
    {.name = "Text", .kind = Kind::TextBox, .left = 3300, .top = 750, .width = 1200, .height = 450,
     .caption = "text ", .visible = false},
    {.name = "Check", .kind = Kind::CheckBox, .left = 150, .top = 1200, .width = 1800, .height = 255,
     .caption = "开机启动", .back = Color::rgb(255, 255, 255), .value = 1, .tabIndex = 0},
    {.name = "Frame", .kind = Kind::Frame, .left = 150, .top = 1650, .width = 2400, .height = 1200,
     .caption = "Frame"},
    {.name = "InFrame", .kind = Kind::PictureBox, .container = "Frame", .left = 300, .top = 300, .width = 600,
     .height = 450, .back = Color::rgb(0, 0, 0)},
    {.name = "Holder", .kind = Kind::PictureBox, .left = 3000, .top = 1650, .width = 1500, .height = 1050},
    {.name = "Web", .kind = Kind::Browser, .container = "Holder", .width = 3000, .height = 900},
    {.name = "Seen", .kind = Kind::Image, .left = 6000, .top = 1500, .width = 1185, .height = 1275,
     .picture = "DIGIT8"},
    {.name = "Small", .kind = Kind::Image, .left = 7500, .top = 1500, .width = 375, .height = 615,
     .picture = "DIGIT8", .stretch = true},
    {.name = "Outline", .kind = Kind::Shape, .left = 6000, .top = 3300, .width = 600, .height = 600,
     .fore = Color::rgb(0, 0, 255), .shape = forms::ShapeStyle::Outline},
    {.name = "Fill", .kind = Kind::Shape, .left = 6900, .top = 3300, .width = 600, .height = 600,
     .back = Color::rgb(255, 0, 255), .shape = forms::ShapeStyle::Filled},
    {.name = "Hole", .kind = Kind::Shape, .left = 0, .top = 4200, .width = 1500, .height = 300, .back = kKey,
     .shape = forms::ShapeStyle::Filled},
    {.name = "Tick", .kind = Kind::Timer, .interval = 20},
};
const forms::FormDef kDef{.name = "Every", .caption = "Every", .startUp = forms::StartUp::Manual, .left = 1500,
                          .top = 1500, .width = 9000, .height = 4800, .back = kBack, .controls = kControls};

struct Seen {
    std::string control;
    Event ev;
    float x, y;
};

class EveryForm : public forms::Form {
public:
    explicit EveryForm(forms::App& app) : Form(app, kDef) {
        for (const char* n : {"", "Label", "Box", "Inner", "Button"})
            for (Event e : {Event::Click, Event::MouseDown, Event::MouseMove, Event::MouseUp})
                on(n, e, [this, n, e](const forms::Mouse& m) { seen.push_back({n, e, m.x, m.y}); });
        on("Tick", Event::Timer, [this](const forms::Mouse&) { ++ticks; });
    }
    std::vector<Seen> seen;
    int ticks = 0;
};

struct FormsOnWin32 : ::testing::Test {
    win32::Win32Backend backend{GetModuleHandleW(nullptr)};
    forms::App app{backend, "TOLM"};
    EveryForm* form = nullptr;
    HWND hwnd = nullptr;

    void SetUp() override {
        backend.attach(app);
        form = &app.form<EveryForm>();
        form->show();
        hwnd = static_cast<HWND>(form->handle());
        pump(400);
    }
    void TearDown() override {
        if (app.isLoaded<EveryForm>()) app.unload<EveryForm>();
    }
    HWND child(const char* name) { return static_cast<HWND>((*form)(name).native); }
    // Sends the pointer to whichever window the system finds at a client point of the form.
    void mouse(UINT msg, int x, int y, WPARAM keys) {
        POINT p{x, y};
        HWND target = RealChildWindowFromPoint(hwnd, p);
        for (HWND deeper; target != hwnd && (deeper = RealChildWindowFromPoint(target, [&] {
                              POINT q = p;
                              MapWindowPoints(hwnd, target, &q, 1);
                              return q;
                          }())) && deeper != target;)
            target = deeper;
        POINT q = p;
        MapWindowPoints(hwnd, GetCapture() ? GetCapture() : target, &q, 1);
        SendMessageW(GetCapture() ? GetCapture() : target, msg, keys, MAKELPARAM(q.x, q.y));
    }
};

TEST_F(FormsOnWin32, WindowedControlsBecomeChildWindowsAtTheirPixelPlaces) {
    struct {
        const char* name;
        RECT r;
        bool visible;
    } cases[] = {
        {"Box", {100, 10, 200, 70}, true},       {"Button", {220, 10, 300, 40}, true},
        {"Text", {220, 50, 300, 80}, false},     {"Check", {10, 80, 130, 97}, true},
        {"Frame", {10, 110, 170, 190}, true},    {"InFrame", {20, 20, 60, 50}, true},
        {"Holder", {200, 110, 300, 180}, true},  {"Web", {0, 0, 200, 60}, true},
    };
    for (auto& c : cases) {
        HWND h = child(c.name);
        ASSERT_TRUE(h) << c.name;
        RECT r = wintest::childRect(h);
        EXPECT_EQ(r.left, c.r.left) << c.name;
        EXPECT_EQ(r.top, c.r.top) << c.name;
        EXPECT_EQ(r.right, c.r.right) << c.name;
        EXPECT_EQ(r.bottom, c.r.bottom) << c.name;
        EXPECT_EQ(IsWindowVisible(h) != 0, c.visible) << c.name;
    }
    EXPECT_EQ(GetParent(child("InFrame")), child("Frame"));
    RECT client;
    GetClientRect(hwnd, &client);
    EXPECT_EQ(client.right, 600);
    EXPECT_EQ(client.bottom, 320);
    EXPECT_EQ(SendMessageW(child("Check"), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(GetFocus(), child("Check"));  // first in the focus order

    (*form)("Text").setVisible(true);
    (*form)("Button").move(3300, 300);
    EXPECT_TRUE(IsWindowVisible(child("Text")));
    EXPECT_EQ(wintest::childRect(child("Button")).top, 20);
}

TEST_F(FormsOnWin32, DrawsBackgroundsPicturesAndWindowlessControlsOnScreen) {
    struct {
        int x, y;
        Color want;
    } cases[] = {
        {5, 5, kBack},                        // the window's own background
        {12, 12, Color::rgb(250, 240, 10)},   // an opaque label
        {105, 15, Color::rgb(200, 30, 40)},   // a picture box's background
        {125, 35, Color::rgb(10, 200, 30)},   // a label inside it
        {400, 225, Color::rgb(0, 0, 255)},    // outline drawn inside the rectangle
        {439, 225, Color::rgb(0, 0, 255)},
        {445, 225, kBack},
        {410, 230, kBack},                    // outline only: the inside shows what lies behind
        {470, 230, Color::rgb(255, 0, 255)},  // a filled shape
    };
    for (auto& c : cases) {
        COLORREF got = wintest::clientPixel(hwnd, c.x, c.y);
        EXPECT_EQ(got, RGB(c.want.red(), c.want.green(), c.want.blue()))
            << c.x << "," << c.y << " " << wintest::hex(got);
    }
    // Changing a colour at run time shows at once.
    (*form)("Box").setBackColor(Color::rgb(1, 2, 3));
    pump();
    EXPECT_EQ(wintest::clientPixel(hwnd, 105, 15), RGB(1, 2, 3));
}

TEST_F(FormsOnWin32, PicturesAtNaturalSizeAndStretched) {
    // The digit picture is dark with a white digit: its corners are dark, never the background.
    COLORREF corner = wintest::clientPixel(hwnd, 401, 101);
    EXPECT_LT(GetRValue(corner) + GetGValue(corner) + GetBValue(corner), 3 * 100) << wintest::hex(corner);
    COLORREF small = wintest::clientPixel(hwnd, 501, 101);
    EXPECT_LT(GetRValue(small) + GetGValue(small) + GetBValue(small), 3 * 100) << wintest::hex(small);
    // Beyond the stretched copy's 25 pixels the window shows again.
    EXPECT_EQ(wintest::clientPixel(hwnd, 526, 110), RGB(kBack.red(), kBack.green(), kBack.blue()));
}

TEST_F(FormsOnWin32, TheExtendedStyleIsExactlyWhatIsSetAndTheKeyIsSeeThrough) {
    backend.setExStyle(*form, WS_EX_LAYERED);
    backend.setLayered(*form, 0x808080, 5, LWA_COLORKEY);
    pump(300);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(hwnd, GWL_EXSTYLE)), static_cast<DWORD>(WS_EX_LAYERED));
    COLORREF key = 0;
    BYTE alpha = 0;
    DWORD flags = 0;
    ASSERT_TRUE(GetLayeredWindowAttributes(hwnd, &key, &alpha, &flags));
    EXPECT_EQ(key, 0x808080u);
    EXPECT_EQ(flags, static_cast<DWORD>(LWA_COLORKEY));
    // Where the grey shape lies the desktop shows; elsewhere the window stays opaque.
    EXPECT_NE(wintest::clientPixel(hwnd, 20, 290), RGB(128, 128, 128));
    EXPECT_EQ(wintest::clientPixel(hwnd, 5, 5), RGB(kBack.red(), kBack.green(), kBack.blue()));
    // Owned by a hidden window, so no taskbar button.
    EXPECT_TRUE(GetWindow(hwnd, GW_OWNER));
}

TEST_F(FormsOnWin32, APressMoveAndReleaseReachTheRightHandlersInTwips) {
    form->seen.clear();
    mouse(WM_MOUSEMOVE, 130, 30, 0);                 // over the label inside the box
    mouse(WM_LBUTTONDOWN, 130, 30, MK_LBUTTON);
    mouse(WM_MOUSEMOVE, 350, 250, MK_LBUTTON);       // far outside: captured
    mouse(WM_LBUTTONUP, 130, 30, 0);
    mouse(WM_LBUTTONDOWN, 5, 5, MK_LBUTTON);         // the window's own surface
    mouse(WM_LBUTTONUP, 5, 5, 0);
    std::vector<std::string> got;
    for (auto& s : form->seen)
        got.push_back(s.control + " " + std::to_string(static_cast<int>(s.ev)) + " " +
                      std::to_string(static_cast<int>(s.x)) + "," + std::to_string(static_cast<int>(s.y)));
    // Inner lies at (20,20) of the box, which lies at (100,10): (130,30) is (10,0) of Inner.
    std::vector<std::string> want = {"Inner 2 150,0",   "Inner 1 150,0", "Inner 2 3450,3300", "Inner 3 150,0",
                                     "Inner 0 150,0",   " 1 75,75",      " 3 75,75",          " 0 75,75"};
    EXPECT_EQ(got, want);
    EXPECT_FALSE(GetCapture());
}

TEST_F(FormsOnWin32, ButtonsAnswerTheirClickAndTheEscKey) {
    form->seen.clear();
    SendMessageW(child("Button"), BM_CLICK, 0, 0);
    SendMessageW(hwnd, WM_COMMAND, IDCANCEL, 0);  // what Esc sends through the dialog manager
    ASSERT_EQ(form->seen.size(), 2u);
    EXPECT_EQ(form->seen[0].control, "Button");
    EXPECT_EQ(form->seen[1].control, "Button");
}

TEST_F(FormsOnWin32, WhatIsPaintedOnTheSurfaceSurvivesTheSystemsRepaints) {
    backend.paintSurface(*form, [](forms::NativeDC dc) {
        RECT r{5, 250, 50, 300};
        HBRUSH b = CreateSolidBrush(RGB(90, 10, 160));
        FillRect(static_cast<HDC>(dc), &r, b);
        DeleteObject(b);
    });
    pump();
    EXPECT_EQ(wintest::clientPixel(hwnd, 20, 260), RGB(90, 10, 160));
    // The system asks for a repaint of everything, then the window is hidden and shown again.
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    pump();
    EXPECT_EQ(wintest::clientPixel(hwnd, 20, 260), RGB(90, 10, 160));
    form->hide();
    pump();
    form->show();
    pump(300);
    EXPECT_EQ(wintest::clientPixel(hwnd, 20, 260), RGB(90, 10, 160));
    // Windowless controls still draw over the surface.
    EXPECT_EQ(wintest::clientPixel(hwnd, 12, 12), RGB(250, 240, 10));
}

TEST_F(FormsOnWin32, TimersTickAndStop) {
    pump(300);
    EXPECT_GT(form->ticks, 0);
    (*form)("Tick").setEnabled(false);
    pump(50);
    int now = form->ticks;
    pump(200);
    EXPECT_EQ(form->ticks, now);
}

TEST_F(FormsOnWin32, ProgramFolderAndVersionComeFromTheModule) {
    std::string folder = backend.programFolder();
    EXPECT_FALSE(folder.empty());
    EXPECT_NE(folder.back(), '\\');
    forms::Version v = backend.programVersion();
    EXPECT_EQ(v, (forms::Version{1, 0, 34}));
}

// Windows' news of a new DPI (the window dragged to a monitor of another scale) lays it out
// again in place; after the screens changed, a window left off every work area comes back.
TEST_F(FormsOnWin32, ADpiChangeLaysTheWindowOutAgainAndADisplayChangeBringsItBack) {
    const int first = form->dpi();
    auto childRect = [&](const char* name) {
        RECT r;
        HWND h = static_cast<HWND>((*form)(name).native);
        GetWindowRect(h, &r);
        MapWindowPoints(nullptr, GetParent(h), reinterpret_cast<POINT*>(&r), 2);
        return forms::PixelRect{r.left, r.top, r.right - r.left, r.bottom - r.top};
    };
    auto fontHeight = [&] {
        LOGFONTW lf{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(static_cast<HWND>((*form)("Button").native), WM_GETFONT, 0, 0)),
                   sizeof lf, &lf);
        return lf.lfHeight;
    };
    for (int dpi : {first * 3 / 2, first * 2, first}) {
        RECT suggested{40, 30, 41, 31};  // the place; the size is the layout's own
        SendMessageW(hwnd, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
        pump(50);
        SCOPED_TRACE(dpi);
        EXPECT_EQ(form->dpi(), dpi);
        RECT w, client;
        GetWindowRect(hwnd, &w);
        GetClientRect(hwnd, &client);
        EXPECT_EQ(w.left, 40);
        EXPECT_EQ(w.top, 30);
        EXPECT_EQ(client.right, forms::pixelsFromTwips(9000, dpi));
        EXPECT_EQ(client.bottom, forms::pixelsFromTwips(4800, dpi));
        for (const char* name : {"Box", "Button", "Frame"})
            EXPECT_EQ(childRect(name), (*form)(name).pixelRect()) << name;
        EXPECT_EQ(childRect("Box"), (forms::PixelRect{forms::pixelsFromTwips(1500, dpi), forms::pixelsFromTwips(150, dpi),
                                                      forms::pixelsFromTwips(1500, dpi), forms::pixelsFromTwips(900, dpi)}));
        EXPECT_EQ(fontHeight(), -MulDiv(9, dpi, 72)) << "the button's font at the new DPI";
    }

    // A DPI the system should never send is not believed: the window keeps a real size, at the
    // DPI the system reports for it. And fonts of the DPIs the window has left are let go, however
    // many scales it passes through.
    const std::size_t fontsAtOneDpi = backend.fontsHeld();
    for (int dpi : {0, 20, 5000, 0xFFFF}) {
        RECT suggested{40, 30, 40, 30};
        SendMessageW(hwnd, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
        pump(50);
        RECT client;
        GetClientRect(hwnd, &client);
        EXPECT_EQ(form->dpi(), first) << dpi;
        EXPECT_EQ(client.right, forms::pixelsFromTwips(9000, first)) << dpi;
    }
    for (int dpi = 100; dpi <= 400; dpi += 12) {
        RECT suggested{40, 30, 41, 31};
        SendMessageW(hwnd, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
        pump(20);
        EXPECT_LE(backend.fontsHeld(), fontsAtOneDpi) << dpi;
    }
    RECT back{40, 30, 41, 31};
    SendMessageW(hwnd, WM_DPICHANGED, MAKEWPARAM(first, first), reinterpret_cast<LPARAM>(&back));

    RECT work;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    RECT w;
    GetWindowRect(hwnd, &w);
    int width = w.right - w.left, height = w.bottom - w.top;
    SetWindowPos(hwnd, nullptr, work.right + 500, work.bottom + 500, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageW(hwnd, WM_DISPLAYCHANGE, 32, MAKELPARAM(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)));
    GetWindowRect(hwnd, &w);
    EXPECT_EQ(w.left, work.left + (work.right - work.left - width) / 2);
    EXPECT_EQ(w.top, work.top + (work.bottom - work.top - height) / 2);
    // One still on the screen stays where it is.
    SetWindowPos(hwnd, nullptr, 10, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageW(hwnd, WM_DISPLAYCHANGE, 32, MAKELPARAM(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)));
    GetWindowRect(hwnd, &w);
    EXPECT_EQ(w.left, 10);
    EXPECT_EQ(w.top, 20);
}

TEST_F(FormsOnWin32, UnloadDestroysTheWindowAndTheNextUseStartsAgain) {
    (*form)("Label").setCaption("changed");
    app.unload<EveryForm>();
    EXPECT_FALSE(IsWindow(hwnd));
    EveryForm& again = app.form<EveryForm>();
    EXPECT_EQ(again("Label").caption(), "标签");
    EXPECT_TRUE(IsWindow(static_cast<HWND>(again.handle())));
}

}  // namespace
