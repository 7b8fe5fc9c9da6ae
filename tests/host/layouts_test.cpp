// The layout tables, checked without a window against the placements the windows rely on.
#include <gtest/gtest.h>

#include "jw/layout.h"
#include "platform/forms/form.h"
#include "platform/forms/scale.h"
#include "tolm/layouts/layouts.h"

namespace {

using forms::ControlDef;
using forms::FormDef;
using forms::PixelRect;

const ControlDef& find(const FormDef& f, std::string_view name, int index = -1) {
    for (const ControlDef& c : f.controls)
        if (c.name == name && c.index == index) return c;
    throw std::out_of_range(std::string(name));
}

PixelRect px(const ControlDef& c) {
    return {forms::pixelsFromTwips(c.left, 96), forms::pixelsFromTwips(c.top, 96), forms::pixelsFromTwips(c.width, 96),
            forms::pixelsFromTwips(c.height, 96)};
}

int order(const FormDef& f, std::string_view name, int index = -1) {
    return static_cast<int>(&find(f, name, index) - f.controls.data());
}

bool inside(const PixelRect& a, const PixelRect& b) {
    return a.left >= b.left && a.top >= b.top && a.left + a.width <= b.left + b.width &&
           a.top + a.height <= b.top + b.height;
}

bool overlap(const PixelRect& a, const PixelRect& b) {
    return a.left < b.left + b.width && b.left < a.left + a.width && a.top < b.top + b.height &&
           b.top < a.top + a.height;
}

TEST(Layouts, MainWindowPanelsSitWhereTheBackgroundPictureExpectsThem) {
    const FormDef& f = tolm::layouts::FormTolm;
    EXPECT_EQ(px(find(f, "Picture3")), (PixelRect{169, 80, 104, 41}));
    EXPECT_EQ(px(find(f, "Picture2")), (PixelRect{200, 187, 308, 85}));
    EXPECT_EQ(px(find(f, "Picture1")), (PixelRect{60, 337, 447, 85}));
    EXPECT_FALSE(overlap(px(find(f, "Picture1")), px(find(f, "Picture2"))));
    EXPECT_FALSE(overlap(px(find(f, "Picture2")), px(find(f, "Picture3"))));
    // The browser's holder and the keyboard button are hidden behind the motto panel.
    for (const char* hidden : {"Picweb1", "ComEnd"}) {
        EXPECT_TRUE(inside(px(find(f, hidden)), px(find(f, "Picture1")))) << hidden;
        EXPECT_GT(order(f, hidden), order(f, "Picture1")) << hidden;
    }
    EXPECT_EQ(find(f, "ComEnd").keyRole, forms::KeyRole::Cancel);
}

TEST(Layouts, DigitArraysOfTheMainWindow) {
    const FormDef& f = tolm::layouts::FormTolm;
    const int dayLefts[] = {0, 79, 157, 232};
    for (int i = 1; i <= 4; ++i) {
        const ControlDef& d = find(f, "DayNum", i);
        EXPECT_FALSE(d.visible);
        EXPECT_FALSE(d.stretch);
        EXPECT_EQ(px(d), (PixelRect{dayLefts[i - 1], 0, 79, 85}));
        EXPECT_TRUE(find(f, "YearNum", i).stretch);
        EXPECT_TRUE(find(f, "YearNum", i).visible);
    }
    for (int k = 0; k < 10; ++k) {
        const ControlDef& p = find(f, "PicNum", k);
        EXPECT_FALSE(p.visible);
        EXPECT_EQ(std::string(p.picture), tolm::layouts::kDigitPictures[k]);
    }
    // The year shows 2 0 2 4 before any code runs; neighbours overlap as the table stacks them.
    std::string year;
    for (int i = 1; i <= 4; ++i) year += std::string(find(f, "YearNum", i).picture).back();
    EXPECT_EQ(year, "2024");
    EXPECT_LT(order(f, "YearNum", 2), order(f, "YearNum", 1));
    EXPECT_LT(order(f, "YearNum", 2), order(f, "YearNum", 3));
    EXPECT_LT(order(f, "YearNum", 4), order(f, "YearNum", 3));
}

TEST(Layouts, MenuPanelEntries) {
    const FormDef& f = tolm::layouts::FormMenu;
    EXPECT_EQ(f.width, 1860);
    EXPECT_EQ(f.height, 1575);
    struct {
        const char* name;
        int top;
    } entries[] = {{"ComShow", 8}, {"ComHide", 32}, {"ComAbout", 56}, {"ComUnload", 80}};
    for (auto& e : entries) {
        EXPECT_EQ(px(find(f, e.name)).top, e.top) << e.name;
        EXPECT_LT(order(f, e.name), order(f, "ShapeBack")) << "the highlight bar lies behind " << e.name;
    }
    EXPECT_EQ(px(find(f, "ShapeBack")).width, 129);  // wider than the panel, cut at its edge
}

TEST(Layouts, PostInstallWindow) {
    const FormDef& f = jw::layouts::Form1;
    EXPECT_EQ(px(find(f, "PicYes")), (PixelRect{352, 304, 89, 25}));
    EXPECT_EQ(px(find(f, "PicNo")), (PixelRect{472, 304, 57, 25}));
    EXPECT_EQ(px(find(f, "LabelYes")).top, 7);
    EXPECT_EQ(px(find(f, "LabelNo")).top, 8);
    EXPECT_EQ(std::string(find(f, "Text1").caption), "echo \"TOLM\"=\"");
    EXPECT_EQ(std::string(find(f, "Text2").caption), "\">>tolm.reg ");
    EXPECT_FALSE(find(f, "Text1").visible);
    EXPECT_EQ(px(find(f, "ImageBack")), (PixelRect{0, 0, 545, 345}));
    EXPECT_EQ(order(f, "ImageBack"), static_cast<int>(f.controls.size()) - 1);
    // Focus order: Check1, Check3, PicNo, PicYes.
    EXPECT_LT(find(f, "Check1").tabIndex, find(f, "Check3").tabIndex);
    EXPECT_LT(find(f, "Check3").tabIndex, find(f, "PicNo").tabIndex);
    EXPECT_LT(find(f, "PicNo").tabIndex, find(f, "PicYes").tabIndex);
    // Auto-sized captions take the widths the window was drawn with, credits included.
    struct {
        const char* label;
        int pixels;
    } widths[] = {{"Label1", 84}, {"Label2", 54}, {"Label3", 138}, {"Label4", 306},
                  {"Label5", 144}, {"Label6", 84}, {"Label7", 132}, {"Label8", 120}};
    for (auto& w : widths) {
        EXPECT_TRUE(find(f, w.label).autoSize) << w.label;
        EXPECT_EQ(forms::captionWidthPixels(find(f, w.label).caption), w.pixels) << w.label;
    }
}

TEST(Layouts, AutoSizedCaptionsOfTheShapedWindowsHaveTheirDrawnSizes) {
    for (const FormDef* f : {&tolm::layouts::FormAbout, &tolm::layouts::FormExit})
        for (const ControlDef& c : f->controls) {
            if (c.kind == forms::Kind::Label && c.autoSize) {
                EXPECT_EQ(forms::captionWidthPixels(c.caption) * 15, c.width) << f->name << "." << c.name;
            }
        }
}

}  // namespace
