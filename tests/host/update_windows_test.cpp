// The update prompt and the about window, run against the fake window system.
#include <gtest/gtest.h>

#include "build_config.h"
#include "fake_backend.h"
#include "tolm/countdown/form_tolm.h"
#include "tolm/countdown/services.h"
#include "tolm/update/download.h"
#include "tolm/update/form_about.h"
#include "tolm/update/form_exit.h"
#include "tolm/update/version.h"

namespace {

using forms::Color;
using tolm::DownLoad;
using tolm::FormAbout;
using tolm::FormExit;

struct UpdateWindows : ::testing::Test {
    fake::Backend backend;
    fake::Clock clock;
    std::vector<std::string> opened;
    forms::App app{backend, "TOLM"};

    void SetUp() override {
        tolm::services().clock = &clock;
        tolm::services().openUrl = [this](const std::string& url) { opened.push_back(url); };
        tolm::LatestVersion = "1.0.35";
    }
    void TearDown() override {
        tolm::services() = {};
        tolm::LatestVersion.clear();
    }
    template <class F>
    F& open() {
        F& f = app.form<F>();
        f.show();
        backend.foreground = f.handle();
        return f;
    }
    // The window of a kind that is loaded, or nullptr, without loading it.
    template <class F>
    F* loaded() {
        return app.isLoaded<F>() ? &app.form<F>() : nullptr;
    }
};

// ---------------------------------------------------------------------------------------------
// The update prompt

TEST_F(UpdateWindows, PromptLoadsShapedAndTopmostAndAppendsTheVersionsOncePerLoad) {
    FormExit& f = open<FormExit>();
    const fake::Window& w = backend.windows[&f];
    EXPECT_EQ(w.styling, (std::vector<std::string>{"front", "style", "layered", "topmost"}));
    EXPECT_EQ(w.exStyle, 0x80000u);
    EXPECT_EQ(w.colorKey, 255u);
    EXPECT_EQ(w.layeredFlags, 1u);
    EXPECT_EQ(f("Label2").caption(), "当前版本为:1.0.34");
    EXPECT_EQ(f("Label1").caption(), "最新版本为:1.0.35");
    EXPECT_EQ(f("Label1").width(), (66 + 36) * 15);  // grown to the right with its text

    // "否": hidden, the countdown window shown; the next opening shows the same window again.
    fake::Pointer(f).click(200, 120);
    EXPECT_FALSE(f.visible());
    EXPECT_TRUE(app.form<tolm::FormTolm>().visible());
    int creations = backend.creations;
    FormExit& again = open<FormExit>();
    EXPECT_EQ(&again, &f);
    EXPECT_EQ(backend.creations, creations);
    EXPECT_EQ(f("Label2").caption(), "当前版本为:1.0.34");
    EXPECT_EQ(f("Label1").caption(), "最新版本为:1.0.35");
    EXPECT_TRUE(f("PicYes").visible());

    // Unloaded and opened afresh, the window starts again from its layout.
    tolm::LatestVersion = "2.0.0";
    app.unload<FormExit>();
    EXPECT_EQ(open<FormExit>()("Label1").caption(), "最新版本为:2.0.0");
}

TEST_F(UpdateWindows, YesTurnsThePromptIntoACentredNoticeAndLoadsTheDownloadUnseen) {
    FormExit& f = open<FormExit>();
    fake::Pointer p(f);
    p.click(90, 120);
    EXPECT_FALSE(f("PicYes").visible());
    EXPECT_FALSE(f("PicNo").visible());
    forms::Control& notice = f("Label4");
    EXPECT_EQ(notice.caption(), FormExit::kDownloadNotice);
    EXPECT_EQ(notice.left() * 2 + notice.width(), 4560);
    EXPECT_EQ(notice.top(), 1300);
    ASSERT_TRUE(loaded<DownLoad>());
    EXPECT_FALSE(loaded<DownLoad>()->visible());
    EXPECT_TRUE(f.visible());

    // The hidden faces still turn idle over the background, and the notice can be dragged
    // away with any button.
    f("PicYes").setBackColor(forms::kFaceHover);
    backend.windows[&f].rect.left = 400;
    p.down(20, 150, forms::RightButton);
    p.move(30, 150);
    p.up(30, 150, forms::RightButton);
    EXPECT_EQ(f("PicYes").backColor(), forms::kFaceIdle);
    EXPECT_EQ(f("PicNo").backColor(), forms::kFaceIdle);
    EXPECT_EQ(backend.windows[&f].rect.left, 410);
}

TEST_F(UpdateWindows, APressedButtonKeepsItsColourUntilReleasedAndTheBackgroundResetsBoth) {
    FormExit& f = open<FormExit>();
    fake::Pointer p(f);
    p.move(90, 120);
    EXPECT_EQ(f("PicYes").backColor(), forms::kFaceHover);
    p.down(200, 120, forms::MiddleButton);
    p.move(205, 118);
    EXPECT_EQ(f("PicNo").backColor(), forms::kFacePressed);
    p.up(205, 118, forms::MiddleButton);
    EXPECT_EQ(f("PicNo").backColor(), forms::kFaceHover);
    EXPECT_TRUE(f.visible());  // the middle button makes no click
    p.move(20, 150);
    EXPECT_EQ(f("PicYes").backColor(), forms::kFaceIdle);
    EXPECT_EQ(f("PicNo").backColor(), forms::kFaceIdle);
}

TEST(CentredLeft, HalvesInSinglePrecisionLandOnTheNearestTwip) {
    struct Case {
        forms::Twips outer, inner, left;
    } cases[] = {
        {4560, 2970, 795}, {4560, 2985, 788}, {4561, 2970, 796}, {4560, 6000, -720}, {0, 0, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(tolm::centredLeft(c.outer, c.inner), c.left) << c.outer << " " << c.inner;
}

// ---------------------------------------------------------------------------------------------
// The about window

TEST_F(UpdateWindows, AboutLoadsShapedWithTheVersionInItsTitle) {
    backend.version = {2, 10, 7};
    FormAbout& f = open<FormAbout>();
    EXPECT_EQ(backend.windows[&f].exStyle, 0x80000u);
    EXPECT_EQ(backend.windows[&f].colorKey, 255u);
    EXPECT_EQ(backend.windows[&f].layeredFlags, 1u);
    EXPECT_FALSE(backend.windows[&f].topmost);
    EXPECT_EQ(f("LabelTitle").caption(), "关于TOLM    V2.10.7");
    fake::Pointer(f).click(250, 165);  // OK
    EXPECT_FALSE(app.isLoaded<FormAbout>());
}

TEST_F(UpdateWindows, AboutClosesOnceAnotherWindowHasTheForegroundOrItIsNotShown) {
    enum Foreground { Own, Other, None };
    int other = 0;
    struct Case {
        const char* what;
        bool show;
        Foreground foreground;
        bool stays;
    } cases[] = {
        {"its own", true, Own, true},
        {"another program's", true, Other, false},
        {"none at all", true, None, false},
        {"loaded, never shown", false, Own, false},
    };
    for (const Case& c : cases) {
        FormAbout& f = app.form<FormAbout>();
        if (c.show) f.show();
        forms::Control& timer = f("Timer1");
        EXPECT_TRUE(backend.timers[&timer]) << c.what;
        backend.foreground = c.foreground == Own ? f.handle() : c.foreground == Other ? &other : nullptr;
        app.enter();
        f.timerTick(timer);
        app.leave();
        EXPECT_EQ(app.isLoaded<FormAbout>(), c.stays) << c.what;
        if (c.stays) {
            app.unload<FormAbout>();
        } else {
            EXPECT_EQ(backend.timers.count(&timer), 0u) << c.what << ": the poll goes with the window";
        }
    }
}

TEST_F(UpdateWindows, TheContactLinkOpensTheChatOncePerOpening) {
    FormAbout& f = open<FormAbout>();
    fake::Pointer p(f);
    p.click(130, 110);
    p.click(130, 110);
    EXPECT_EQ(opened, (std::vector<std::string>{std::string(TOLM_MESSENGER) + "/msgrd?V=1&Uin=100860017"}));
    EXPECT_FALSE(f("LabelQQ").enabled());
    app.unload<FormAbout>();
    FormAbout& again = open<FormAbout>();
    EXPECT_TRUE(again("LabelQQ").enabled());
    fake::Pointer(again).click(130, 110);
    EXPECT_EQ(opened.size(), 2u);

    EXPECT_EQ(tolm::chatAddress("https://m", "  12345 "), "https://m/msgrd?V=1&Uin=12345");
    EXPECT_EQ(tolm::chatAddress("https://m", "   "), "");
    EXPECT_EQ(tolm::chatAddress("https://m", " 1&x=2 "), "");  // nothing but the number goes out
}

TEST_F(UpdateWindows, TheUpdateLinkChecksByHandAndNeverStops) {
    struct Case {
        const char* latest;
        const char* message;  // nullptr: the download window shows instead
    } cases[] = {
        {"1.0.34", FormAbout::kCurrentMessage},
        {"1.00.034", FormAbout::kCurrentMessage},
        {"1.0.34.1", nullptr},
        {"0.9.99", nullptr},
        {"", FormAbout::kUnknownMessage},
        {"1.0", FormAbout::kUnknownMessage},
        {"1.0.34|x", FormAbout::kUnknownMessage},
    };
    for (const Case& c : cases) {
        tolm::LatestVersion = c.latest;
        backend.messages.clear();
        FormAbout& f = open<FormAbout>();
        fake::Pointer(f).click(250, 110);
        DownLoad* d = loaded<DownLoad>();
        if (c.message) {
            EXPECT_EQ(backend.messages, (std::vector<std::string>{std::string("TOLM: ") + c.message})) << c.latest;
            EXPECT_FALSE(d) << c.latest;
        } else {
            EXPECT_TRUE(backend.messages.empty()) << c.latest;
            ASSERT_TRUE(d) << c.latest;
            EXPECT_TRUE(d->visible()) << c.latest;
            app.unload<DownLoad>();
        }
        app.unload<FormAbout>();
    }
}

}  // namespace
