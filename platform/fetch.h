#pragma once
// One HTTP GET, run off the user-interface thread so that the windows stay responsive; the
// answer comes back on the user-interface thread. Shared by the motto page and the update.
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace platform {

struct FetchRequest {
    std::string url;
    std::size_t maxBytes = 1 << 20;  // a longer body fails the fetch
    // The whole fetch, however well it moves, ends by then as timed out...
    std::chrono::seconds timeout{30};
    // ...and before that, as soon as this long has passed without a byte from the server, so that
    // a slow line may take its time over a large body as long as it keeps moving.
    std::chrono::seconds silence{30};
};

struct FetchResult {
    enum class Outcome {
        Complete,  // the whole body arrived (whatever the status)
        Failed,    // no connection, refused, reset, cut short
        TimedOut,  // silent for too long, or not done in the time allowed
        TooLarge,
    };
    Outcome outcome = Outcome::Failed;
    int status = 0;           // the HTTP status, 0 when none arrived
    std::string contentType;  // the Content-Type header as sent
    std::string body;         // the bytes of the body, when complete
    std::string error;        // what went wrong, in words

    // Success: a complete transfer with status 200.
    bool ok() const { return outcome == Outcome::Complete && status == 200; }
};

class Fetcher {
public:
    virtual ~Fetcher() = default;
    using Done = std::function<void(FetchResult)>;
    // Starts the GET. `done` runs exactly once, later, on the user-interface thread. A fetch
    // answered as timed out is given up there and then: its connection is closed.
    virtual void get(FetchRequest request, Done done) = 0;
};

// WinINet on a worker thread (Windows builds only).
Fetcher& systemFetcher();

// The same fetcher with another transfer on its worker in place of WinINet's, for tests of what
// the worker and the answer do around it (a transfer that throws, for one).
using TransferOver = std::function<FetchResult(const FetchRequest&)>;
std::unique_ptr<Fetcher> systemFetcherOver(TransferOver transfer);

}  // namespace platform
