#pragma once
// The update prompt: shows the own and the latest version and asks whether to update.
#include "platform/forms/form.h"

namespace tolm {

class FormExit : public forms::Form {
public:
    explicit FormExit(forms::App& app);
};

}  // namespace tolm
