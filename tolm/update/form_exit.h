#pragma once
// The update prompt: shows the own and the latest version and asks whether to update.
#include "platform/forms/flat_button.h"
#include "platform/forms/form.h"

namespace tolm {

class FormExit : public forms::Form {
public:
    explicit FormExit(forms::App& app);

    forms::FlatButtons buttons;

    // A dialog to screen readers, named by its title.
    std::optional<forms::AccessibleView> accessible() override { return dialogView((*this)("Label3").caption()); }

    void LabelYes_Click();  // turns the prompt into a waiting notice and starts the download
    void LabelNo_Click();   // hides the prompt and brings the countdown window back

    static constexpr const char* kDownloadNotice = "正在下载更新,请耐心等候,不要关闭.";

protected:
    void Form_Load() override;
};

// The left edge that centres a width within another, computed in single precision as the
// window's own arithmetic does, landing on the nearest twip.
forms::Twips centredLeft(forms::Twips outerWidth, forms::Twips innerWidth);

// The own version as the windows show it: major.minor.revision in plain decimal.
std::string versionText(const forms::Version& v);

}  // namespace tolm
