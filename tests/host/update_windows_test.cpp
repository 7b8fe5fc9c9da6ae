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

using tolm::FormAbout;
using tolm::FormExit;
using Strings = std::vector<std::string>;

// A transfer that stays under way: the download window waits for it.
struct Pending final : platform::Fetcher {
    void get(platform::FetchRequest, Done) override {}
};

struct UpdateWindows : ::testing::Test {
    Pending fetcher;
    fake::Backend backend;
    fake::Clock clock;
    Strings opened;
    forms::App app{backend, "TOLM"};

    void SetUp() override {
        tolm::services().clock = &clock;
        tolm::services().fetcher = &fetcher;
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
};

TEST_F(UpdateWindows, PromptAppendsTheVersionsOncePerLoadAcrossNoAndASecondOpening) {
    FormExit& f = open<FormExit>();
    EXPECT_EQ(backend.windows[&f].styling, (Strings{"front", "style", "layered", "topmost"}));
    EXPECT_EQ(backend.windows[&f].colorKey, 255u);
    fake::Pointer(f).click(200, 120);  // 否
    EXPECT_FALSE(f.visible());
    EXPECT_TRUE(app.form<tolm::FormTolm>().visible());
    int creations = backend.creations;
    EXPECT_EQ(&open<FormExit>(), &f);
    EXPECT_EQ(backend.creations, creations);
    EXPECT_EQ(f("Label2").caption(), "当前版本为:1.0.34");
    EXPECT_EQ(f("Label1").caption(), "最新版本为:1.0.35");
}

TEST_F(UpdateWindows, YesCentresTheNoticeAndTheHiddenButtonsStillTurnIdleAsTheWindowIsDragged) {
    FormExit& f = open<FormExit>();
    fake::Pointer p(f);
    p.down(200, 120, forms::MiddleButton);
    p.move(205, 118);  // held over its own button: stays pressed
    EXPECT_EQ(f("PicNo").backColor(), forms::kFacePressed);
    p.up(205, 118, forms::MiddleButton);
    p.click(90, 120);  // 是
    EXPECT_FALSE(f("PicYes").visible() || f("PicNo").visible());
    forms::Control& notice = f("Label4");
    EXPECT_EQ(notice.caption(), FormExit::kDownloadNotice);
    EXPECT_EQ(notice.left() * 2 + notice.width(), 4560);
    ASSERT_TRUE(app.isLoaded<tolm::DownLoad>());
    EXPECT_FALSE(app.form<tolm::DownLoad>().visible());
    backend.windows[&f].rect.left = 400;
    p.down(20, 150, forms::RightButton);
    p.move(30, 150);
    EXPECT_EQ(f("PicYes").backColor(), forms::kFaceIdle);
    EXPECT_EQ(f("PicNo").backColor(), forms::kFaceIdle);
    EXPECT_EQ(backend.windows[&f].rect.left, 410);
}

TEST(CentredLeft, HalvesInSinglePrecisionLandOnTheNearestTwip) {
    const forms::Twips cases[][3] = {{4560, 2970, 795}, {4560, 2985, 788}, {4561, 2970, 796}, {4560, 6000, -720}};
    for (auto& c : cases) EXPECT_EQ(tolm::centredLeft(c[0], c[1]), c[2]) << c[0] << " " << c[1];
}

TEST_F(UpdateWindows, AboutClosesUnlessItIsShownAndHasTheForeground) {
    enum Foreground { Own, Another, Nobody };
    int other = 0;
    struct Case {
        bool show;
        Foreground foreground;
        bool stays;
    } cases[] = {{true, Own, true}, {true, Another, false}, {true, Nobody, false}, {false, Own, false}};
    for (const Case& c : cases) {
        FormAbout& f = app.form<FormAbout>();
        if (c.show) f.show();
        forms::Control& timer = f("Timer1");
        backend.foreground = c.foreground == Own ? f.handle() : c.foreground == Another ? &other : nullptr;
        app.enter();
        f.timerTick(timer);
        app.leave();
        EXPECT_EQ(app.isLoaded<FormAbout>(), c.stays);
        EXPECT_EQ(backend.timers.count(&timer), c.stays ? 1u : 0u) << "the poll lives as long as the window";
        app.unload<FormAbout>();
    }
}

TEST_F(UpdateWindows, TheContactLinkOpensTheChatOncePerOpening) {
    FormAbout& f = open<FormAbout>();
    EXPECT_EQ(f("LabelTitle").caption(), "关于TOLM    V1.0.34");
    fake::Pointer(f).click(130, 110);
    fake::Pointer(f).click(130, 110);
    EXPECT_EQ(opened, Strings{TOLM_MESSENGER "/msgrd?V=1&Uin=100860017"});
    app.unload<FormAbout>();
    fake::Pointer(open<FormAbout>()).click(130, 110);
    EXPECT_EQ(opened.size(), 2u);
    EXPECT_EQ(tolm::chatAddress("https://m", " 1&x=2 "), "");  // nothing but a number goes out
}

TEST_F(UpdateWindows, TheUpdateLinkChecksByHandAndNeverStops) {
    struct Case {
        const char* latest;
        const char* message;  // nullptr: the download window shows instead
    } cases[] = {{"1.00.034", FormAbout::kCurrentMessage},
                 {"1.0.33", nullptr},
                 {"", FormAbout::kUnknownMessage},
                 {"1.0.34|x", FormAbout::kUnknownMessage}};
    for (const Case& c : cases) {
        tolm::LatestVersion = c.latest;
        backend.messages.clear();
        fake::Pointer(open<FormAbout>()).click(250, 110);
        EXPECT_EQ(backend.messages, c.message ? Strings{std::string("TOLM: ") + c.message} : Strings{}) << c.latest;
        EXPECT_EQ(app.isLoaded<tolm::DownLoad>(), !c.message) << c.latest;
        app.unload<tolm::DownLoad>();
        app.unload<FormAbout>();
    }
}

}  // namespace

namespace {

struct FocusMarks final : forms::Canvas {
    std::vector<forms::PixelRect> marks;
    void fill(const forms::PixelRect&, forms::Color) override {}
    void frame(const forms::PixelRect&, forms::Color) override {}
    void picture(std::string_view, const forms::PixelRect&, bool) override {}
    void text(std::string_view, const forms::PixelRect&, forms::Color, const forms::Font&, forms::Align, bool,
              bool) override {}
    void focusMark(const forms::PixelRect& r) override { marks.push_back(r); }
};

// The about window by the keyboard: a focus mark only once Tab has moved the focus, on the part
// that has it, and screen readers told; a link used once leaves the way round; Esc closes.
TEST_F(UpdateWindows, TheAboutWindowGoesByTheKeyboard) {
    FormAbout& a = open<FormAbout>();
    auto marks = [&](forms::Control* box) {
        FocusMarks m;
        a.paint(box, m, false);
        return m.marks;
    };
    EXPECT_EQ(a.keyFocus(), &a("PicEnter"));
    EXPECT_TRUE(marks(nullptr).empty() && marks(&a("PicEnter")).empty()) << "a mark before the keyboard was used";
    struct Step {
        int shift;
        const char* to;
        int item;  // its number to screen readers: after the window's six texts
    } steps[] = {
        {0, "LabelQQ", 7}, {0, "LabelUpDate", 8}, {0, "PicEnter", 9}, {1, "LabelUpDate", 8}, {1, "LabelQQ", 7}};
    for (const Step& s : steps) {
        backend.accessibleEvents.clear();
        EXPECT_TRUE(a.keyDown(forms::KeyTab, s.shift));
        EXPECT_EQ(a.keyFocus(), &a(s.to));
        EXPECT_TRUE(a.accessible()->items[static_cast<std::size_t>(s.item - 1)].focused) << s.to;
        EXPECT_EQ(backend.accessibleEvents, Strings{"focus " + std::to_string(s.item)}) << s.to;
        bool box = a(s.to).kind() == forms::Kind::PictureBox;
        auto m = marks(box ? &a(s.to) : nullptr);
        ASSERT_EQ(m.size(), 1u) << s.to;
        EXPECT_TRUE(box || m[0] == a(s.to).pixelRect()) << s.to;
    }
    a.keyDown(forms::KeySpace, 0);
    EXPECT_TRUE(opened.empty()) << "Space presses on its release";
    a.keyUp(forms::KeySpace, 0);  // the link to the chat, followed once
    EXPECT_EQ(opened.size(), 1u);
    a.keyDown(forms::KeyTab, 0);
    EXPECT_EQ(a.keyFocus(), &a("LabelUpDate")) << "a used link leaves the way round";
    EXPECT_TRUE(a.keyDown(forms::KeyEscape, 0));
    EXPECT_FALSE(app.isLoaded<FormAbout>());
}

// The update prompt: Enter on the focused button (否 after Tab, 是 back round), Esc for 否.
TEST_F(UpdateWindows, ThePromptGoesByTheKeyboard) {
    for (auto [keys, downloading] :
         {std::pair{Strings{"tab", "enter"}, false}, {Strings{"esc"}, false}, {Strings{"tab", "enter"}, true}}) {
        FormExit& f = open<FormExit>();
        for (const std::string& k : keys)
            EXPECT_TRUE(f.keyDown(k == "tab" ? forms::KeyTab : k == "esc" ? forms::KeyEscape : forms::KeyReturn, 0));
        EXPECT_EQ(f.visible(), downloading);
        EXPECT_EQ(f("Label4").caption() == FormExit::kDownloadNotice, downloading);
    }
}

}  // namespace
