#include "jw/layout.h"

namespace jw::layouts {

using forms::Align;
using forms::Color;
using forms::ControlDef;
using forms::Kind;
namespace sys = forms::sys;

namespace {

constexpr Color kFace = Color::rgb(224, 224, 224);
constexpr Color kWhite = Color::rgb(255, 255, 255);

constexpr ControlDef credit(const char* name, forms::Twips left, forms::Twips top, const char* caption) {
    return {.name = name, .kind = Kind::Label, .left = left, .top = top, .caption = caption, .autoSize = true,
            .transparent = true};
}

const ControlDef kForm1[] = {
    {.name = "PicYes", .kind = Kind::PictureBox, .left = 5280, .top = 4560, .width = 1335, .height = 375,
     .fore = sys::WindowText, .back = kFace, .edge = forms::Edge::Flat, .tabIndex = 3,
     .keyRole = forms::KeyRole::Default},
    {.name = "LabelYes", .kind = Kind::Label, .container = "PicYes", .top = 105, .width = 1335, .height = 375,
     .caption = "完成", .transparent = true, .align = Align::Center},
    {.name = "PicNo", .kind = Kind::PictureBox, .left = 7080, .top = 4560, .width = 855, .height = 375,
     .fore = sys::WindowText, .back = kFace, .edge = forms::Edge::Flat, .tabIndex = 2,
     .keyRole = forms::KeyRole::Cancel},
    {.name = "LabelNo", .kind = Kind::Label, .container = "PicNo", .top = 120, .width = 855, .height = 375,
     .caption = "关闭", .transparent = true, .align = Align::Center},
    {.name = "Text2", .kind = Kind::TextBox, .left = 1680, .top = 3360, .width = 1455, .height = 495,
     .caption = "\">>tolm.reg ", .fore = sys::WindowText, .back = sys::WindowBackground, .visible = false},
    {.name = "Text1", .kind = Kind::TextBox, .left = 360, .top = 3360, .width = 1335, .height = 495,
     .caption = "echo \"TOLM\"=\"", .fore = sys::WindowText, .back = sys::WindowBackground, .visible = false},
    {.name = "Check3", .kind = Kind::CheckBox, .left = 2760, .top = 4680, .width = 1815, .height = 255,
     .caption = "添加桌面快捷方式", .fore = sys::WindowText, .back = kWhite, .value = 1, .tabIndex = 1},
    {.name = "Check1", .kind = Kind::CheckBox, .left = 960, .top = 4680, .width = 1920, .height = 255,
     .caption = "开机启动", .fore = sys::WindowText, .back = kWhite, .value = 1, .tabIndex = 0},
    credit("Label8", 5280, 1200, "小林同学 QQ:20481537"),
    credit("Label7", 1800, 3000, "问题咨询:    100860017"),
    credit("Label6", 5280, 2280, "等人提供的帮助"),
    credit("Label5", 2880, 1920, "作者 张明 QQ:30125468879"),
    credit("Label4", 2880, 1560, "晨风 QQ:417523096 邮箱:chenfeng.tolm027@example.com"),
    credit("Label3", 2880, 1200, "王磊 电话:010-627512345"),
    credit("Label2", 1680, 1200, "特别鸣谢:"),
    credit("Label1", 600, 120, "TOLM  安装完成"),
    {.name = "ImageBack", .kind = Kind::Image, .width = 8175, .height = 5175, .picture = "BACKGIF",
     .stretch = true},
};

}  // namespace

const forms::FormDef Form1{.name = "Form1", .caption = "成功安装", .startUp = forms::StartUp::CenterScreen,
                           .width = 8265, .height = 5295, .back = Color::rgb(255, 0, 0), .controls = kForm1};

}  // namespace jw::layouts
