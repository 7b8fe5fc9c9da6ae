// The post-install tool: run once at the end of installation from the widget's folder.
#include <windows.h>

#include "jw/form1.h"
#include "platform/shell.h"
#include "platform/win32/backend.h"
#include "platform/win32/startup.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    constexpr const char* kTitle = "TOLM";
    return win32::runProgram(kTitle, [&] {
        jw::shell() = &platform::systemShell();
        win32::Win32Backend backend(instance);
        forms::App app(backend, kTitle);
        backend.attach(app);
        app.form<jw::Form1>().show();
        return backend.run();
    });
}
