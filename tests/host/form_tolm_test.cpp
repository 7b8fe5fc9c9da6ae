#include <gtest/gtest.h>

#include "fake_backend.h"
#include "tolm/countdown/form_tolm.h"
#include "tolm/countdown/services.h"
#include "tolm/layouts/layouts.h"
#include "platform/win32/tray_message.h"
#include "tolm/tray/form_menu.h"

namespace {

using tolm::FormTolm;

struct MainWindow : ::testing::Test {
    fake::Backend backend;
    fake::Clock clock;
    std::vector<std::string> painted;
    forms::App app{backend, "TOLM"};

    FormTolm& start(platform::LocalTime t, forms::App* in = nullptr) {
        clock.time = t;
        tolm::services().clock = &clock;
        tolm::services().paintPng = [this](const std::string& path, forms::NativeDC, int) { painted.push_back(path); };
        FormTolm& f = (in ? *in : app).form<FormTolm>();
        f.show();
        return f;
    }
    // What the year and day panels show: digit pictures of the visible elements, left to right.
    static std::string shown(FormTolm& f) {
        std::string s;
        for (int i = 1; i <= 4; ++i) s += f("YearNum", i).picture().back();
        s += " ";
        for (int i = 1; i <= 4; ++i)
            if (f("DayNum", i).visible()) s += f("DayNum", i).picture().back();
        return s;
    }
    void TearDown() override { tolm::services() = {}; }
};

TEST_F(MainWindow, LoadMakesTheGreySeeThroughAndDarkensTheDayPanel) {
    FormTolm& f = start({2027, 3, 1, 9, 0, 0, 0});
    const fake::Window& w = backend.windows[&f];
    EXPECT_EQ(w.exStyle, 0x80000u);  // exactly WS_EX_LAYERED, nothing combined
    EXPECT_EQ(w.colorKey, 0x808080u);
    EXPECT_EQ(w.alpha, 5);
    EXPECT_EQ(w.layeredFlags, 1u);
    EXPECT_EQ(f("Picture2").backColor(), forms::Color::rgb(48, 48, 48));
    EXPECT_TRUE(w.visible);
    EXPECT_EQ(f.drag.PressFlag, 0);
}

TEST_F(MainWindow, ShowsTheYearAndTheDaysAsDigitPictures) {
    struct Case {
        platform::LocalTime now;
        const char* want;
    } cases[] = {
        {{2027, 6, 7, 23, 59, 0, 0}, "2027 0"},
        {{2027, 5, 29, 0, 0, 0, 0}, "2027 9"},
        {{2027, 5, 28, 0, 0, 0, 0}, "2027 10"},
        {{2027, 2, 27, 0, 0, 0, 0}, "2027 100"},
        {{2027, 6, 8, 0, 0, 0, 0}, "2028 365"},
        {{2030, 12, 31, 0, 0, 0, 0}, "2031 158"},
    };
    for (const Case& c : cases) {
        forms::App run{backend, "TOLM"};  // a program run of its own for every date
        FormTolm& f = start(c.now, &run);
        EXPECT_EQ(shown(f), c.want) << c.now.year << "-" << c.now.month << "-" << c.now.day;
        // Copies of the digit sources, which stay as they were.
        for (int k = 0; k < 10; ++k) EXPECT_EQ(f("PicNum", k).picture(), tolm::layouts::kDigitPictures[k]);
        EXPECT_FALSE(f("DayNum", 4).visible());
    }
}

TEST_F(MainWindow, CountsAgainWhenTheDateChangesAndHidesDigitsNoLongerUsed) {
    FormTolm& f = start({2027, 5, 28, 12, 0, 0, 0});
    EXPECT_EQ(shown(f), "2027 10");
    // The wait for the next day lands just after local midnight.
    EXPECT_EQ(backend.alarms[&f][1], (12 * 3600 + 1) * 1000);

    clock.time = {2027, 5, 29, 0, 0, 1, 0};
    f.alarmFired(1);
    EXPECT_EQ(shown(f), "2027 9");
    EXPECT_EQ(backend.alarms[&f][1], (24 * 3600) * 1000);

    // The clock set back, or a resume from sleep: the system says so, the count follows.
    clock.time = {2027, 6, 8, 8, 0, 0, 0};
    f.systemChanged();
    EXPECT_EQ(shown(f), "2028 365");

    // A change that does not change the date leaves the display alone.
    int before = backend.windows[&f].invalidations;
    f.systemChanged();
    EXPECT_EQ(backend.windows[&f].invalidations, before);
}

TEST_F(MainWindow, Timer1PaintsTheBackgroundOnceFromTheProgramFolder) {
    backend.folder = "D:\\Apps\\TOLM";
    FormTolm& f = start({2027, 3, 1, 9, 0, 0, 0});
    EXPECT_TRUE(backend.timers[&f("Timer1")]);
    f.timerTick(f("Timer1"));
    ASSERT_EQ(painted.size(), 1u);
    EXPECT_EQ(painted[0], "D:\\Apps\\TOLM\\ui\\back.png");
    EXPECT_EQ(backend.windows[&f].surfacePaints, 1);
    EXPECT_FALSE(f("Timer1").enabled());
    EXPECT_FALSE(backend.timers[&f("Timer1")]);
}

TEST_F(MainWindow, DraggingTheSurfaceMovesTheWindowAndPaintsAgain) {
    FormTolm& f = start({2027, 3, 1, 9, 0, 0, 0});
    f.timerTick(f("Timer1"));
    backend.windows[&f].rect.left = 300;
    backend.windows[&f].rect.top = 200;
    fake::Pointer p{f};
    p.down(30, 30);
    EXPECT_TRUE(f.drag.pressed());
    EXPECT_FLOAT_EQ(f.drag.GrabX, 450);
    EXPECT_EQ(f.drag.GrabY, 450);
    p.move(40, 25);
    EXPECT_EQ(backend.windows[&f].rect.left, 310);
    EXPECT_EQ(backend.windows[&f].rect.top, 195);
    EXPECT_TRUE(f("Timer1").enabled());  // repaint after the step
    p.up(30, 30);
    EXPECT_FALSE(f.drag.pressed());
    EXPECT_TRUE(app.isLoaded<tolm::FormMenu>());  // the release hides the menu, loading it
    EXPECT_FALSE(app.form<tolm::FormMenu>().visible());
}

TEST_F(MainWindow, OnlyALeftPressOnTheBareSurfaceStartsAMove) {
    FormTolm& f = start({2027, 3, 1, 9, 0, 0, 0});
    fake::Pointer p{f};
    struct Case {
        int x, y, button;
    } cases[] = {
        {30, 30, forms::RightButton},
        {30, 30, forms::MiddleButton},
        {210, 90, forms::LeftButton},   // year panel
        {300, 200, forms::LeftButton},  // day panel
        {100, 350, forms::LeftButton},  // motto panel
    };
    for (const Case& c : cases) {
        p.down(c.x, c.y, c.button);
        EXPECT_FALSE(f.drag.pressed()) << c.x << "," << c.y;
        p.up(c.x, c.y, c.button);
    }
    // Releasing any button ends a move.
    p.down(30, 30);
    p.down(30, 30, forms::RightButton);
    p.up(30, 30, forms::RightButton);
    EXPECT_FALSE(f.drag.pressed());
}

TEST_F(MainWindow, TheTrayIconsRightButtonPressOpensTheMenu) {
    FormTolm& f = start({2027, 3, 1, 9, 0, 0, 0});
    auto rightPress = [&] {
        f.app().enter();
        f.iconEvent({platform::TrayEvent::Kind::RightPress, backend.cursor});
        f.app().leave();
    };
    // Not while a move is under way.
    fake::Pointer p{f};
    p.down(30, 30);
    rightPress();
    EXPECT_TRUE(!app.isLoaded<tolm::FormMenu>() || !app.form<tolm::FormMenu>().visible());
    p.up(30, 30);
    rightPress();
    EXPECT_TRUE(app.form<tolm::FormMenu>().visible());
}

TEST_F(MainWindow, AnotherStartBringsTheWidgetBackShownPaintedAndInFront) {
    FormTolm& f = start({2027, 3, 1, 9, 0, 0, 0});
    f.timerTick(f("Timer1"));
    for (bool hiddenThroughTheMenu : {true, false}) {
        if (hiddenThroughTheMenu) f.hide();  // what the menu's hide entry does
        EXPECT_EQ(backend.windows[&f].visible, !hiddenThroughTheMenu);
        backend.windows[&f].styling.clear();
        f.bringBack();
        EXPECT_TRUE(backend.windows[&f].visible);
        EXPECT_TRUE(backend.timers[&f("Timer1")]) << "no repaint asked for";
        EXPECT_EQ(backend.windows[&f].styling, std::vector<std::string>{"front"});
        f.timerTick(f("Timer1"));
    }
    EXPECT_EQ(painted.size(), 3u);
}

TEST_F(MainWindow, ComEndEndsTheProgramAtOnce) {
    FormTolm& f = start({2027, 3, 1, 9, 0, 0, 0});
    EXPECT_THROW(f.clicked(f("ComEnd")), forms::ProgramEnded);
    EXPECT_EQ(backend.exitCode, 0);
}

TEST_F(MainWindow, ClosedByTheSystemItEndsTheProgramInsteadOfRunningOnUnseen) {
    start({2027, 3, 1, 9, 0, 0, 0});
    app.form<tolm::FormMenu>().hide();  // a loaded, hidden menu would keep the program alive
    EXPECT_THROW(app.unload<FormTolm>(), forms::ProgramEnded);
}

TEST(UntilNextDay, WaitsUntilJustAfterLocalMidnight) {
    EXPECT_EQ(tolm::untilNextDay({2027, 1, 1, 0, 0, 0, 0}).count(), 86401000);
    EXPECT_EQ(tolm::untilNextDay({2027, 1, 1, 23, 59, 59, 999}).count(), 1001);
}

}  // namespace

namespace {

// What a screen reader reads: the count as a sentence, the motto, and each panel by itself; and
// what it is told when they change, and only then.
TEST_F(MainWindow, ScreenReadersHearTheCountAndMottoOnDisplayAndEachChange) {
    FormTolm& f = start({2027, 5, 28, 23, 0, 0, 0});
    auto parts = [&] {
        auto v = f.accessible();
        std::string s = v->name + " | " + v->description;
        for (const auto& i : v->items)
            s += " | " + i.name + (i.role == forms::Role::StaticText ? "" : " (not text)") + " @" + i.control->name();
        return s;
    };
    EXPECT_EQ(parts(), "距离2027年高考还有10天 | 加油!   奋斗!   拼搏! | 2027年 @Picture3 | 还有10天 @Picture2 | "
                       "加油!   奋斗!   拼搏! @Picture1");
    EXPECT_TRUE(backend.accessibleEvents.empty()) << "nothing changed yet";
    struct Step {
        std::function<void()> act;
        std::vector<std::string> told;
        const char* name;
    } steps[] = {
        {[&] { f.systemChanged(); }, {}, "距离2027年高考还有10天"},  // the same date
        {[&] { clock.time = {2027, 5, 29, 0, 0, 1, 0}; f.alarmFired(1); }, {"name 0", "name 2"}, "距离2027年高考还有9天"},
        {[&] { f("LabelMotto").setCaption(" 天道酬勤 "); f.accessibleChanged(); }, {"description 0", "name 3"},
         "距离2027年高考还有9天"},
        {[&] { clock.time = {2027, 6, 8, 8, 0, 0, 0}; f.systemChanged(); }, {"name 0", "name 1", "name 2"},
         "距离2028年高考还有365天"},
    };
    for (const Step& s : steps) {
        backend.accessibleEvents.clear();
        s.act();
        EXPECT_EQ(backend.accessibleEvents, s.told) << s.name;
        EXPECT_EQ(f.accessible()->name, s.name);
    }
    EXPECT_EQ(f.accessible()->items[2].name, "天道酬勤");
}

}  // namespace

namespace {

// The menu from the icon, from the shell's notifications as it documents them for version 4: by
// the mouse it opens at the pointer with the bar where the pointer left it, by the keyboard at the
// icon on its first entry; each way opens it once, takes the keyboard and is announced as a menu.
// Esc closes it and hands the keyboard back to the notification area.
TEST_F(MainWindow, TheMenuOpensOnceForTheMouseAndTheKeyboardEachInItsPlace) {
    FormTolm& f = start({2027, 3, 1, 9, 0, 0, 0});
    int focusReturned = 0;
    tolm::services().returnFocusToIcon = [&] { ++focusReturned; };
    win32::TrayMessages shell;
    auto notify = [&](unsigned what, forms::PixelPoint at) {
        auto word = [](int v) { return static_cast<std::uintptr_t>(static_cast<std::uint16_t>(v)); };
        if (auto e = shell.decode(word(at.x) | word(at.y) << 16, static_cast<std::intptr_t>(what | 0x2A17u << 16))) {
            f.app().enter();
            f.iconEvent(*e);
            f.app().leave();
        }
    };
    constexpr unsigned kContextMenu = 0x007B, kRButtonDown = 0x0204, kRButtonUp = 0x0205, kKeySelect = 0x0401;
    // The icon's corner lies on the taskbar, below the work area: the panel stands on the taskbar.
    const forms::PixelPoint pointer{1000, 700}, icon{1150, 990}, aboveIcon{1150, 984};
    backend.cursor = pointer;
    struct Case {
        const char* what;
        std::vector<unsigned> sequence;  // at the pointer for the mouse, at the icon for the keys
        forms::PixelPoint corner;        // where the panel's bottom-right corner lands
        int highlighted;
    } cases[] = {
        {"right click", {kRButtonDown, kRButtonUp, kContextMenu}, pointer, -1},
        {"Enter", {kKeySelect, kKeySelect}, aboveIcon, 0},
        {"Space", {kKeySelect}, aboveIcon, 0},
        {"Shift+F10", {kContextMenu}, aboveIcon, 0},
    };
    tolm::FormMenu& m = app.form<tolm::FormMenu>();
    for (const Case& c : cases) {
        backend.accessibleEvents.clear();
        backend.activations = 0;
        bool mouse = c.sequence[0] == kRButtonDown;
        for (unsigned what : c.sequence) notify(what, mouse ? pointer : icon);
        ASSERT_TRUE(m.visible()) << c.what;
        const forms::PixelRect& r = backend.windows[&m].rect;
        EXPECT_EQ((forms::PixelPoint{r.left + r.width, r.top + r.height}), c.corner) << c.what;
        EXPECT_EQ(m.highlighted(), c.highlighted) << c.what;
        EXPECT_EQ(backend.activations, 1) << c.what;
        std::vector<std::string> told{"menustart 0"};
        if (c.highlighted >= 0) told.push_back("focus 1");
        EXPECT_EQ(backend.accessibleEvents, told) << c.what;
        EXPECT_FALSE(m.keyDown(forms::KeyTab, 0)) << "a key of no use here is left to the system";
        focusReturned = 0;
        m.keyDown(forms::KeyEscape, 0);
        EXPECT_FALSE(m.visible()) << c.what;
        EXPECT_EQ(backend.accessibleEvents.back(), "menuend 0");
        EXPECT_EQ(focusReturned, 1) << c.what;
        m("ShapeBack").setTop(0);  // the bar under no entry again
    }
    notify(kKeySelect, icon);
    m.keyDown(forms::KeyUp, 0);  // round to the last
    EXPECT_TRUE(m.accessible()->items[3].focused);
    m.hide();
}

}  // namespace
