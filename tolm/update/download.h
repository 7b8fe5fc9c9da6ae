#pragma once
// The download window: fetches the update program and starts it.
#include "platform/forms/form.h"

namespace tolm {

class DownLoad : public forms::Form {
public:
    explicit DownLoad(forms::App& app);

protected:
    void Form_Load() override;
};

}  // namespace tolm
