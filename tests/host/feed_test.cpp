// The motto feed, the tray icon's notifications and the menu panel, against fakes.
#include <gtest/gtest.h>

#include "build_config.h"
#include "fake_backend.h"
#include "platform/browser.h"
#include "tolm/countdown/form_tolm.h"
#include "tolm/countdown/services.h"
#include "tolm/tray/form_menu.h"
#include "tolm/update/form_about.h"
#include "tolm/update/form_exit.h"
#include "tolm/update/version.h"

namespace {

// A browser whose loads the test completes by hand.
struct Web final : platform::Browser {
    bool busy = false;
    std::optional<std::string> body;
    std::vector<std::string> navigated;

    void Navigate(const std::string& url) override {
        navigated.push_back(url);
        busy = true;
        if (DownloadBegin) DownloadBegin();
    }
    bool Busy() const override { return busy; }
    std::optional<std::string> BodyInnerHTML() const override { return body; }
    void complete(std::optional<std::string> page) {
        body = std::move(page);
        busy = false;
        DocumentComplete("http://publisher/tolm/motto.html");
    }
};

using tolm::FormMenu;
using tolm::FormTolm;

constexpr const char* kDesignMotto = " 加油!   奋斗!   拼搏!";

struct Feed : ::testing::Test {
    fake::Backend backend;
    fake::Clock clock;
    Web web;
    int icons = 0;
    forms::App app{backend, "TOLM"};

    FormTolm& start() {
        tolm::services().clock = &clock;
        tolm::services().browser = &web;
        tolm::services().registerTrayIcon = [this](forms::Form& w) {
            EXPECT_EQ(&w, &app.form<FormTolm>());
            ++icons;
        };
        tolm::LatestVersion.clear();
        FormTolm& f = app.form<FormTolm>();
        f.show();
        return f;
    }
    // The icon's right-button press, as the program's edge reports it.
    void tray(FormTolm& f) {
        app.enter();
        f.iconEvent({platform::TrayEvent::Kind::RightPress, backend.cursor});
        app.leave();
    }
    bool menuShown() { return app.isLoaded<FormMenu>() && app.form<FormMenu>().visible(); }
    bool menuTimer() { return backend.timers[&app.form<FormMenu>()("Timer1")]; }
    void TearDown() override {
        tolm::services() = {};
        tolm::LatestVersion.clear();
    }
};

TEST_F(Feed, LoadAsksForTheMottoPageAndIgnoresMovesWhileItLoads) {
    FormTolm& f = start();
    ASSERT_EQ(web.navigated, std::vector<std::string>{TOLM_PUBLISHER "/tolm/motto.html"});
    EXPECT_TRUE(web.Silent);  // set at DownloadBegin
    EXPECT_TRUE(f.webBusy());
    fake::Pointer p{f};
    backend.windows[&f].rect = {300, 200, 722, 488};
    p.down(30, 30);
    p.move(60, 60);
    EXPECT_EQ(backend.windows[&f].rect.left, 300);
    tray(f);
    EXPECT_FALSE(menuShown());
    EXPECT_EQ(icons, 0);  // no icon before the page has been handled
    p.up(60, 60);
    web.complete("AB|1.0.34");
    p.move(516, 0);  // a real move, where the icon's messages once came in disguise: no menu
    EXPECT_FALSE(menuShown());
    tray(f);
    EXPECT_TRUE(menuShown());
}

TEST_F(Feed, ParseMottoTakesEachStepOnItsOwn) {
    struct Case {
        std::optional<std::string> body;
        const char* before;  // LatestVersion before the page
        const char* motto;
        const char* latest;
        bool prompt;
    } cases[] = {
        {"AB|1.0.34", "", "AB", "1.0.34", false},
        {"AB|1.0.35", "", "AB", "1.0.35", true},
        {"AB|0.9.34", "", "AB", "0.9.34", true},
        {"AB| 1 . 0 . 34 ", "", "AB", " 1 . 0 . 34 ", false},
        {"AB|1.0.34|x", "", "AB", "1.0.34|x", false},
        {"AB|1.0", "", "AB", "1.0", false},
        {"AB|1.0.34<SCRIPT>var s = 'x|9.9.9';</SCRIPT>", "", "AB", "1.0.34", false},
        {"AB|1.0.34<script>x|9</script>", "", "AB", "1.0.34<script>x|9</script>", false},
        {"ABC", "1.0.34", "ABC", "1.0.34", false},
        {"ABC", "2.0.0", "ABC", "2.0.0", true},  // the check runs on the version kept
        {"", "", "", "", false},
        {"<IMG src=x onerror=alert(1)>&amp;|1.0.34", "", "<IMG src=x onerror=alert(1)>&amp;", "1.0.34", false},
        // A failed load: no document, nothing read, the icon still comes.
        {std::nullopt, "", kDesignMotto, "", false},
        {std::nullopt, "1.1.0", kDesignMotto, "1.1.0", true},
    };
    for (const Case& c : cases) {
        forms::App run{backend, "TOLM"};
        tolm::services().clock = &clock;
        tolm::services().browser = &web;
        int registered = 0;
        tolm::services().registerTrayIcon = [&](forms::Form&) { ++registered; };
        tolm::LatestVersion = c.before;
        FormTolm& f = run.form<FormTolm>();
        web.complete(c.body);
        std::string what = c.body.value_or("(no document)");
        EXPECT_EQ(f("LabelMotto").caption(), c.motto) << what;
        EXPECT_EQ(tolm::LatestVersion, c.latest) << what;
        EXPECT_EQ(run.isLoaded<tolm::FormExit>() && run.form<tolm::FormExit>().visible(), c.prompt) << what;
        EXPECT_EQ(registered, 1) << what;
        EXPECT_FALSE(f.webBusy());
    }
}

TEST_F(Feed, ThePanelOpensAtThePointerInsideTheWorkArea) {
    struct Case {
        forms::PixelPoint pointer;
        forms::PixelRect work;
        forms::PixelPoint at;
    } cases[] = {
        {{1000, 500}, {0, 0, 1280, 984}, {876, 395}},      // room: bottom-right corner on the pointer
        {{124, 105}, {0, 0, 1280, 984}, {0, 0}},           // just enough room
        {{1000, 1000}, {0, 0, 1280, 984}, {876, 879}},     // pointer on the bottom taskbar: lifted
        {{1000, 20}, {0, 40, 1280, 984}, {876, 40}},       // taskbar at the top: opens below it
        {{30, 500}, {60, 0, 1220, 1024}, {60, 395}},       // taskbar on the left: opens right of it
        {{1250, 500}, {0, 0, 1220, 1024}, {1096, 395}},    // taskbar on the right: pushed left
        {{50, 60}, {0, 0, 1280, 984}, {50, 60}},           // near the top-left corner: below and right
        {{1400, 300}, {1280, 0, 1024, 738}, {1400, 195}},  // a second monitor: no room on its left
        {{20, 20}, {0, 0, 100, 80}, {0, 0}},               // a work area smaller than the panel
    };
    FormTolm& f = start();
    web.complete("AB|1.0.34");
    backend.windows[&app.form<FormMenu>()].exStyle = 0x80;  // WS_EX_TOOLWINDOW stays
    for (const Case& c : cases) {
        backend.cursor = c.pointer;
        backend.work = c.work;
        tray(f);
        const FormMenu& m = app.form<FormMenu>();
        EXPECT_EQ(m.left(), c.at.x * 15.0f) << c.pointer.x << "," << c.pointer.y;
        EXPECT_EQ(m.top(), c.at.y * 15.0f) << c.pointer.x << "," << c.pointer.y;
    }
    const fake::Window& w = backend.windows[&app.form<FormMenu>()];
    EXPECT_TRUE(w.topmost);
    EXPECT_EQ(w.exStyle, 0x80080u);
    EXPECT_EQ(w.alpha, 236);
    EXPECT_EQ(w.layeredFlags, 2u);
    EXPECT_EQ(app.form<FormMenu>()("ShapeBack").backColor(), forms::Color::rgb(0, 185, 242));
}

TEST_F(Feed, TheEntriesAndTheForegroundWatch) {
    FormTolm& f = start();
    web.complete("AB|1.0.34");
    // A release on the widget loads the panel hidden, with nothing to watch.
    fake::Pointer p{f};
    p.click(30, 30);
    ASSERT_TRUE(app.isLoaded<FormMenu>());
    FormMenu& m = app.form<FormMenu>();
    EXPECT_FALSE(m.visible());
    EXPECT_FALSE(menuTimer());

    tray(f);
    EXPECT_TRUE(m.visible());
    EXPECT_TRUE(menuTimer());
    fake::Pointer q{m};
    q.move(60, 60);  // over 关于
    EXPECT_EQ(m("ShapeBack").top(), 740);
    q.move(60, 1);  // off the entries: the bar stays
    EXPECT_EQ(m("ShapeBack").top(), 740);

    backend.foreground = m.handle();
    m.timerTick(m("Timer1"));
    EXPECT_TRUE(m.visible());
    backend.foreground = nullptr;  // another program's window
    m.timerTick(m("Timer1"));
    EXPECT_FALSE(m.visible());
    EXPECT_FALSE(menuTimer());

    tray(f);
    q.move(60, 40);
    q.click(60, 40);  // 隐藏状态窗体
    EXPECT_EQ(m("ShapeBack").top(), 380);
    EXPECT_FALSE(f.visible());
    EXPECT_FALSE(m.visible());
    EXPECT_FALSE(menuTimer());

    tray(f);  // the hidden widget still hears its icon
    f("Timer1").setEnabled(false);
    q.click(60, 12);  // 显示状态窗体
    EXPECT_TRUE(f.visible());
    EXPECT_TRUE(f("Timer1").enabled());
    EXPECT_FALSE(m.visible());

    tray(f);
    q.click(60, 60);  // 关于: the panel stays until the about window takes the foreground
    EXPECT_TRUE(app.isLoaded<tolm::FormAbout>() && app.form<tolm::FormAbout>().visible());
    EXPECT_TRUE(m.visible());
    EXPECT_THROW(q.click(60, 90), forms::ProgramEnded);  // 退出
}

TEST_F(Feed, ADragEndsWhenTheWindowLosesThePointer) {
    FormTolm& f = start();
    web.complete("AB|1.0.34");
    backend.windows[&f].rect = {300, 200, 722, 488};
    fake::Pointer p{f};
    p.down(30, 30);
    f.captureLost();  // Alt+Tab mid-drag: the release never comes
    p.held = 0;
    p.move(60, 60);
    EXPECT_EQ(backend.windows[&f].rect.left, 300);
    tray(f);
    EXPECT_TRUE(menuShown());
}

TEST_F(Feed, TheDateIsReadOnceWhenItIsFollowed) {
    // A clock that passes midnight between two readings.
    struct Stepping final : platform::Clock {
        mutable int reads = 0;
        platform::LocalTime now() const override {
            return ++reads % 2 ? platform::LocalTime{2027, 5, 28, 23, 59, 59, 999}
                               : platform::LocalTime{2027, 5, 29, 0, 0, 0, 0};
        }
    } stepping;
    clock.time = {2027, 5, 28, 12, 0, 0, 0};
    FormTolm& f = start();
    tolm::services().clock = &stepping;
    f.alarmFired(1);  // a touch early, a millisecond before midnight
    EXPECT_EQ(f.shownDate, (tolm::Date{2027, 5, 28}));
    EXPECT_EQ(backend.alarms[&f][1], 1001);  // so the next alarm counts again just after midnight
    f.alarmFired(1);
    EXPECT_EQ(f.shownDate, (tolm::Date{2027, 5, 29}));
}

// Keys act once, and only on a window that is shown: a key the system repeats presses nothing,
// Space presses on its release and only after its press in the same window, and a key posted to
// the hidden panel runs none of its entries.
TEST_F(Feed, KeysActOnceAndOnlyOnAShownWindow) {
    FormTolm& f = start();
    web.complete("AB|1.0.34");
    FormMenu& m = app.form<FormMenu>();
    enum How { Press, Repeat, Release };
    constexpr int kHide = 380, kAbout = 740, kExit = 1100;  // the bar's top under each entry
    struct Case {
        const char* what;
        bool panelShown;
        int bar;
        std::vector<std::pair<How, int>> keys;
        bool widgetShown;
    } cases[] = {
        {"Enter on 隐藏状态窗体", true, kHide, {{Press, forms::KeyReturn}}, false},
        {"Space pressed, not yet released", true, kHide, {{Press, forms::KeySpace}}, true},
        {"Space held, then released", true, kHide,
         {{Press, forms::KeySpace}, {Repeat, forms::KeySpace}, {Repeat, forms::KeySpace}, {Release, forms::KeySpace}},
         false},
        {"Space released, pressed elsewhere (on the icon that opened the panel)", true, kHide,
         {{Release, forms::KeySpace}}, true},
        {"the hidden panel: Enter on 退出", false, kExit, {{Press, forms::KeyReturn}}, true},
        {"the hidden panel: Space on 隐藏状态窗体", false, kHide,
         {{Press, forms::KeySpace}, {Release, forms::KeySpace}}, true},
        {"the hidden panel: Enter on 关于", false, kAbout, {{Press, forms::KeyReturn}}, true},
    };
    for (const Case& c : cases) {
        f.show();
        m.close();  // a Space still down goes with the panel
        if (c.panelShown) tray(f);
        m("ShapeBack").setTop(c.bar);
        for (auto [how, key] : c.keys) {
            if (how == Release)
                m.keyUp(key, 0);
            else
                EXPECT_NO_THROW(EXPECT_TRUE(m.keyDown(key, 0, how == Repeat))) << c.what;
        }
        EXPECT_EQ(f.visible(), c.widgetShown) << c.what;
        EXPECT_FALSE(app.isLoaded<tolm::FormAbout>()) << c.what;
    }

    // Enter held on 关于: the about window opens and takes the keys the system repeats, which do
    // not close it through its default button; a new press does.
    tray(f);
    m("ShapeBack").setTop(kAbout);
    m.keyDown(forms::KeyReturn, 0);
    ASSERT_TRUE(app.isLoaded<tolm::FormAbout>());
    tolm::FormAbout& about = app.form<tolm::FormAbout>();
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(about.keyDown(forms::KeyReturn, 0, true));
    EXPECT_TRUE(app.isLoaded<tolm::FormAbout>() && about.visible());
    about.keyDown(forms::KeyReturn, 0);
    EXPECT_FALSE(app.isLoaded<tolm::FormAbout>());
}

}  // namespace
