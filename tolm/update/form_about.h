#pragma once
// The about window: title and version, the contact link and the manual update check.
#include "platform/forms/form.h"

namespace tolm {

class FormAbout : public forms::Form {
public:
    explicit FormAbout(forms::App& app);
};

}  // namespace tolm
