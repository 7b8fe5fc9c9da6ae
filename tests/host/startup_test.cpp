// A fault before the message loop runs is shown and ends the program with a failure code.
#include <gtest/gtest.h>

#include <stdexcept>

#include "fake_backend.h"
#include "platform/forms/startup.h"
#include "tolm/countdown/form_tolm.h"
#include "tolm/countdown/services.h"

namespace {

TEST(Startup, AFaultBeforeTheFirstWindowIsShownAndFails) {
    fake::Clock clock;
    tolm::services().clock = &clock;
    struct Case {
        const char* what;
        std::function<int(fake::Backend&)> start;
        int code;
        const char* shown;
    };
    auto firstWindow = [](fake::Backend& b) {
        forms::App app(b, "TOLM");
        app.form<tolm::FormTolm>().show();
        return 0;
    };
    const Case cases[] = {
        {"a clean start", firstWindow, 0, nullptr},
        {"a refused window",
         [&](fake::Backend& b) {
             b.refuseWindows = true;
             return firstWindow(b);
         },
         forms::kFaultExitCode, "CreateWindowEx failed"},
        {"a graphics library that does not start",
         [](fake::Backend&) -> int { throw std::runtime_error("GDI+ could not be started"); }, forms::kFaultExitCode,
         "GDI+ could not be started"},
        {"a fault of no known kind", [](fake::Backend&) -> int { throw 42; }, forms::kFaultExitCode, "unexpected error"},
    };
    for (const Case& c : cases) {
        fake::Backend b;
        std::vector<std::string> shown;
        int code = forms::runGuarded([&] { return c.start(b); }, [&](std::string_view t) { shown.emplace_back(t); });
        EXPECT_EQ(code, c.code) << c.what;
        if (c.shown)
            EXPECT_EQ(shown, std::vector<std::string>{c.shown}) << c.what;
        else
            EXPECT_TRUE(shown.empty()) << c.what;
    }
}

}  // namespace
