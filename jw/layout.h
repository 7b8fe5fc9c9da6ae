#pragma once
#include "platform/forms/layout.h"

namespace jw::layouts {
// The post-install window as it stands when created.
extern const forms::FormDef Form1;
}  // namespace jw::layouts
