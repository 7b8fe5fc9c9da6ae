#pragma once
// The about window: title and version, the contact link and the manual update check.
#include <string>
#include <string_view>

#include "platform/forms/flat_button.h"
#include "platform/forms/form.h"

namespace tolm {

class FormAbout : public forms::Form {
public:
    explicit FormAbout(forms::App& app);

    forms::FlatButtons buttons;

    // A dialog to screen readers, named by its title.
    std::optional<forms::AccessibleView> accessible() override { return dialogView((*this)("LabelTitle").caption()); }

    void LabelEnter_Click();   // closes the window
    void LabelQQ_Click();      // opens a chat with the maker, once per opening
    void LabelUpDate_Click();  // the manual update check
    void Timer1_Timer();       // closes the window once another one has the foreground

    static constexpr const char* kCurrentMessage = "已是最新版本,无需更新";
    static constexpr const char* kUnknownMessage = "暂时无法获取最新版本信息,请稍后再试。";

protected:
    void Form_Load() override;
};

// The messenger's web link that starts a chat with an account: its digits, whatever blanks
// surround them in a caption. Empty when the text holds no account number.
std::string chatAddress(std::string_view messengerHost, std::string_view account);

}  // namespace tolm
