#pragma once
// The menu panel that opens from the notification-area icon.
#include "platform/forms/form.h"

namespace tolm {

class FormMenu : public forms::Form {
public:
    explicit FormMenu(forms::App& app);
    // Public: opening the panel runs it again, which places the panel at the pointer.
    void Form_Load() override {}
};

}  // namespace tolm
