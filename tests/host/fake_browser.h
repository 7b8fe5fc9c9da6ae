#pragma once
// A browser whose loads the test completes by hand.
#include <optional>
#include <string>
#include <vector>

#include "platform/browser.h"

namespace fake {

struct Browser final : platform::Browser {
    bool busy = false;
    std::optional<std::string> body;
    std::vector<std::string> navigated;

    void Navigate(const std::string& url) override {
        navigated.push_back(url);
        busy = true;
        if (DownloadBegin) DownloadBegin();
    }
    bool Busy() const override { return busy; }
    std::optional<std::string> BodyInnerHTML() const override { return body; }
    void complete(std::optional<std::string> page) {
        body = std::move(page);
        busy = false;
        DocumentComplete("http://publisher/tolm/motto.html");
    }
};

}  // namespace fake
