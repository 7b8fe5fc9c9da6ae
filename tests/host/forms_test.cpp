#include <gtest/gtest.h>

#include <stdexcept>

#include "fake_backend.h"
#include "platform/forms/flat_button.h"
#include "platform/forms/form.h"
#include "platform/forms/scale.h"

namespace {

using forms::Color;
using forms::ControlDef;
using forms::Event;
using forms::Kind;

// Front to back. Two labels overlap at (20..40, 10..22); a shape covers everything but takes no
// mouse; a picture box holds a label of its own.
const ControlDef kControls[] = {
    {.name = "Box", .kind = Kind::PictureBox, .left = 1500, .top = 1500, .width = 1500, .height = 750,
     .edge = forms::Edge::Flat},
    {.name = "Inner", .kind = Kind::Label, .container = "Box", .left = 150, .top = 150, .width = 300, .height = 300,
     .caption = "in"},
    {.name = "Front", .kind = Kind::Label, .left = 300, .top = 150, .width = 300, .height = 180, .caption = "F"},
    {.name = "Back", .kind = Kind::Image, .left = 0, .top = 0, .width = 900, .height = 900, .picture = "P",
     .stretch = true},
    {.name = "Hidden", .kind = Kind::Label, .left = 0, .top = 0, .width = 3000, .height = 3000, .visible = false},
    {.name = "Auto", .kind = Kind::Label, .left = 3000, .top = 0, .caption = "特别鸣谢:", .autoSize = true},
    {.name = "Cover", .kind = Kind::Shape, .width = 6000, .height = 6000, .shape = forms::ShapeStyle::Filled},
    {.name = "Tick", .kind = Kind::Timer, .interval = 10},
};
const forms::FormDef kDef{.name = "Test", .caption = "T", .width = 6000, .height = 4500,
                          .back = Color::rgb(1, 2, 3), .controls = kControls};

struct Seen {
    std::string control;
    Event ev;
    forms::Mouse m;
};

class TestForm : public forms::Form {
public:
    explicit TestForm(forms::App& app) : Form(app, kDef) {
        for (const char* n : {"", "Box", "Inner", "Front", "Back"})
            for (Event e : {Event::Click, Event::MouseDown, Event::MouseMove, Event::MouseUp})
                on(n, e, [this, n, e](const forms::Mouse& m) { seen.push_back({n, e, m}); });
    }
    std::vector<Seen> seen;
    int loads = 0;

protected:
    void Form_Load() override { ++loads; }
};

struct Forms : ::testing::Test {
    fake::Backend backend;
    forms::App app{backend, "TOLM"};
    TestForm& form = app.form<TestForm>();
    fake::Pointer pointer{form};
};

TEST(FormsMetrics, CaptionWidthsUseTheFixedMetricOfTheDefaultFont) {
    struct {
        const char* caption;
        int pixels;
    } cases[] = {
        {"", 0},
        {"特别鸣谢:", 54},        // 4 wide + ASCII colon
        {"等人提供的帮助", 84},
        {"TOLM  安装完成", 84},   // 6 narrow + 4 wide
        {" 加油!   奋斗!   拼搏!", 10 * 6 + 6 * 12},
        {"ａ", 12},               // full-width form
        {"\xff", 6},             // a malformed byte counts once, narrow
    };
    for (auto& c : cases) EXPECT_EQ(forms::captionWidthPixels(c.caption), c.pixels) << c.caption;
}

TEST(FormsMetrics, TwipsLandOnTheNearestPixel) {
    struct {
        double twips;
        int pixels;
    } cases[] = {{2800, 187}, {1190, 79}, {2350, 157}, {1280, 85}, {7, 0}, {8, 1}, {-22, -1}};
    for (auto& c : cases) EXPECT_EQ(forms::pixelsFromTwips(c.twips, 96), c.pixels) << c.twips;
}

TEST(FormsMetrics, GrabYRoundsHalvesToEvenInto16Bits) {
    struct {
        float in;
        int out;
    } cases[] = {{0.5f, 0}, {1.5f, 2}, {2.5f, 2}, {-0.5f, 0}, {-1.5f, -2}, {7.49f, 7}, {32767.f, 32767},
                 {-32768.f, -32768}};
    for (auto& c : cases) EXPECT_EQ(forms::roundToInt16(c.in), c.out) << c.in;
    EXPECT_THROW(forms::roundToInt16(32767.5f), std::overflow_error);
    EXPECT_THROW(forms::roundToInt16(-40000.f), std::overflow_error);
}

TEST_F(Forms, LoadsOnceOnFirstUseAndStartsEnabledTimers) {
    EXPECT_EQ(form.loads, 1);
    EXPECT_EQ(&app.form<TestForm>(), &form);
    EXPECT_EQ(backend.creations, 1);
    EXPECT_TRUE(backend.timers[&form("Tick")]);
    form("Tick").setEnabled(false);
    EXPECT_FALSE(backend.timers[&form("Tick")]);
    form("Tick").setEnabled(true);
    form("Tick").setInterval(0);
    EXPECT_FALSE(backend.timers[&form("Tick")]);
}

TEST_F(Forms, UnloadStartsTheNextUseFromTheLayout) {
    form("Front").setCaption("changed");
    form.show();
    app.unload<TestForm>();
    EXPECT_FALSE(app.isLoaded<TestForm>());
    EXPECT_TRUE(backend.windows.empty());
    TestForm& again = app.form<TestForm>();
    EXPECT_EQ(again("Front").caption(), "F");
    EXPECT_EQ(again.loads, 1);
    EXPECT_FALSE(again.visible());
    EXPECT_EQ(backend.creations, 2);
}

TEST_F(Forms, UnloadFromItsOwnHandlerIsSafe) {
    form.on("Front", Event::Click, [this](const forms::Mouse&) {
        app.unload<TestForm>();
        form.seen.clear();  // still alive until the event is over
    });
    pointer.click(25, 15);
    EXPECT_FALSE(app.isLoaded<TestForm>());
}

// Unloads itself from its own load, or from its timer's tick.
class Vanishing : public forms::Form {
public:
    explicit Vanishing(forms::App& app) : Form(app, kDef) {
        on("Tick", Event::Timer, [this](const forms::Mouse&) { this->app().unload(*this); });
    }
    static inline bool inLoad = true;

protected:
    void Form_Load() override {
        if (inLoad) app().unload(*this);
    }
};

TEST_F(Forms, AWindowThatUnloadsItselfInItsLoadOrTimerLeavesTheRuntimeSound) {
    // Outside any event and inside one: the instance handed back is closed, usable until the
    // event ends.
    app.form<Vanishing>().show();
    form.on("Front", Event::Click, [this](const forms::Mouse&) { app.form<Vanishing>()("Front").setCaption("x"); });
    pointer.click(25, 15);
    EXPECT_FALSE(app.isLoaded<Vanishing>());
    Vanishing::inLoad = false;
    Vanishing& ticking = app.form<Vanishing>();
    ticking.timerTick(ticking("Tick"));
    Vanishing::inLoad = true;
    EXPECT_FALSE(app.isLoaded<Vanishing>());
    EXPECT_EQ(backend.windows.size(), 1u);  // the test's own window, and its timer only
    EXPECT_EQ(backend.timers.size(), 1u);
}

TEST_F(Forms, ControlsByNameAndIndex) {
    EXPECT_EQ(form("Front").caption(), "F");
    EXPECT_THROW(form("Missing"), std::out_of_range);
    EXPECT_THROW(form("Front", 3), std::out_of_range);
}

TEST_F(Forms, HitTestingGoesFrontToBackAndSkipsWhatTakesNoMouse) {
    struct {
        int x, y;
        const char* control;
    } cases[] = {
        {25, 15, "Front"},  // over both labels: the front one wins
        {5, 5, "Back"},     // the image alone
        {70, 70, ""},       // only the shape, which takes no mouse, and the hidden label
        {200, 5, "Auto"},  // the auto-sized label, 54 by 12 pixels from 200
        {253, 11, "Auto"},
        {254, 5, ""},
        {200, 12, ""},
    };
    for (auto& c : cases) {
        forms::Control* hit = form.hitTest(nullptr, c.x, c.y);
        EXPECT_EQ(hit ? hit->name() : std::string(), std::string(c.control)) << c.x << "," << c.y;
    }
    form("Front").setEnabled(false);
    EXPECT_EQ(form.hitTest(nullptr, 25, 15)->name(), std::string("Back"));
}

TEST_F(Forms, EventsOverAChildPanelBelongToThatPanel) {
    pointer.down(105, 105);  // inside Box at (5,5): the box itself
    pointer.up(105, 105);
    pointer.click(115, 115);  // Box's own label at (10,10) of the box
    ASSERT_GE(form.seen.size(), 5u);
    EXPECT_EQ(form.seen[0].control, "Box");
    EXPECT_FLOAT_EQ(form.seen[0].m.x, 75);
    EXPECT_EQ(form.seen[2].control, "Box");  // click
    EXPECT_EQ(form.seen[2].ev, Event::Click);
    EXPECT_EQ(form.seen[3].control, "Inner");
    EXPECT_FLOAT_EQ(form.seen[3].m.x, 75);  // relative to the label
    EXPECT_FLOAT_EQ(form.seen[3].m.y, 75);
}

TEST_F(Forms, APressCapturesThePointerUntilTheRelease) {
    pointer.down(25, 15, forms::RightButton);
    EXPECT_TRUE(backend.captured);
    pointer.move(300, 200);  // far outside the label
    pointer.up(300, 200, forms::RightButton);
    EXPECT_FALSE(backend.captured);
    ASSERT_EQ(form.seen.size(), 3u);
    for (auto& s : form.seen) EXPECT_EQ(s.control, "Front");
    EXPECT_EQ(form.seen[0].m.button, forms::RightButton);
    EXPECT_FLOAT_EQ(form.seen[1].m.x, (300 - 20) * 15);  // relative to the label, in twips
    EXPECT_FLOAT_EQ(form.seen[1].m.y, (200 - 10) * 15);
}

TEST_F(Forms, AClickNeedsTheLeftButtonPressedAndReleasedOnTheSameControl) {
    auto clicks = [&] {
        int n = 0;
        for (auto& s : form.seen) n += s.ev == Event::Click;
        form.seen.clear();
        return n;
    };
    pointer.click(25, 15);
    EXPECT_EQ(clicks(), 1);
    pointer.down(25, 15);
    pointer.up(5, 5);  // released over another control
    EXPECT_EQ(clicks(), 0);
    pointer.down(25, 15, forms::RightButton);
    pointer.up(25, 15, forms::RightButton);
    EXPECT_EQ(clicks(), 0);
    // A second button held: the capture and the click wait for the last release.
    pointer.down(25, 15);
    pointer.down(25, 15, forms::RightButton);
    pointer.up(25, 15);
    EXPECT_TRUE(backend.captured);
    pointer.up(25, 15, forms::RightButton);
    EXPECT_FALSE(backend.captured);
}

TEST_F(Forms, AutoSizedLabelsGrowToTheRightWithTheirCaption) {
    forms::Control& a = form("Auto");
    EXPECT_EQ(a.width(), 54 * 15);
    EXPECT_EQ(a.height(), 12 * 15);
    a.setCaption("特别鸣谢: 某某某");
    EXPECT_EQ(a.left(), 3000);
    EXPECT_EQ(a.width(), (54 + 6 + 36) * 15);
    form("Front").setCaption("a much longer caption");  // not auto-sized: keeps its size
    EXPECT_EQ(form("Front").width(), 300);
}

TEST_F(Forms, AFaultInAHandlerIsShownAndEndsTheProgram) {
    form.on("Back", Event::MouseDown, [](const forms::Mouse&) { throw std::runtime_error("boom"); });
    EXPECT_THROW(pointer.down(5, 5), forms::ProgramEnded);
    ASSERT_EQ(backend.messages.size(), 1u);
    EXPECT_EQ(backend.messages[0], "TOLM: boom");
    EXPECT_EQ(backend.exitCode, forms::kFaultExitCode) << "a fault is not reported as success";
}

struct Recorder final : forms::Canvas {
    std::vector<std::string> ops;
    void fill(const forms::PixelRect& r, Color) override { ops.push_back("fill " + std::to_string(r.width)); }
    void frame(const forms::PixelRect&, Color) override { ops.push_back("frame"); }
    void picture(std::string_view n, const forms::PixelRect& r, bool s) override {
        ops.push_back("picture " + std::string(n) + " " + std::to_string(r.width) + (s ? " stretched" : ""));
    }
    void text(std::string_view t, const forms::PixelRect&, Color, const forms::Font&, forms::Align, bool wrap,
              bool disabled) override {
        ops.push_back("text " + std::string(t) + (wrap ? " wrap" : "") + (disabled ? " disabled" : ""));
    }
    void focusMark(const forms::PixelRect& r) override {
        ops.push_back("focus " + std::to_string(r.left) + " " + std::to_string(r.width));
    }
};

TEST_F(Forms, PaintsBackToFrontAndOnlyWhatIsVisible) {
    Recorder r;
    form("Front").setEnabled(false);
    form.paint(nullptr, r, false);
    std::vector<std::string> want = {"fill 400",  // the window's background
                                     "fill 400",  // the filled shape, at the back
                                     "fill 54",   "text 特别鸣谢:",  // opaque auto-sized label
                                     "picture P 60 stretched", "fill 20", "text F wrap disabled"};
    EXPECT_EQ(r.ops, want);
}

// The shared flat-button and drag pattern.
const ControlDef kButtons[] = {
    {.name = "PicYes", .kind = Kind::PictureBox, .left = 300, .top = 300, .width = 600, .height = 300,
     .back = forms::kFaceIdle, .edge = forms::Edge::Flat},
    {.name = "LabelYes", .kind = Kind::Label, .container = "PicYes", .width = 600, .height = 300,
     .caption = "完成", .transparent = true, .align = forms::Align::Center},
    {.name = "PicNo", .kind = Kind::PictureBox, .left = 1200, .top = 300, .width = 600, .height = 300,
     .back = forms::kFaceIdle, .edge = forms::Edge::Flat},
    {.name = "LabelNo", .kind = Kind::Label, .container = "PicNo", .width = 600, .height = 300, .caption = "关闭",
     .transparent = true, .align = forms::Align::Center},
    {.name = "ImageBack", .kind = Kind::Image, .width = 3000, .height = 1500, .picture = "BACKGIF", .stretch = true},
};
const forms::FormDef kButtonsDef{.name = "B", .width = 3000, .height = 1500, .controls = kButtons};

class ButtonForm : public forms::Form {
public:
    explicit ButtonForm(forms::App& app)
        : Form(app, kButtonsDef), pattern(*this, {{"PicYes", "LabelYes", [this] { ++yes; }},
                                                  {"PicNo", "LabelNo", [this] { ++no; }}}) {}
    forms::FlatButtons pattern;
    int yes = 0, no = 0;
};

struct FlatButtons : ::testing::Test {
    fake::Backend backend;
    forms::App app{backend, "jw"};
    ButtonForm& form = app.form<ButtonForm>();
    fake::Pointer pointer{form};
    Color yesFace() { return form("PicYes").backColor(); }
    Color noFace() { return form("PicNo").backColor(); }
};

TEST_F(FlatButtons, FacesFollowHoverPressAndRelease) {
    pointer.move(30, 25);  // over the label of the Done button
    EXPECT_EQ(yesFace(), forms::kFaceHover);
    pointer.down(30, 25);
    EXPECT_EQ(yesFace(), forms::kFacePressed);
    EXPECT_TRUE(form.pattern.state().pressed());
    pointer.move(35, 25);  // held: keeps the pressed face
    EXPECT_EQ(yesFace(), forms::kFacePressed);
    pointer.up(35, 25);
    EXPECT_EQ(yesFace(), forms::kFaceHover);
    EXPECT_FALSE(form.pattern.state().pressed());
    EXPECT_EQ(form.yes, 1);
    EXPECT_EQ(form.no, 0);
    pointer.move(5, 90);  // the background turns every face idle
    EXPECT_EQ(yesFace(), forms::kFaceIdle);
    EXPECT_EQ(noFace(), forms::kFaceIdle);
}

TEST_F(FlatButtons, AClickOnTheFaceOutsideTheLabelRunsTheLabelsAction) {
    form("LabelNo").move(0, 150, 600, 150);  // the lower half of the face is bare
    pointer.click(90, 22);
    EXPECT_EQ(form.no, 1);
}

TEST_F(FlatButtons, DraggingTheBackgroundMovesTheWindowByThePointersOffset) {
    backend.windows[&form].rect = {100, 200, 200, 100};
    pointer.down(10, 20);  // the background image
    EXPECT_FLOAT_EQ(form.pattern.state().GrabX, 150);
    EXPECT_EQ(form.pattern.state().GrabY, 300);
    // The system moves the window under the captured pointer; each move reports the pointer
    // relative to the window where it now stands.
    pointer.move(15, 23);
    EXPECT_EQ(backend.windows[&form].rect.left, 105);
    EXPECT_EQ(backend.windows[&form].rect.top, 203);
    pointer.move(10, 20);  // the window has caught up with the pointer
    EXPECT_EQ(backend.windows[&form].rect.left, 105);
    pointer.up(10, 20);
    pointer.move(40, 40);
    EXPECT_EQ(backend.windows[&form].rect.left, 105);
}

}  // namespace
