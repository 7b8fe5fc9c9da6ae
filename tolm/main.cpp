// The countdown widget: starting it creates and loads its main window; everything else
// follows from that window's events.
#include <windows.h>

#include "platform/clock.h"
#include "platform/win32/backend.h"
#include "platform/win32/paint_png.h"
#include "platform/win32/startup.h"
#include "tolm/countdown/form_tolm.h"
#include "tolm/countdown/services.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    constexpr const char* kTitle = "TOLM";
    return win32::runProgram(kTitle, [&] {
        tolm::services().clock = &platform::systemClock();
        tolm::services().paintPng = [](const std::string& path, forms::NativeDC dc) {
            ModPaintPNG::PaintPNG(path, static_cast<HDC>(dc), 0, 0);
        };
        win32::Win32Backend backend(instance);
        forms::App app(backend, kTitle);
        backend.attach(app);
        app.form<tolm::FormTolm>().show();
        return backend.run();
    });
}
