// The notification icon against a shell that is not there yet, or restarts: it arrives once the
// shell takes it, once, and the tries stop.
#include <gtest/gtest.h>

#include <string>

#include "platform/tray_retry.h"

namespace {

using platform::TrayRetry;

// A shell that refuses the first `refusals` registrations, and a timer the test fires by hand.
struct Shell {
    int refusals = 0;
    int tries = 0;
    int icons = 0;
    bool timer = false;
    TrayRetry tray{[this] {
                       ++tries;
                       if (refusals > 0) return --refusals, false;
                       return ++icons, true;
                   },
                   [this](bool on) { timer = on; }};

    // Events: r request, s the shell's restart (it forgets its icons), w withdraw, t one tick of
    // the timer if it runs, T ticks until it stops (at most a little more than the whole round).
    void run(const std::string& events) {
        for (char e : events) {
            if (e == 'r') tray.request();
            if (e == 's') icons = 0, tray.shellStarted();
            if (e == 'w') tray.withdraw();
            if (e == 't' && timer) tray.tick();
            for (int i = 0; e == 'T' && timer && i < TrayRetry::kRetries + 10; ++i) tray.tick();
        }
    }
};

TEST(TrayRetry, TheIconArrivesOnceTheShellTakesItAndOnlyOnce) {
    constexpr int kRound = TrayRetry::kRetries;
    struct Case {
        const char* what;
        int refusals;
        const char* events;
        int tries, icons;
        bool held, timer;
    } cases[] = {
        {"a shell that is there", 0, "r", 1, 1, true, false},
        {"asked again while held: left as it is", 0, "rrtT", 1, 1, true, false},
        {"three refusals, then taken at the third retry", 3, "rT", 4, 1, true, false},
        {"asked again during the retries: one icon still", 3, "rrtrT", 4, 1, true, false},
        {"refused for the whole round: the tries stop", 1000, "rT", 1 + kRound, 0, false, false},
        {"after the round, the shell's start brings it", 1 + kRound, "rTs", 2 + kRound, 1, true, false},
        {"a restarted shell that refuses gets a fresh round", 1000, "rTsT", 2 + 2 * kRound, 0, false, false},
        {"the shell restarts: the icon comes back, once", 0, "rsst", 3, 1, true, false},
        {"a restart before the program asked: nothing", 0, "s", 0, 0, false, false},
        {"withdrawn during the retries: no more tries", 5, "rttwT", 3, 0, false, false},
        {"withdrawn: a restart brings nothing back", 0, "rws", 1, 0, false, false},
        {"two refusals, still retrying", 3, "rtt", 3, 0, false, true},
    };
    for (const Case& c : cases) {
        Shell shell;
        shell.refusals = c.refusals;
        shell.run(c.events);
        EXPECT_EQ(shell.tries, c.tries) << c.what;
        EXPECT_EQ(shell.icons, c.icons) << c.what;
        EXPECT_EQ(shell.tray.held(), c.held) << c.what;
        EXPECT_EQ(shell.timer, c.timer) << c.what;
    }
}

}  // namespace
