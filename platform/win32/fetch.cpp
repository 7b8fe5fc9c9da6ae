// The GET runs on a worker thread; its end is posted to a message-only window of this file, so
// that the answer is given on the user-interface thread, at that window's next timer tick. A
// watch timer on that window gives a fetch up when the server has been silent too long or the
// whole fetch has taken too long, whatever the worker is still waiting for: the answer is given
// at once, and the worker told to close its connection when its current wait ends. A flag of
// the user-interface thread makes sure each fetch answers exactly once.
#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <thread>

#include "platform/fetch.h"
#include "platform/win32/handles.h"
#include "platform/win32/helper_window.h"
#include "platform/win32/spent_stack.h"
#include "platform/win32/text.h"

namespace platform {

namespace {

constexpr UINT kDoneMessage = WM_APP + 1;
constexpr int kMaxRedirects = 5;

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The WinINet handles of one transfer belong to its worker alone: the worker opens them, is the
// only thread that passes them to WinINet, and closes them when it is done. The user-interface
// thread, giving a transfer up, only says so; it never closes a handle. A handle value, once
// closed, is handed out again by the next open anywhere in the process: a worker that had read
// the value just before another thread closed it would go on to read from, or close, another
// transfer's connection. No lock can close that gap, because the worker cannot hold one across a
// call that blocks for as long as the silence allowed, and a close is what would have to
// interrupt that call. So nobody interrupts it: every wait the worker makes is bounded by the
// system's own connect, send and receive time-outs, set to the silence allowed, and the worker
// looks at the flag before each call and closes its handles as soon as it sees it. A transfer
// given up is thus answered at once, and its connection closed when the worker's current wait
// ends (at the server's next byte, its hang-up or that time-out), not at the moment it was given up.
class Connection {
public:
    // From the user-interface thread: the transfer is given up.
    void abandon() { abandoned_ = true; }
    bool abandoned() const { return abandoned_; }

private:
    std::atomic<bool> abandoned_{false};
};

// A WinINet handle of the worker's, closed when it goes out of scope.
void closeInternet(HINTERNET h) { InternetCloseHandle(h); }
using InternetHandle = win32::Owned<HINTERNET, closeInternet>;

struct Job {
    FetchRequest request;
    Fetcher::Done done;
    Clock::time_point started = Clock::now();
    // When the server was last heard from, in milliseconds after `started`: written by the worker.
    std::atomic<std::uint32_t> heardMs{0};
    Connection connection;
    bool answered = false;  // user-interface thread only
    bool arrived = false;   // user-interface thread only: the worker has posted
    FetchResult result;     // written by the worker before it posts

    void heard() {
        auto ms = std::chrono::duration_cast<milliseconds>(Clock::now() - started).count();
        heardMs = static_cast<std::uint32_t>(ms);
    }
    Clock::time_point lastHeard() const { return started + milliseconds(heardMs.load()); }
    // When the fetch is to be given up, as things stand now.
    Clock::time_point due() const { return std::min(started + request.timeout, lastHeard() + request.silence); }
};

std::string lastError(const char* what) {
    DWORD code = GetLastError();
    return std::string(what) + " failed (error " + std::to_string(code) + ")";
}

std::wstring header(HINTERNET request, DWORD query) {
    std::wstring value(256, L'\0');
    DWORD size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    if (!HttpQueryInfoW(request, query, value.data(), &size, nullptr)) {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return {};
        value.assign(size / sizeof(wchar_t) + 1, L'\0');
        if (!HttpQueryInfoW(request, query, value.data(), &size, nullptr)) return {};
    }
    value.resize(size / sizeof(wchar_t));
    return value;
}

// One GET, redirects followed by hand so that a loop ends as a failure.
FetchResult transfer(Job& job) {
    FetchResult r;
    const FetchRequest& q = job.request;
    const Connection& c = job.connection;
    // Declared in this order, the request is closed before the session it belongs to.
    InternetHandle session(InternetOpenW(L"TOLM", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    InternetHandle request;
    if (!session) {
        r.error = lastError("InternetOpen");
        return r;
    }
    if (c.abandoned()) return r;
    // The system's own limits agree, where it keeps them: no single wait is longer than the
    // silence allowed.
    DWORD ms = static_cast<DWORD>(milliseconds(std::min(q.silence, q.timeout)).count());
    for (DWORD option :
         {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT})
        InternetSetOptionW(session.get(), option, &ms, sizeof ms);

    std::wstring url = win32::widen(q.url);
    for (int hop = 0;; ++hop) {
        if (c.abandoned()) return r;
        // No cache, no cookies, no dialogs; certificate checks stay on.
        DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                      INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_AUTO_REDIRECT;
        if (url.rfind(L"https://", 0) == 0) flags |= INTERNET_FLAG_SECURE;
        request.reset(InternetOpenUrlW(session.get(), url.c_str(), nullptr, 0, flags, 0));
        if (!request) {
            DWORD code = GetLastError();
            r.outcome = code == ERROR_INTERNET_TIMEOUT ? FetchResult::Outcome::TimedOut : FetchResult::Outcome::Failed;
            r.error = "no answer from " + q.url + " (error " + std::to_string(code) + ")";
            return r;
        }
        if (c.abandoned()) return r;
        job.heard();
        DWORD status = 0, size = sizeof status;
        HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr);
        r.status = static_cast<int>(status);
        if (status == 301 || status == 302 || status == 303 || status == 307 || status == 308) {
            std::wstring location = header(request.get(), HTTP_QUERY_LOCATION);
            if (location.empty()) break;  // a redirect to nowhere is its own answer
            if (hop >= kMaxRedirects) {
                r.error = "too many redirects from " + q.url;
                return r;
            }
            std::wstring next(2048, L'\0');
            DWORD len = static_cast<DWORD>(next.size());
            if (!InternetCombineUrlW(url.c_str(), location.c_str(), next.data(), &len, ICU_NO_ENCODE)) {
                r.error = lastError("InternetCombineUrl");
                return r;
            }
            next.resize(len);
            // Never from an encrypted address down to a plain one.
            if (url.rfind(L"https://", 0) == 0 && next.rfind(L"https://", 0) != 0) {
                r.error = "redirect from https to " + win32::narrow(next) + " refused";
                return r;
            }
            if (next.rfind(L"http://", 0) != 0 && next.rfind(L"https://", 0) != 0) {
                r.error = "redirect to " + win32::narrow(next) + " refused";
                return r;
            }
            url = std::move(next);
            request.reset();
            continue;
        }
        r.contentType = win32::narrow(header(request.get(), HTTP_QUERY_CONTENT_TYPE));
        std::wstring lengthText = header(request.get(), HTTP_QUERY_CONTENT_LENGTH);
        long long declared = lengthText.empty() ? -1 : _wtoi64(lengthText.c_str());
        if (declared > static_cast<long long>(q.maxBytes)) {
            r.outcome = FetchResult::Outcome::TooLarge;
            r.error = "the body of " + q.url + " is larger than " + std::to_string(q.maxBytes) + " bytes";
            return r;
        }
        char chunk[16384];
        for (;;) {
            if (c.abandoned()) return r;
            // A read waits until it has filled the whole buffer; asking for what has arrived lets
            // every byte count as a sign of life, however slowly they come.
            DWORD ready = 0, got = 0;
            bool read = InternetQueryDataAvailable(request.get(), &ready, 0, 0);
            if (c.abandoned()) return r;
            if (read) {
                job.heard();
                DWORD want = ready == 0 || ready > sizeof chunk ? sizeof chunk : ready;
                read = InternetReadFile(request.get(), chunk, want, &got);
            }
            if (!read) {
                DWORD code = GetLastError();
                r.outcome =
                    code == ERROR_INTERNET_TIMEOUT ? FetchResult::Outcome::TimedOut : FetchResult::Outcome::Failed;
                r.error = "the body of " + q.url + " broke off (error " + std::to_string(code) + ")";
                r.body.clear();
                return r;
            }
            if (got == 0) break;
            if (r.body.size() + got > q.maxBytes) {
                r.outcome = FetchResult::Outcome::TooLarge;
                r.error = "the body of " + q.url + " is larger than " + std::to_string(q.maxBytes) + " bytes";
                r.body.clear();
                return r;
            }
            r.body.append(chunk, got);
        }
        if (declared >= 0 && static_cast<long long>(r.body.size()) != declared) {
            r.error = "the body of " + q.url + " was cut short";
            r.body.clear();
            return r;
        }
        r.outcome = FetchResult::Outcome::Complete;
        return r;
    }
    r.outcome = FetchResult::Outcome::Complete;
    return r;
}

// A fault on the worker (memory running out in the middle of a body) would end the program
// without a word: it becomes a failed fetch, answered on the user-interface thread as any other.
FetchResult transferOnWorker(Job& job, const TransferOver& over) noexcept {
    FetchResult failed;
    try {
        return over ? over(job.request) : transfer(job);
    } catch (const std::exception& e) {
        try {
            failed.error = "the fetch of " + job.request.url + " failed: " + e.what();
        } catch (...) {
        }
    } catch (...) {
    }
    return failed;
}

class WinInetFetcher final : public Fetcher {
public:
    explicit WinInetFetcher(TransferOver over = {}) : over_(std::move(over)) {}
    // Answers still on their way find the window gone; their jobs are freed with the workers.
    ~WinInetFetcher() override {
        if (window_) DestroyWindow(window_);
    }

    void get(FetchRequest request, Done done) override {
        HWND w = window();
        auto job = std::make_shared<Job>();
        job->request = std::move(request);
        job->done = std::move(done);
        UINT_PTR timer = ++lastTimer_;
        pending_[timer] = job;
        watch(timer, *job);
        std::thread([w, job, timer, over = over_] {
            job->result = transferOnWorker(*job, over);
            // A program that has ended its window gets no answer; the job is freed with it.
            PostMessageW(w, kDoneMessage, timer, 0);
            win32::releaseSpentStack();
        }).detach();
    }

private:
    HWND window() {
        if (!window_) window_ = win32::createHelperWindow(L"TolmFetch", proc, HWND_MESSAGE, this);
        return window_;
    }

    static LRESULT CALLBACK proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
        auto* self = reinterpret_cast<WinInetFetcher*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (self && msg == kDoneMessage) {
            self->arrive(static_cast<UINT_PTR>(wp));
            return 0;
        }
        if (self && msg == WM_TIMER) {
            self->answer(static_cast<UINT_PTR>(wp));
            return 0;
        }
        return DefWindowProcW(hwnd, msg, wp, lp);
    }

    // The fetch's timer fires when it is due to be given up, as far as is known now.
    void watch(UINT_PTR timer, const Job& job) {
        auto wait = std::chrono::ceil<milliseconds>(job.due() - Clock::now()).count();
        SetTimer(window_, timer, static_cast<UINT>(std::max<long long>(wait, USER_TIMER_MINIMUM)), nullptr);
    }

    // A posted message would be handled before any paint or timer that is due: a refusal in the
    // first milliseconds would hold up the window's first frame. The answer waits for the next
    // timer round instead, its watch timer turned into a short one.
    void arrive(UINT_PTR timer) {
        auto it = pending_.find(timer);
        if (it == pending_.end()) return;
        it->second->arrived = true;
        SetTimer(window_, timer, USER_TIMER_MINIMUM, nullptr);
    }

    void answer(UINT_PTR timer) {
        auto it = pending_.find(timer);
        if (it == pending_.end()) {
            KillTimer(window_, timer);
            return;
        }
        std::shared_ptr<Job> job = it->second;
        Clock::time_point now = Clock::now();
        if (!job->arrived && now < job->due()) return watch(timer, *job);  // heard from meanwhile
        KillTimer(window_, timer);
        pending_.erase(it);
        if (job->answered) return;
        job->answered = true;
        FetchResult r;
        if (!job->arrived) {
            job->connection.abandon();
            r.outcome = FetchResult::Outcome::TimedOut;
            bool tooLong = now >= job->started + job->request.timeout;
            auto limit = tooLong ? job->request.timeout : job->request.silence;
            r.error = (tooLong ? "no whole answer from " : "not a byte from ") + job->request.url +
                      (tooLong ? " in " : " for ") + std::to_string(limit.count()) + " s";
        } else {
            r = std::move(job->result);
        }
        job->done(std::move(r));
    }

    TransferOver over_;
    HWND window_ = nullptr;
    UINT_PTR lastTimer_ = 0;
    std::map<UINT_PTR, std::shared_ptr<Job>> pending_;
};

}  // namespace

Fetcher& systemFetcher() {
    static WinInetFetcher fetcher;
    return fetcher;
}

std::unique_ptr<Fetcher> systemFetcherOver(TransferOver transfer) {
    return std::make_unique<WinInetFetcher>(std::move(transfer));
}

}  // namespace platform
