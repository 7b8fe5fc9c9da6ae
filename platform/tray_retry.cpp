#include "platform/tray_retry.h"

#include <utility>

namespace platform {

TrayRetry::TrayRetry(std::function<bool()> add, std::function<void(bool on)> retryTimer)
    : add_(std::move(add)), retryTimer_(std::move(retryTimer)) {}

void TrayRetry::request() {
    wanted_ = true;
    if (!held_) attempt();
}

void TrayRetry::attempt() {
    if (add_()) {
        held_ = true;
        stopRetrying();
    } else if (!retrying()) {
        retriesLeft_ = kRetries;
        retryTimer_(true);
    }
}

void TrayRetry::tick() {
    if (!wanted_ || held_ || !retrying()) return stopRetrying();
    --retriesLeft_;
    if (add_()) held_ = true;
    if (held_ || !retrying()) stopRetrying();
}

void TrayRetry::shellStarted() {
    if (!wanted_) return;
    held_ = false;
    // A new shell deserves a fresh round of tries.
    stopRetrying();
    attempt();
}

bool TrayRetry::withdraw() {
    bool was = wanted_;
    wanted_ = held_ = false;
    stopRetrying();
    return was;
}

void TrayRetry::stopRetrying() {
    retriesLeft_ = 0;
    retryTimer_(false);
}

}  // namespace platform
