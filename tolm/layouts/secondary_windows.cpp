#include "tolm/layouts/layouts.h"

namespace tolm::layouts {

using forms::Color;

namespace {
constexpr Color kRed = Color::rgb(255, 0, 0);
}  // namespace

const forms::FormDef FormAbout{.name = "FormAbout", .caption = "FormAbout", .startUp = forms::StartUp::CenterScreen,
                               .width = 4830, .height = 3030, .back = kRed, .controls = {}};

const forms::FormDef DownLoad{.name = "DownLoad", .caption = "正在下载更新", .border = forms::Border::Fixed,
                              .taskbar = true, .icon = "DOWNLOAD", .startUp = forms::StartUp::CenterOwner,
                              .width = 4890, .height = 1125, .controls = {}};

const forms::FormDef FormExit{.name = "FormExit", .caption = "FormExit", .startUp = forms::StartUp::CenterScreen,
                              .width = 4560, .height = 2535, .back = kRed, .controls = {}};

}  // namespace tolm::layouts
