// The windows at the DPI of their monitor: layout, pointer arithmetic, a change of DPI while
// shown, and the way back onto a screen after the screens changed.
#include <gtest/gtest.h>

#include "fake_backend.h"
#include "platform/forms/scale.h"
#include "tolm/countdown/form_tolm.h"
#include "tolm/countdown/services.h"
#include "tolm/tray/form_menu.h"

namespace {

using forms::PixelPoint;
using forms::PixelRect;
using tolm::FormMenu;
using tolm::FormTolm;

constexpr int kDpis[] = {96, 120, 144, 168, 192};

struct Scaled : ::testing::Test {
    fake::Backend backend;
    fake::Clock clock;
    std::vector<int> paintedAt;  // the DPI of every background paint
    std::unique_ptr<forms::App> app;

    FormTolm& start(int dpi) {
        backend.dpi = dpi;
        app = std::make_unique<forms::App>(backend, "TOLM");
        tolm::services().clock = &clock;
        tolm::services().paintPng = [this](const std::string&, forms::NativeDC, int d) { paintedAt.push_back(d); };
        FormTolm& f = app->form<FormTolm>();
        f.show();
        return f;
    }
    void trayRightButton(FormTolm& f) {
        f.app().enter();
        f.iconEvent({platform::TrayEvent::Kind::RightPress, backend.cursor});
        f.app().leave();
    }
    void TearDown() override { tolm::services() = {}; }
};

TEST(ScaleArithmetic, TwipsArtAndNames) {
    // 96 dpi is 15 twips a pixel whatever the twips; a pixel's twips come back to the pixel.
    for (int dpi : kDpis)
        for (int px : {0, 1, 7, 516, 722, 1919}) {
            EXPECT_EQ(forms::pixelsFromTwips(forms::twipsFromPixels(px, dpi), dpi), px) << dpi;
            EXPECT_EQ(forms::pixelsFromTwips(static_cast<float>(forms::twipsFromPixels(px, dpi)), dpi), px) << dpi;
        }
    struct {
        int dpi, art;
    } scales[] = {{96, 100}, {100, 125}, {120, 125}, {144, 150}, {150, 175}, {168, 175}, {192, 200}, {288, 200}};
    for (auto c : scales) EXPECT_EQ(forms::artScaleFor(c.dpi), c.art) << c.dpi;
    EXPECT_EQ(forms::artName("DIGIT0", 100), "DIGIT0");
    EXPECT_EQ(forms::artName("DIGIT0", 150), "DIGIT0_150");
    EXPECT_EQ(forms::artName("C:\\a.b\\ui\\back.png", 175), "C:\\a.b\\ui\\back_175.png");
    EXPECT_EQ(forms::artName("C:\\a.b\\ui\\back", 125), "C:\\a.b\\ui\\back_125");
    // A digit made for 150 % fills its box of 1185 twips at 144 dpi to the pixel; one made for
    // 200 % is brought down to the same size.
    EXPECT_EQ(forms::artPixels(119, 150, 144), forms::pixelsFromTwips(1185, 144));
    EXPECT_EQ(forms::artPixels(158, 200, 144), forms::pixelsFromTwips(1185, 144));
    EXPECT_EQ(forms::artPixels(79, 100, 96), 79);
    // The look-up order starts at the scale's own art and tries larger before smaller.
    auto order = forms::artScaleOrder(144);
    EXPECT_EQ(std::vector<int>(order.begin(), order.end()), (std::vector<int>{150, 175, 200, 125, 100}));
}

TEST_F(Scaled, TheWidgetIsLaidOutAtItsMonitorsDpi) {
    for (int dpi : kDpis) {
        FormTolm& f = start(dpi);
        const PixelRect& w = backend.windows[&f].rect;
        EXPECT_EQ(w.width, forms::pixelsFromTwips(10830, dpi)) << dpi;
        EXPECT_EQ(w.height, forms::pixelsFromTwips(7320, dpi)) << dpi;
        // The day panel and a digit in it scale alike; nothing of the motto panel leaves the window.
        EXPECT_EQ(f("Picture2").pixelRect(),
                  (PixelRect{forms::pixelsFromTwips(3000, dpi), forms::pixelsFromTwips(2800, dpi),
                             forms::pixelsFromTwips(4620, dpi), forms::pixelsFromTwips(1280, dpi)}));
        PixelRect motto = f("Picture1").pixelRect();
        EXPECT_LE(motto.left + motto.width, w.width) << dpi;
        EXPECT_LE(motto.top + motto.height, w.height) << dpi;
        f.timerTick(f("Timer1"));
        ASSERT_FALSE(paintedAt.empty());
        EXPECT_EQ(paintedAt.back(), dpi);
        if (dpi == 96) {
            EXPECT_EQ(f("Picture2").pixelRect(), (PixelRect{200, 187, 308, 85}));
        }
    }
}

TEST_F(Scaled, TheDragFollowsThePointerToThePixelAtEveryDpi) {
    for (int dpi : kDpis) {
        FormTolm& f = start(dpi);
        backend.windows[&f].rect.left = 300;
        backend.windows[&f].rect.top = 200;
        fake::Pointer p{f};
        p.down(31, 33);
        // Steps of every size: a drift of a pixel would pile up over a long drag.
        int x = 31, y = 33;
        for (int step : {1, 2, 3, 5, 7, 11, -13, -1}) {
            p.move(x + step, y - step);  // the window moves under the pointer, which stays put on it
            EXPECT_EQ(backend.windows[&f].rect.left, 300 + step) << dpi << " step " << step;
            EXPECT_EQ(backend.windows[&f].rect.top, 200 - step) << dpi << " step " << step;
            backend.windows[&f].rect.left = 300;
            backend.windows[&f].rect.top = 200;
        }
        p.up(x, y);
    }
}

TEST_F(Scaled, TheTrayIconsRightButtonAndTheMenuAtThePointerWorkAtEveryDpi) {
    for (int dpi : kDpis) {
        FormTolm& f = start(dpi);
        backend.cursor = {900, 700};
        trayRightButton(f);
        FormMenu& menu = app->form<FormMenu>();
        ASSERT_TRUE(menu.visible()) << dpi;
        const PixelRect& m = backend.windows[&menu].rect;
        EXPECT_EQ(m.width, forms::pixelsFromTwips(1860, dpi));
        // Its bottom-right corner on the pointer.
        EXPECT_EQ(m.left + m.width, 900) << dpi;
        EXPECT_EQ(m.top + m.height, 700) << dpi;
        menu.close();
    }
}

TEST_F(Scaled, ADpiChangeLaysTheWindowOutAgainAndPaintsFromTheNewArt) {
    FormTolm& f = start(96);
    f.timerTick(f("Timer1"));
    ASSERT_EQ(paintedAt, (std::vector<int>{96}));
    backend.changeDpi(f, 144, {100, 50});
    EXPECT_EQ(f.dpi(), 144);
    EXPECT_EQ(f("Picture2").pixelRect(), (PixelRect{300, 280, 462, 128}));
    EXPECT_TRUE(f("Timer1").enabled());  // the background is painted again, at 144 dpi
    f.timerTick(f("Timer1"));
    EXPECT_EQ(paintedAt, (std::vector<int>{96, 144}));
    // A drag after the change moves by the new pixels.
    fake::Pointer p{f};
    p.down(30, 30);
    p.move(40, 30);
    EXPECT_EQ(backend.windows[&f].rect.left, 110);
    p.up(40, 30);
    // Back to 96 dpi: exactly the first layout again.
    backend.changeDpi(f, 96, {100, 50});
    EXPECT_EQ(f("Picture2").pixelRect(), (PixelRect{200, 187, 308, 85}));
}

// What the system says a DPI changed to is checked as a queried DPI is: 0 would lay the window
// out at no size at all, 65535 at a size no screen holds.
TEST_F(Scaled, ADpiOutOfRangeIsNotBelievedAndTheLayoutStays) {
    FormTolm& f = start(144);
    const PixelRect before = f("Picture2").pixelRect();
    for (int dpi : {0, -96, 47, 961, 65535}) {
        f.setDpi(dpi);
        EXPECT_EQ(f.dpi(), 144) << dpi;
        EXPECT_EQ(f("Picture2").pixelRect(), before) << dpi;
    }
    f.setDpi(48);
    EXPECT_EQ(f.dpi(), 48) << "half the base is still a DPI to lay out at";
}

TEST_F(Scaled, TheOpenMenuMovedToAnotherScaleStaysAtThePointer) {
    FormTolm& f = start(96);
    backend.cursor = {900, 700};
    trayRightButton(f);
    FormMenu& menu = app->form<FormMenu>();
    backend.changeDpi(menu, 192, {0, 0});
    const PixelRect& m = backend.windows[&menu].rect;
    EXPECT_EQ(m.width, 248);
    EXPECT_EQ(m.left + m.width, 900);
    EXPECT_EQ(m.top + m.height, 700);
}

TEST_F(Scaled, AfterTheScreensChangeAWindowOffEveryWorkAreaComesBackToThePrimarysMiddle) {
    FormTolm& f = start(96);
    PixelRect& w = backend.windows[&f].rect;
    const PixelRect primary{0, 0, 1280, 984}, second{1280, -200, 1920, 1040};
    struct Case {
        PixelPoint at;
        std::vector<PixelRect> monitors;
        PixelPoint want;
    } cases[] = {
        {{1500, 100}, {primary, second}, {1500, 100}},  // on the second monitor: stays
        {{1500, 100}, {primary}, {279, 248}},           // that monitor is gone
        {{-600, 400}, {primary}, {279, 248}},           // centre (-239, 644) left of the screen
        {{900, 800}, {primary}, {279, 248}},            // centre (1261, 1044) on the taskbar
        // The centre decides, not any overlap: mostly off the screen, centre (1279, 983) on it.
        {{918, 739}, {primary}, {918, 739}},
    };
    for (const Case& c : cases) {
        w.left = c.at.x, w.top = c.at.y;
        backend.monitors = c.monitors;
        f.displayChanged();
        EXPECT_EQ((PixelPoint{w.left, w.top}), c.want) << c.at.x << "," << c.at.y;
    }
    // A second monitor left of the primary one keeps a widget that is on it.
    backend.monitors = {primary, {-1920, 0, 1920, 1040}};
    w.left = -1000, w.top = 300;
    f.displayChanged();
    EXPECT_EQ((PixelPoint{w.left, w.top}), (PixelPoint{-1000, 300}));
}

}  // namespace
