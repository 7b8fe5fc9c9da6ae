#include "tolm/update/form_exit.h"

#include "tolm/layouts/layouts.h"

namespace tolm {

FormExit::FormExit(forms::App& app) : Form(app, layouts::FormExit) {}

}  // namespace tolm
