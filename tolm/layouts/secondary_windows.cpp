#include "tolm/layouts/layouts.h"

namespace tolm::layouts {

using forms::Align;
using forms::Color;
using forms::ControlDef;
using forms::Kind;
namespace sys = forms::sys;

namespace {

constexpr Color kRed = Color::rgb(255, 0, 0);
constexpr Color kFace = Color::rgb(224, 224, 224);

// Caption text on the shaped windows: only the text is drawn, over the background picture.
constexpr ControlDef text(const char* name, forms::Twips left, forms::Twips top, forms::Twips width,
                          forms::Twips height, const char* caption, bool autoSize = true) {
    return {.name = name, .kind = Kind::Label, .left = left, .top = top, .width = width, .height = height,
            .caption = caption, .autoSize = autoSize, .transparent = true};
}

// The face of a flat button and its caption label.
// The keyboard reaches it at its place in the tab order; Enter or Esc press it by its role.
constexpr ControlDef face(const char* name, forms::Twips left, forms::Twips top, forms::Twips width,
                          forms::Twips height, int tabIndex, forms::KeyRole keyRole) {
    return {.name = name, .kind = Kind::PictureBox, .left = left, .top = top, .width = width, .height = height,
            .fore = sys::WindowText, .back = kFace, .edge = forms::Edge::Flat, .tabIndex = tabIndex,
            .keyRole = keyRole};
}

constexpr ControlDef faceCaption(const char* name, const char* face, forms::Twips top, forms::Twips width,
                                 forms::Twips height, const char* caption) {
    return {.name = name, .kind = Kind::Label, .container = face, .top = top, .width = width, .height = height,
            .caption = caption, .transparent = true, .align = Align::Center};
}

const ControlDef kFormAbout[] = {
    {.name = "Timer1", .kind = Kind::Timer, .interval = 10},
    face("PicEnter", 3240, 2280, 1215, 495, 2, forms::KeyRole::DefaultCancel),
    {.name = "LabelEnter", .kind = Kind::Label, .container = "PicEnter", .left = 420, .top = 150, .width = 360,
     .height = 180, .caption = "确定", .autoSize = true, .transparent = true},
    // Never seen: it lies behind the OK button.
    {.name = "Web1", .kind = Kind::Browser, .left = 3600, .top = 2280, .width = 735, .height = 495},
    text("Label4", 120, 2520, 2655, 255, "合作:小林同学 QQ:20481537", false),
    {.name = "LabelUpDate", .kind = Kind::Label, .left = 3240, .top = 1560, .width = 1215, .height = 255,
     .caption = "检测更新", .transparent = true, .align = Align::Center, .tabIndex = 1, .cursor = kLinkCursor},
    {.name = "LabelQQ", .kind = Kind::Label, .left = 1440, .top = 1560, .width = 1215, .height = 255,
     .caption = "  100860017 ", .fore = Color::rgb(0, 0, 128), .transparent = true, .tabIndex = 0,
     .cursor = kLinkCursor, .accName = "用QQ咨询 100860017"},
    text("Label3", 480, 1560, 810, 180, "问题咨询:"),
    text("Label2", 720, 840, 3495, 495, "  欢迎广大网友在不进行修改的情况下,广泛传播本软件.", false),
    text("Label1", 480, 600, 810, 180, "特别声明:"),
    text("LabelCopyRight", 120, 2760, 1710, 180, "©2026 TOLM 版权所有"),
    text("LabelTitle", 360, 120, 720, 180, "关于TOLM"),
    {.name = "ImageBack", .kind = Kind::Image, .width = 4815, .height = 3015, .picture = kBackgroundPicture,
     .stretch = true},
};

// At the stored size the frame lies below the client area: the window shows only its title.
const ControlDef kDownLoad[] = {
    {.name = "TimerExit", .kind = Kind::Timer, .interval = 64},
    {.name = "Frame1", .kind = Kind::Frame, .left = 720, .top = 1440, .width = 5950, .height = 1335},
    {.name = "TextLocal", .kind = Kind::TextBox, .container = "Frame1", .left = 1270, .top = 840, .width = 4215,
     .height = 375, .fore = sys::WindowText, .back = sys::WindowBackground},
    {.name = "TextURL", .kind = Kind::TextBox, .container = "Frame1", .left = 1270, .top = 240, .width = 4215,
     .height = 375, .fore = sys::WindowText, .back = sys::WindowBackground},
    {.name = "LabelURL2", .kind = Kind::Label, .container = "Frame1", .left = 555, .top = 960, .width = 735,
     .height = 255, .caption = "保存到："},
    {.name = "LabelURL", .kind = Kind::Label, .container = "Frame1", .left = 435, .top = 360, .width = 975,
     .height = 255, .caption = "下载地址："},
};

const ControlDef kFormExit[] = {
    face("PicNo", 2640, 1680, 855, 375, 1, forms::KeyRole::Cancel),
    faceCaption("LabelNo", "PicNo", 100, 855, 375, "否"),
    face("PicYes", 960, 1680, 855, 375, 0, forms::KeyRole::Default),
    faceCaption("LabelYes", "PicYes", 100, 855, 375, "是"),
    text("Label4", 1800, 1300, 810, 180, "是否更新?"),
    text("Label1", 600, 840, 990, 180, "最新版本为:"),
    text("Label3", 1920, 120, 375, 255, "提示", false),
    {.name = "Label2", .kind = Kind::Label, .left = 600, .top = 480, .width = 990, .height = 180,
     .caption = "当前版本为:", .fore = Color::rgb(0, 0, 0), .autoSize = true, .transparent = true},
    {.name = "ImageBack", .kind = Kind::Image, .width = 4455, .height = 2415, .picture = kBackgroundPicture,
     .stretch = true},
};

}  // namespace

const forms::FormDef FormAbout{.name = "FormAbout", .caption = "FormAbout", .startUp = forms::StartUp::CenterScreen,
                               .width = 4830, .height = 3030, .back = kRed, .controls = kFormAbout};

// The title bar carries the close button only: no minimise, no maximise.
const forms::FormDef DownLoad{.name = "DownLoad", .caption = "正在下载更新", .border = forms::Border::Sizable,
                              .taskbar = true, .icon = "DOWNLOAD", .startUp = forms::StartUp::CenterOwner,
                              .width = 4890, .height = 1125, .controls = kDownLoad};

const forms::FormDef FormExit{.name = "FormExit", .caption = "FormExit", .startUp = forms::StartUp::CenterScreen,
                              .width = 4560, .height = 2535, .back = kRed, .controls = kFormExit};

}  // namespace tolm::layouts
