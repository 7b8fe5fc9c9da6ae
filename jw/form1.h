#pragma once
// The post-install tool's one window: two options and the Done and Close buttons.
#include "platform/forms/flat_button.h"
#include "platform/forms/form.h"
#include "platform/shell.h"

namespace jw {

// Set once at start; host tests put a fake here.
platform::Shell*& shell();

class Form1 : public forms::Form {
public:
    explicit Form1(forms::App& app);

    forms::FlatButtons buttons;

    // A dialog to screen readers, named by its title.
    std::optional<forms::AccessibleView> accessible() override { return dialogView((*this)("Label1").caption()); }

    void LabelYes_Click();  // Done: carries out the ticked options, then ends
    void LabelNo_Click();   // Close: ends, writing nothing

protected:
    void Form_Load() override;

private:
    void makeAutostart();
    void makeShortcut();
};

// Ctrl+Alt+C, as a shell link stores it.
inline constexpr std::uint16_t kShortcutHotkey = 0x0600 | 'C';

}  // namespace jw
