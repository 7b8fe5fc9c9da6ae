// Shows one window layout as it stands when created, with no code of its own, so that it can
// be looked at and compared with its table: show_layout FormTolm | FormMenu | Form1.
#include <windows.h>

#include <cstring>

#include "jw/layout.h"
#include "platform/win32/backend.h"
#include "tolm/layouts/layouts.h"

namespace {
const forms::FormDef* chosen = nullptr;
class Bare : public forms::Form {
public:
    explicit Bare(forms::App& app) : Form(app, *chosen) {}
};
}  // namespace

int wmain(int argc, wchar_t** argv) {
    chosen = &tolm::layouts::FormTolm;
    if (argc > 1 && wcscmp(argv[1], L"FormMenu") == 0) chosen = &tolm::layouts::FormMenu;
    if (argc > 1 && wcscmp(argv[1], L"Form1") == 0) chosen = &jw::layouts::Form1;
    win32::Win32Backend backend(GetModuleHandleW(nullptr));
    forms::App app(backend, "layout");
    backend.attach(app);
    Bare& form = app.form<Bare>();
    form.show();
    if (chosen == &tolm::layouts::FormMenu) backend.move(form, 100, 100);
    return backend.run();
}
