#include "tolm/update/form_about.h"

#include "build_config.h"
#include "tolm/countdown/services.h"
#include "tolm/layouts/layouts.h"
#include "tolm/update/download.h"
#include "tolm/update/form_exit.h"
#include "tolm/update/version.h"

namespace tolm {

std::string chatAddress(std::string_view host, std::string_view account) {
    auto first = account.find_first_not_of(' ');
    auto last = account.find_last_not_of(' ');
    if (first == std::string_view::npos) return {};
    account = account.substr(first, last - first + 1);
    for (char c : account)
        if (c < '0' || c > '9') return {};
    return std::string(host) + "/msgrd?V=1&Uin=" + std::string(account);
}

FormAbout::FormAbout(forms::App& app)
    : Form(app, layouts::FormAbout), buttons(*this, {{"PicEnter", "LabelEnter", [this] { LabelEnter_Click(); }}}) {
    on("Timer1", forms::Event::Timer, [this](const forms::Mouse&) { Timer1_Timer(); });
    on("LabelQQ", forms::Event::Click, [this](const forms::Mouse&) { LabelQQ_Click(); });
    on("LabelUpDate", forms::Event::Click, [this](const forms::Mouse&) { LabelUpDate_Click(); });
}

void FormAbout::Form_Load() {
    forms::shapeByColorKey(*this, forms::kRedKey);
    forms::Control& title = (*this)("LabelTitle");
    title.setCaption(title.caption() + "    V" + versionText(backend().programVersion()));
}

void FormAbout::LabelEnter_Click() {
    app().unload(*this);
}

void FormAbout::Timer1_Timer() {
    // Polled only while the window is on screen: one that is hidden is as good as closed,
    // and unloading it stops the poll.
    if (!visible() || backend().foregroundWindow() != handle()) app().unload(*this);
}

void FormAbout::LabelQQ_Click() {
    forms::Control& link = (*this)("LabelQQ");
    std::string url = chatAddress(TOLM_MESSENGER, link.caption());
    if (!url.empty() && services().openUrl) services().openUrl(url);
    link.setEnabled(false);
}

void FormAbout::LabelUpDate_Click() {
    switch (CheckVersion(LatestVersion, backend().programVersion())) {
        case VersionCheck::Same:
            app().messageBox(kCurrentMessage);
            break;
        case VersionCheck::Differs:
            app().form<DownLoad>().show();
            break;
        case VersionCheck::Unknown:
            // No motto page read yet, or a version that cannot be read: nothing to compare.
            app().messageBox(kUnknownMessage);
            break;
    }
}

}  // namespace tolm
