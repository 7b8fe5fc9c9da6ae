#pragma once
// What the countdown program's windows use of the system beyond the forms runtime; the
// program fills it at start, host tests fill it with fakes.
#include <functional>
#include <string>
#include <string_view>

#include "platform/browser.h"
#include "platform/clock.h"
#include "platform/fetch.h"
#include "platform/files.h"
#include "platform/forms/backend.h"

namespace tolm {

struct Services {
    const platform::Clock* clock = nullptr;
    // Paints a picture file at (0, 0) of a device context drawn at a DPI: the file's version made
    // for that scale at its own size (see forms::artName), or the nearest other one scaled.
    std::function<void(const std::string& path, forms::NativeDC dc, int dpi)> paintPng;

    // The update download: HTTP, the program folder, the publisher's signature and the start
    // of the update program. A missing fetcher fails every transfer.
    platform::Fetcher* fetcher = nullptr;
    platform::Files* files = nullptr;
    // Whether `signature` is the publisher's over `data` (the key is compiled in).
    std::function<bool(std::string_view data, std::string_view signature)> verifyUpdate;
    // Starts a program by its full path with a shell verb (platform::kStartAsUser or
    // platform::kStartAsAdministrator) and command-line parameters.
    std::function<void(const std::string& path, const char* verb, const std::string& parameters)> launch;
    // Opens a web address in the user's browser, through the system's handler for web addresses.
    std::function<void(const std::string& url)> openUrl;
    // The hidden browser that loads the motto page (none: the design motto stays).
    platform::Browser* browser = nullptr;
    // Registers the notification-area icon for a window and its icon.
    std::function<void(forms::Form& window)> registerTrayIcon;
    // Hands the keyboard back to the notification area, where the icon's menu was opened from.
    std::function<void()> returnFocusToIcon;
};

Services& services();

}  // namespace tolm
