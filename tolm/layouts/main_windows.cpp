#include "tolm/layouts/layouts.h"

namespace tolm::layouts {

using forms::Align;
using forms::Color;
using forms::ControlDef;
using forms::Edge;
using forms::Kind;
namespace sys = forms::sys;

namespace {

constexpr Color kGrey = Color::rgb(128, 128, 128);
constexpr Color kWhite = Color::rgb(255, 255, 255);

constexpr ControlDef yearDigit(int index, forms::Twips left, forms::Twips width, const char* picture) {
    return {.name = "YearNum", .index = index, .kind = Kind::Image, .container = "Picture3", .left = left,
            .top = 0, .width = width, .height = 615, .picture = picture, .stretch = true};
}

constexpr ControlDef dayDigit(int index, forms::Twips left, const char* picture) {
    return {.name = "DayNum", .index = index, .kind = Kind::Image, .container = "Picture2", .left = left,
            .top = 0, .width = 1185, .height = 1275, .picture = picture, .visible = false};
}

// Hidden sources of the digit pictures; only the first of the row was styled in the designer.
constexpr ControlDef digitSource(int digit, forms::Twips left, forms::Twips width, forms::Twips height) {
    return {.name = "PicNum", .index = digit, .kind = Kind::PictureBox, .left = left, .top = 6600,
            .width = width, .height = height, .picture = kDigitPictures[digit], .visible = false};
}

const ControlDef kFormTolm[] = {
    {.name = "Picture3", .kind = Kind::PictureBox, .left = 2535, .top = 1200, .width = 1560, .height = 615,
     .fore = sys::WindowText, .back = sys::WindowBackground, .edge = Edge::Flat},
    yearDigit(2, 360, 375, "DIGIT0"),
    yearDigit(4, 1080, 495, "DIGIT4"),
    yearDigit(1, 0, 375, "DIGIT2"),
    yearDigit(3, 600, 615, "DIGIT2"),
    {.name = "Picture2", .kind = Kind::PictureBox, .left = 3000, .top = 2800, .width = 4620, .height = 1280,
     .fore = sys::WindowText, .back = sys::WindowBackground, .picture = "DAYPANEL", .edge = Edge::Flat},
    dayDigit(4, 3480, "DIGIT2"),
    dayDigit(1, 0, "DIGIT0"),
    dayDigit(2, 1190, "DIGIT1"),
    dayDigit(3, 2350, "DIGIT2"),
    {.name = "PicNum", .index = 9, .kind = Kind::PictureBox, .left = 9960, .top = 6600, .width = 1185,
     .height = 1275, .fore = sys::WindowText, .back = sys::WindowBackground, .picture = "DIGIT9", .visible = false,
     .autoSize = true, .edge = Edge::Flat},
    digitSource(8, 8880, 1095, 1335),
    digitSource(7, 7800, 1095, 1335),
    digitSource(6, 6720, 1095, 1335),
    digitSource(5, 5640, 1095, 1335),
    digitSource(4, 4560, 1095, 1335),
    digitSource(3, 3480, 1095, 1335),
    digitSource(2, 2400, 1095, 1335),
    digitSource(1, 1320, 1095, 1335),
    digitSource(0, 240, 1095, 1335),
    {.name = "Timer1", .kind = Kind::Timer, .interval = 1},
    {.name = "Picture1", .kind = Kind::PictureBox, .left = 900, .top = 5050, .width = 6705, .height = 1275,
     .fore = sys::WindowText, .back = Color::rgb(0, 0, 0), .picture = "MOTTO", .autoSize = true,
     .edge = Edge::Flat},
    {.name = "LabelMotto", .kind = Kind::Label, .container = "Picture1", .left = 120, .top = 240, .width = 6375,
     .height = 1245, .caption = " 加油!   奋斗!   拼搏!", .fore = kWhite,
     .font = {.face = "微软雅黑", .points = 18, .weight = 400, .charset = 134}, .transparent = true},
    {.name = "Picweb1", .kind = Kind::PictureBox, .left = 2160, .top = 5160, .width = 1575, .height = 1095},
    {.name = "Web1", .kind = Kind::Browser, .container = "Picweb1", .width = 5415, .height = 975},
    // Behind the motto panel: reachable from the keyboard only, by Esc.
    {.name = "ComEnd", .kind = Kind::CommandButton, .left = 3720, .top = 5640, .width = 615, .height = 495,
     .caption = "Command1", .keyRole = forms::KeyRole::Cancel},
};

const ControlDef kFormMenu[] = {
    {.name = "Timer1", .kind = Kind::Timer, .interval = 10},
    {.name = "ComAbout", .kind = Kind::Label, .left = 10, .top = 840, .width = 1815, .height = 255,
     .caption = "关于", .transparent = true, .align = Align::Center},
    {.name = "Shape1", .kind = Kind::Shape, .width = 1860, .height = 1575, .fore = sys::WindowText,
     .shape = forms::ShapeStyle::Outline},
    {.name = "ComUnload", .kind = Kind::Label, .top = 1200, .width = 1860, .height = 375, .caption = "退出",
     .fore = sys::WindowText, .transparent = true, .align = Align::Center},
    {.name = "ComHide", .kind = Kind::Label, .top = 480, .width = 1860, .height = 255, .caption = "隐藏状态窗体",
     .fore = sys::WindowText, .transparent = true, .align = Align::Center},
    {.name = "ComShow", .kind = Kind::Label, .top = 120, .width = 1860, .height = 255, .caption = "显示状态窗体",
     .fore = sys::WindowText, .transparent = true, .align = Align::Center},
    {.name = "ShapeBack", .kind = Kind::Shape, .width = 1935, .height = 375, .back = Color::rgb(0, 255, 0),
     .shape = forms::ShapeStyle::Filled},
};

}  // namespace

const forms::FormDef FormTolm{.name = "FormTolm", .caption = "Tolm", .icon = "#1",
                              .startUp = forms::StartUp::CenterScreen, .width = 10830, .height = 7320,
                              .back = kGrey, .controls = kFormTolm};

const forms::FormDef FormMenu{.name = "FormMenu", .caption = "FormMenu", .startUp = forms::StartUp::Manual,
                              .width = 1860, .height = 1575, .back = kWhite, .controls = kFormMenu};

}  // namespace tolm::layouts
