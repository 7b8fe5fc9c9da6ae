#include "tolm/tray/form_menu.h"

#include "tolm/layouts/layouts.h"

namespace tolm {

FormMenu::FormMenu(forms::App& app) : Form(app, layouts::FormMenu) {}

}  // namespace tolm
