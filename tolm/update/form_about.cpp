#include "tolm/update/form_about.h"

#include "tolm/layouts/layouts.h"

namespace tolm {

FormAbout::FormAbout(forms::App& app) : Form(app, layouts::FormAbout) {}

}  // namespace tolm
