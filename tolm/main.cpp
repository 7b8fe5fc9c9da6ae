// The countdown widget: starting it creates and loads its main window; everything else
// follows from that window's events.
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include "build_config.h"
#include "platform/browser.h"
#include "platform/clock.h"
#include "platform/fetch.h"
#include "platform/files.h"
#include "platform/signature.h"
#include "platform/win32/backend.h"
#include "platform/win32/paint_png.h"
#include "platform/win32/text.h"
#include "platform/win32/program_end.h"
#include "platform/win32/single_instance.h"
#include "platform/win32/startup.h"
#include "platform/win32/tray_icon.h"
#include "tolm/countdown/form_tolm.h"
#include "tolm/countdown/services.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    constexpr const char* kTitle = "TOLM";
    return win32::runProgram(kTitle, [&] {
        // One widget per user and session: a second start shows the running one and ends here.
        if (!win32::firstInstance()) return 0;
        tolm::services().clock = &platform::systemClock();
        tolm::services().paintPng = [](const std::string& path, forms::NativeDC dc, int dpi) {
            ModPaintPNG::PaintPNGAt(path, static_cast<HDC>(dc), 0, 0, dpi);
        };
        // The update: only what the publisher signed with the key built in is put in place and started.
        tolm::services().fetcher = &platform::systemFetcher();
        tolm::services().files = &platform::systemFiles();
        tolm::services().launch = platform::startProgram;
        tolm::services().verifyUpdate = [](std::string_view data, std::string_view signature) {
            static constexpr platform::P256PublicKey kPublisherKey = TOLM_UPDATE_PUBKEY;
            return platform::verifyP256(kPublisherKey, data, signature);
        };
        tolm::services().openUrl = [](const std::string& url) {
            ShellExecuteW(nullptr, L"open", win32::widen(url).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
        };
        win32::Win32Backend backend(instance);
        std::unique_ptr<platform::Browser> web = platform::systemBrowser();
        tolm::services().browser = web.get();
        forms::App app(backend, kTitle);
        backend.attach(app);
        // The icon's events run as the widget's handlers do.
        tolm::services().registerTrayIcon = [&backend, &app](forms::Form& window) {
            NfIcon::Register(backend.icon(window), [&app](const platform::TrayEvent& e) {
                tolm::FormTolm& widget = app.form<tolm::FormTolm>();
                app.enter();
                widget.guarded([&] { widget.iconEvent(e); });
                app.leave();
            });
        };
        tolm::services().returnFocusToIcon = NfIcon::ReturnFocus;
        app.form<tolm::FormTolm>().show();
        win32::onLaterStart([&app] {
            tolm::FormTolm& widget = app.form<tolm::FormTolm>();
            app.enter();
            widget.guarded([&] { widget.bringBack(); });
            app.leave();
            return static_cast<HWND>(widget.handle());
        });
        int code = backend.run();
        win32::runProgramEnd();
        return code;
    });
}
