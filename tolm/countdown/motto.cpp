#include "tolm/countdown/motto.h"

namespace tolm {

MottoText splitMotto(std::string_view html) {
    std::string_view page = html.substr(0, html.find("<SCRIPT"));
    std::size_t bar = page.find('|');
    MottoText t;
    t.motto = std::string(page.substr(0, bar));
    if (bar != std::string_view::npos) t.version = std::string(page.substr(bar + 1));
    return t;
}

}  // namespace tolm
