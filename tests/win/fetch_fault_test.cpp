// A fault on the fetch worker (memory running out while a body is read) is a failed fetch,
// answered on the user-interface thread; the program goes on.
#include <windows.h>
// after windows.h
#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <optional>

#include "platform/fetch.h"
#include "win_test_support.h"

namespace {

TEST(FetchWorker, AFaultOnTheWorkerIsAFailedFetchAndTheProgramGoesOn) {
    struct Case {
        const char* what;
        platform::TransferOver transfer;
    } cases[] = {
        {"out of memory", [](const platform::FetchRequest&) -> platform::FetchResult { throw std::bad_alloc(); }},
        {"not even an exception", [](const platform::FetchRequest&) -> platform::FetchResult { throw 17; }},
    };
    for (const Case& c : cases) {
        std::unique_ptr<platform::Fetcher> fetcher = platform::systemFetcherOver(c.transfer);
        std::optional<platform::FetchResult> answer;
        int answers = 0;
        DWORD thread = 0;
        fetcher->get({"http://127.0.0.1:9/x", 1 << 20, std::chrono::seconds(30)}, [&](platform::FetchResult r) {
            answer = std::move(r);
            ++answers;
            thread = GetCurrentThreadId();
        });
        // Well within the 30 s deadline: the answer is the worker's, not the deadline's.
        for (DWORD start = GetTickCount(); !answer && GetTickCount() - start < 20000;) wintest::pump(20);
        ASSERT_TRUE(answer) << c.what;
        EXPECT_EQ(answer->outcome, platform::FetchResult::Outcome::Failed) << c.what;
        EXPECT_FALSE(answer->ok());
        EXPECT_EQ(thread, GetCurrentThreadId()) << "answered on the thread that asked";
        wintest::pump(200);
        EXPECT_EQ(answers, 1) << c.what;
    }
}

TEST(FetchWorker, TheWorkersOwnAnswerComesBackUnchanged) {
    auto fetcher = platform::systemFetcherOver([](const platform::FetchRequest& q) {
        platform::FetchResult r;
        r.outcome = platform::FetchResult::Outcome::Complete, r.status = 200, r.body = q.url;
        return r;
    });
    std::optional<platform::FetchResult> answer;
    fetcher->get({"http://example.invalid/page"}, [&](platform::FetchResult r) { answer = std::move(r); });
    for (DWORD start = GetTickCount(); !answer && GetTickCount() - start < 20000;) wintest::pump(20);
    ASSERT_TRUE(answer);
    EXPECT_TRUE(answer->ok());
    EXPECT_EQ(answer->body, "http://example.invalid/page");
}

}  // namespace
