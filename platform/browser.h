#pragma once
// The hidden browser of the motto feed: loads one page off the user-interface thread and
// reports on that thread, with the members the widget uses of the system's browser control.
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/fetch.h"

namespace platform {

class Browser {
public:
    virtual ~Browser() = default;

    // Starts loading a page; a load still running is abandoned.
    virtual void Navigate(const std::string& url) = 0;
    // True from Navigate until the last DocumentComplete of that load.
    virtual bool Busy() const = 0;
    // No dialogs of the browser's own; kept for the widget, which sets it.
    bool Silent = false;

    // Raised on the user-interface thread: when the transfer starts, and once the page has been
    // loaded, once for every frame it names (which is never loaded) and then for the page itself.
    std::function<void()> DownloadBegin;
    std::function<void(const std::string& url)> DocumentComplete;

    // The inner markup of the loaded page's body, as UTF-8; nothing when no page was loaded
    // (a failed load completes with no document, so an error page never reaches the reader).
    virtual std::optional<std::string> BodyInnerHTML() const = 0;
};

// Turns the bytes of a GBK page into UTF-8 (the system's code-page conversion).
using GbkDecoder = std::function<std::string(std::string_view bytes)>;

struct BrowserLimits {
    std::chrono::seconds timeout{30};
    std::size_t maxBytes = 256 * 1024;
    std::size_t maxFrames = 4;
};

// A browser over a fetcher, which asks it for the page and nothing else.
std::unique_ptr<Browser> makeBrowser(Fetcher& fetcher, GbkDecoder gbk, BrowserLimits limits = {});

// The system's fetcher and code-page conversion (Windows builds only).
std::unique_ptr<Browser> systemBrowser();

}  // namespace platform
