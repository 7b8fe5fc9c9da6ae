// Shows one window so that it can be looked at and compared with its table:
//   show_layout FormTolm | FormMenu | Form1        the layout bare, with no code of its own
//   show_layout FormAbout | FormExit | DownLoad    the program's own window, loaded as it
//                                                  loads (shaped by its key colour), over a
//                                                  bare main window that DownLoad centres on
#include <windows.h>

#include <cstring>

#include "jw/layout.h"
#include "platform/win32/backend.h"
#include "tolm/layouts/layouts.h"
#include "tolm/update/download.h"
#include "tolm/update/form_about.h"
#include "tolm/update/form_exit.h"
#include "tolm/update/version.h"

namespace {
const forms::FormDef* chosen = nullptr;
class Bare : public forms::Form {
public:
    explicit Bare(forms::App& app) : Form(app, *chosen) {}
};
}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring name = argc > 1 ? argv[1] : L"FormTolm";
    chosen = &tolm::layouts::FormTolm;
    if (name == L"FormMenu") chosen = &tolm::layouts::FormMenu;
    if (name == L"Form1") chosen = &jw::layouts::Form1;
    win32::Win32Backend backend(GetModuleHandleW(nullptr));
    forms::App app(backend, "layout");
    backend.attach(app);
    Bare& form = app.form<Bare>();
    form.show();
    if (chosen == &tolm::layouts::FormMenu) backend.move(form, 100, 100);
    tolm::LatestVersion = "1.0.35";
    if (name == L"FormAbout") app.form<tolm::FormAbout>().show();
    if (name == L"FormExit") app.form<tolm::FormExit>().show();
    if (name == L"DownLoad") {
        backend.move(form, 40, 40);  // off centre, so that centring on it shows
        app.form<tolm::DownLoad>().show();
    }
    return backend.run();
}
