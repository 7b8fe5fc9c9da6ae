#include <gtest/gtest.h>

#include "fake_backend.h"
#include "tolm/countdown/form_tolm.h"
#include "tolm/countdown/services.h"
#include "tolm/layouts/layouts.h"
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
    auto trayMessage = [&](int msg) {
        f.app().enter();
        f.mouseMove(nullptr, 0, 0, msg, 0);  // the icon's message number arrives as X
        f.app().leave();
    };
    for (int msg : {0x0200, 0x0201, 0x0202, 0x0203, 0x0205}) trayMessage(msg);
    EXPECT_TRUE(!app.isLoaded<tolm::FormMenu>() || !app.form<tolm::FormMenu>().visible());
    // Not while a move is under way.
    fake::Pointer p{f};
    p.down(30, 30);
    trayMessage(0x0204);
    EXPECT_TRUE(!app.isLoaded<tolm::FormMenu>() || !app.form<tolm::FormMenu>().visible());
    p.up(30, 30);
    trayMessage(0x0204);
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

// The menu from the icon: by the mouse it opens with the bar where the pointer left it, by the
// keyboard on its first entry; both take the keyboard and are announced as a menu.
TEST_F(MainWindow, TheMenuOpensForTheKeyboardOnItsFirstEntry) {
    FormTolm& f = start({2027, 3, 1, 9, 0, 0, 0});
    auto tray = [&](int msg) {
        f.app().enter();
        f.mouseMove(nullptr, 0, 0, msg, 0);
        f.app().leave();
    };
    tray(0x0204);  // the mouse: the bar stays at the top, under no entry
    tolm::FormMenu& m = app.form<tolm::FormMenu>();
    EXPECT_EQ(m("ShapeBack").top(), 0);
    EXPECT_EQ(m.highlighted(), -1);
    EXPECT_FALSE(m.keyDown(forms::KeyTab, 0)) << "a key of no use here is left to the system";
    for (int msg : {0x007B, 0x0401}) {  // the menu key or Shift+F10; Enter on the icon
        m.keyDown(forms::KeyEscape, 0);
        EXPECT_EQ(backend.accessibleEvents.back(), "menuend 0");
        backend.accessibleEvents.clear();
        tray(msg);
        EXPECT_EQ(m.highlighted(), 0);
        EXPECT_EQ(backend.accessibleEvents, (std::vector<std::string>{"menustart 0", "focus 1"}));
    }
    EXPECT_EQ(backend.activations, 3);
    m.keyDown(forms::KeyUp, 0);  // round to the last
    EXPECT_TRUE(m.accessible()->items[3].focused);
    m.hide();
}

}  // namespace
