#include "tolm/update/form_exit.h"

#include <cmath>
#include <string>

#include "tolm/countdown/form_tolm.h"
#include "tolm/layouts/layouts.h"
#include "tolm/update/download.h"
#include "tolm/update/version.h"

namespace tolm {

forms::Twips centredLeft(forms::Twips outerWidth, forms::Twips innerWidth) {
    float left = static_cast<float>(outerWidth) / 2.0f - static_cast<float>(innerWidth) / 2.0f;
    return static_cast<forms::Twips>(std::lround(left));
}

std::string versionText(const forms::Version& v) {
    return std::to_string(v.major) + "." + std::to_string(v.minor) + "." + std::to_string(v.revision);
}

FormExit::FormExit(forms::App& app)
    : Form(app, layouts::FormExit),
      buttons(*this, {{"PicYes", "LabelYes", [this] { LabelYes_Click(); }},
                      {"PicNo", "LabelNo", [this] { LabelNo_Click(); }}}) {}

void FormExit::Form_Load() {
    backend().bringToFront(*this);
    // The style replaces the extended style: red becomes see-through, the rest stays opaque.
    forms::shapeByColorKey(*this, forms::kRedKey);
    backend().setTopmost(*this);
    forms::Control& own = (*this)("Label2");
    own.setCaption(own.caption() + versionText(backend().programVersion()));
    forms::Control& latest = (*this)("Label1");
    latest.setCaption(latest.caption() + LatestVersion);
}

void FormExit::LabelYes_Click() {
    (*this)("PicYes").setVisible(false);
    (*this)("PicNo").setVisible(false);
    forms::Control& notice = (*this)("Label4");
    notice.setCaption(kDownloadNotice);
    auto width = static_cast<forms::Twips>(toTwips(backend().screenRect(*this).width));
    notice.setLeft(centredLeft(width, notice.width()));
    // Loaded, not shown: its load fetches the update while this notice stays on screen.
    app().form<DownLoad>();
}

void FormExit::LabelNo_Click() {
    hide();
    app().form<FormTolm>().show();
}

}  // namespace tolm
