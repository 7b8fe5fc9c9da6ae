#pragma once
// Getting the notification icon to the shell. Started from the log-on entry, the widget can run
// before the shell's notification area exists: the registration is refused, and the shell's
// announcement of its start may have gone out before the widget listened. So a refused
// registration is tried again every two seconds for five minutes, and after that at every
// announcement of a (re)started shell. An icon the shell holds is never registered again.
#include <functional>

namespace platform {

class TrayRetry {
public:
    static constexpr int kRetryMs = 2000;
    static constexpr int kRetries = 150;  // five minutes of tries

    // add: one registration; true when the shell holds the icon afterwards.
    // retryTimer: starts (true) or stops (false) a timer that calls tick() every kRetryMs.
    TrayRetry(std::function<bool()> add, std::function<void(bool on)> retryTimer);

    // The program asks for its icon (again).
    void request();
    // The retry timer fired.
    void tick();
    // The shell announced its (re)start: it holds no icon of ours.
    void shellStarted();
    // No icon wanted any more (the program ends): no more tries. Whether one had been asked for.
    bool withdraw();

    bool wanted() const { return wanted_; }
    bool held() const { return held_; }
    bool retrying() const { return retriesLeft_ > 0; }

private:
    void attempt();
    void stopRetrying();

    std::function<bool()> add_;
    std::function<void(bool)> retryTimer_;
    bool wanted_ = false;
    bool held_ = false;
    int retriesLeft_ = 0;
};

}  // namespace platform
