// The fetch layer, the browser and the notification icon on the real system, against the
// scripted publisher (TOLM_TEST_SERVER). The fetches of a test run at once, so a run lasts
// about as long as its slowest deliberate case.
#include <windows.h>
// after windows.h
#include <gtest/gtest.h>
#include <psapi.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "platform/browser.h"
#include "platform/fetch.h"
#include "platform/tray_retry.h"
#include "platform/win32/program_end.h"
#include "platform/win32/spent_stack.h"
#include "platform/win32/tray_icon.h"
#include "win_test_support.h"

namespace {

using Outcome = platform::FetchResult::Outcome;

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

// Pumps messages until `done` holds; the bound only keeps a broken build from hanging.
template <class F>
bool pumpUntil(F&& done, int boundMs = 60000) {
    for (DWORD start = GetTickCount(); !done(); wintest::pump(20))
        if (GetTickCount() - start > static_cast<DWORD>(boundMs)) return false;
    return true;
}

// The threads of this process that its own code started: WinINet keeps threads of its own (Wine
// 10's collects the idle connections it keeps for reuse, for a minute), and the system's thread
// pool has others; neither is a fetch worker left behind.
int threadsOfThisProcess() {
    using Query = LONG(WINAPI*)(HANDLE, int, PVOID, ULONG, PULONG);
    static const auto query =
        reinterpret_cast<Query>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationThread")));
    auto inModule = [](ULONG_PTR at, const wchar_t* name) {
        MODULEINFO m{};
        HMODULE h = GetModuleHandleW(name);
        if (!h || !GetModuleInformation(GetCurrentProcess(), h, &m, sizeof m)) return false;
        auto base = reinterpret_cast<ULONG_PTR>(m.lpBaseOfDll);
        return at >= base && at < base + m.SizeOfImage;
    };
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 t{};
    t.dwSize = sizeof t;
    int n = 0;
    for (BOOL more = Thread32First(snapshot, &t); more; more = Thread32Next(snapshot, &t)) {
        if (t.th32OwnerProcessID != GetCurrentProcessId()) continue;
        ULONG_PTR start = 0;
        constexpr int kWin32StartAddress = 9;
        if (HANDLE h = OpenThread(THREAD_QUERY_INFORMATION, FALSE, t.th32ThreadID)) {
            query(h, kWin32StartAddress, &start, sizeof start, nullptr);
            CloseHandle(h);
        }
        n += !inModule(start, L"wininet.dll") && !inModule(start, L"ntdll.dll");
    }
    CloseHandle(snapshot);
    return n;
}

std::string publisherLog() {
    std::ifstream f(env("TOLM_PUBLISHER_LOG"), std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

// First of the tests, so that no worker of another is still about when threads are counted.
TEST(Fetch, OnASlowLineOnlySilenceOrTheWholeLimitEndsATransferAndWhatEndsStopsAtOnce) {
    std::string server = env("TOLM_TEST_SERVER");
    ASSERT_FALSE(server.empty()) << "run through tests/web/with-publisher.sh";
    using std::chrono::seconds;
    struct Case {
        std::string path;
        seconds silence, timeout;
        Outcome outcome;
    } cases[] = {
        {"/steady?seconds=6&bytes=300000", seconds(2), seconds(120), Outcome::Complete},  // three silences long
        // WinINet reports a receive that waited out its time-out as ERROR_INTERNET_TIMEOUT; Wine
        // 10 passes the socket's WSAETIMEDOUT on instead, and whichever of the worker and the
        // watch timer answers first is taken. What matters is below: no body, and the answer
        // at the silence, long before the server's pause ends.
        {"/stalled?pause=10&bytes=300000", seconds(2), seconds(120), Outcome::TimedOut},
        {"/drip?every=1", seconds(3), seconds(5), Outcome::TimedOut},  // never silent, never done
    };
    int before = threadsOfThisProcess();
    std::map<std::string, std::vector<platform::FetchResult>> answers;
    std::map<std::string, DWORD> answeredAfterMs;
    DWORD asked = GetTickCount();
    for (const Case& c : cases) {
        platform::FetchRequest request{server + c.path, 1 << 20, c.timeout, c.silence};
        platform::systemFetcher().get(request, [&, path = c.path](platform::FetchResult r) {
            answers[path].push_back(std::move(r));
            answeredAfterMs[path] = GetTickCount() - asked;
        });
    }
    EXPECT_EQ(threadsOfThisProcess(), before + static_cast<int>(std::size(cases)));
    ASSERT_TRUE(pumpUntil([&] { return answers.size() == std::size(cases); }, 120000));
    for (const Case& c : cases) {
        ASSERT_EQ(answers[c.path].size(), 1u) << c.path;
        const platform::FetchResult& r = answers[c.path][0];
        if (c.path.rfind("/stalled", 0) == 0 && r.error.find("(error 10060)") != std::string::npos) {
            EXPECT_EQ(r.outcome, Outcome::Failed) << c.path << ": " << r.error;
        } else {
            EXPECT_EQ(r.outcome, c.outcome) << c.path << ": " << r.error;
        }
        if (c.outcome != Outcome::Complete) {
            EXPECT_TRUE(r.body.empty()) << c.path;
        }
    }
    EXPECT_LT(answeredAfterMs[cases[1].path], 9000u) << "the stall was waited out, not the silence";
    EXPECT_EQ(answers[cases[0].path][0].body.size(), 300000u);

    // A fetch that opens its handles while the given-up workers still hold theirs (the stalled
    // one waits for the server's next move) gets its own whole answer: nothing of another
    // transfer's connection, which a closed handle value handed out again would bring.
    std::optional<platform::FetchResult> fresh;
    platform::systemFetcher().get({server + "/steady?seconds=1&bytes=1000", 1 << 20, seconds(60), seconds(10)},
                                  [&](platform::FetchResult r) { fresh = std::move(r); });
    ASSERT_TRUE(pumpUntil([&] { return fresh.has_value(); }, 60000));
    EXPECT_EQ(fresh->outcome, Outcome::Complete) << fresh->error;
    EXPECT_EQ(fresh->body.size(), 1000u);

    // What was given up stops there: its worker closes its connection and ends when its current
    // wait does (at the server's next move, or at the system's own time-out, which is the
    // silence allowed), in any case before the server's answer would end.
    EXPECT_TRUE(pumpUntil([&] { return threadsOfThisProcess() <= before; }))
        << threadsOfThisProcess() - before << " workers left";
    for (const Case& c : {cases[1], cases[2]})
        EXPECT_TRUE(pumpUntil([&] { return publisherLog().find("gone " + c.path + "\n") != std::string::npos; }))
            << c.path << " still connected:\n"
            << publisherLog();
    wintest::pump(500);
    for (const Case& c : cases) EXPECT_EQ(answers[c.path].size(), 1u) << c.path << " answered twice";
}

TEST(Fetch, EveryHostileAnswerEndsOnceAndNoneAsSuccess) {
    std::string server = env("TOLM_TEST_SERVER");
    ASSERT_FALSE(server.empty()) << "run through tests/web/with-publisher.sh";
    struct Case {
        std::string url;
        Outcome outcome;
        int status;
        bool ok;
    } cases[] = {
        {server + "/ok", Outcome::Complete, 200, true},
        {server + "/404", Outcome::Complete, 404, false},
        {server + "/500", Outcome::Complete, 500, false},
        {"http://127.0.0.1:" + env("TOLM_REFUSED_PORT") + "/x", Outcome::Failed, 0, false},
        {server + "/silent", Outcome::TimedOut, 0, false},
        {server + "/short", Outcome::Failed, 200, false},
        {server + "/big", Outcome::TooLarge, 200, false},
        {server + "/loop", Outcome::Failed, 302, false},
        {server + "/binary", Outcome::Complete, 200, true},  // the browser refuses it as text
    };
    std::map<std::string, std::vector<platform::FetchResult>> answers;
    for (const Case& c : cases)
        platform::systemFetcher().get(
            {c.url, 1 << 20, std::chrono::seconds(2)},
            [&answers, url = c.url](platform::FetchResult r) { answers[url].push_back(std::move(r)); });
    // Answers come through the message loop, so the program stays responsive meanwhile.
    ASSERT_TRUE(pumpUntil([&] { return answers.size() == std::size(cases); }));
    wintest::pump(3500);  // past every deadline: nothing answers twice
    for (const Case& c : cases) {
        ASSERT_EQ(answers[c.url].size(), 1u) << c.url;
        const platform::FetchResult& r = answers[c.url][0];
        EXPECT_EQ(r.outcome, c.outcome) << c.url << ": " << r.error;
        EXPECT_EQ(r.status, c.status) << c.url;
        EXPECT_EQ(r.ok(), c.ok) << c.url;
        EXPECT_TRUE(c.ok || r.outcome == Outcome::Complete || r.body.empty()) << c.url;
    }
    EXPECT_EQ(answers[server + "/ok"][0].body, "<html><body>AB|1.0.34</body></html>");
    EXPECT_EQ(answers[server + "/ok"][0].contentType, "text/html; charset=utf-8");
}

// Touches about 16 KB of stack per level; returns a sum of what it wrote, as a check.
__attribute__((noinline)) unsigned useStack(int depth) {
    volatile char block[16 * 1024];
    for (std::size_t i = 0; i < sizeof block; i += 512) block[i] = static_cast<char>(depth + i);
    return depth > 0 ? useStack(depth - 1) + block[512] : block[0];
}

TEST(Fetch, AWorkerGivesBackTheStackItNoLongerUses) {
    unsigned before = 0, after = 0;
    int resident = 0;
    std::thread([&] {
        volatile char here = 0;
        std::uintptr_t top = reinterpret_cast<std::uintptr_t>(&here) - 64 * 1024;
        before = useStack(20);
        win32::releaseSpentStack();
        for (std::uintptr_t p = top - 256 * 1024; p < top; p += 4096) {
            PSAPI_WORKING_SET_EX_INFORMATION info{};
            info.VirtualAddress = reinterpret_cast<void*>(p);
            resident += QueryWorkingSetEx(GetCurrentProcess(), &info, sizeof info) && info.VirtualAttributes.Valid;
        }
        after = here == 0 ? useStack(20) : 0;  // the frames above, and calls as deep, are unharmed
    }).join();
    EXPECT_EQ(after, before);
    // Wine keeps every page a thread touched; Windows may keep reset pages in the working set.
    bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    EXPECT_TRUE(!wine || resident < 4) << resident << " pages resident";
}

TEST(Browser, PagesAsTheMottoFeedReadsThem) {
    std::string server = env("TOLM_TEST_SERVER");
    struct Case {
        const char* path;
        std::optional<std::string> inner;
        int completions;
    } cases[] = {
        {"/gbk", "天道酬勤|1.0.34", 1},
        {"/gbkmeta", "天道酬勤|1.0.34", 1},
        {"/lower", "AB|1.0.34<SCRIPT>var s = 'x|9.9.9';</SCRIPT>", 1},
        {"/markup", "<IMG src=x onerror=\"alert(1)\"><B>Hi</B>|1.0.34", 1},
        {"/frames", "<HTML><FRAMESET><FRAME src=\"/ok\"><FRAME src=\"404\"></FRAMESET></HTML>", 3},
        {"/nobody", "AB|1.0.35", 1},
        {"/binary", std::nullopt, 1},
        {"/nul", std::nullopt, 1},
        {"/404", std::nullopt, 1},
    };
    // The requests the publisher took since a point of its log.
    auto requestsSince = [](std::size_t from) {
        std::string log = publisherLog().substr(from), asked;
        for (std::size_t at = 0, end; at < log.size(); at = end + 1) {
            end = std::min(log.find('\n', at), log.size());
            if (log.compare(at, 4, "GET ") == 0) asked += log.substr(at, end - at) + ";";
        }
        return asked;
    };
    for (const Case& c : cases) {
        auto web = platform::systemBrowser();
        int completions = 0;
        web->DocumentComplete = [&](const std::string&) { ++completions; };
        std::size_t logged = publisherLog().size();
        web->Navigate(server + c.path);
        EXPECT_TRUE(web->Busy());
        ASSERT_TRUE(pumpUntil([&] { return !web->Busy(); })) << c.path;
        EXPECT_EQ(completions, c.completions) << c.path;
        EXPECT_EQ(web->BodyInnerHTML(), c.inner) << c.path;
        // The page and nothing else: a frame's address is never asked for.
        wintest::pump(200);
        EXPECT_EQ(requestsSince(logged), "GET " + std::string(c.path) + ";") << c.path;
    }
}

// Whether the shell holds an icon: only a registered icon can be modified.
bool iconThere(HICON icon) {
    NOTIFYICONDATAA probe = NfIcon::recordFor(NfIcon::window(), icon);
    probe.uFlags = NIF_TIP;
    return Shell_NotifyIconA(NIM_MODIFY, &probe);
}

TEST(TrayIcon, RegisteredComesBackWithTheShellAndGoesAtTheEnd) {
    HICON icon = LoadIconW(nullptr, IDI_APPLICATION);
    NfIcon::Register(icon, {});
    NfIcon::Register(icon, {});  // refused by the shell, harmless
    EXPECT_TRUE(iconThere(icon));

    // The shell restarts and has forgotten the icon; its broadcast brings it back.
    NOTIFYICONDATAA gone = NfIcon::recordFor(NfIcon::window(), icon);
    Shell_NotifyIconA(NIM_DELETE, &gone);
    EXPECT_FALSE(iconThere(icon));
    DWORD_PTR result;
    SendMessageTimeoutW(HWND_BROADCAST, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0, SMTO_ABORTIFHUNG, 5000,
                        &result);
    wintest::pump(100);
    EXPECT_TRUE(iconThere(icon));

    win32::runProgramEnd();  // what every way to end the program runs
    EXPECT_FALSE(iconThere(icon));
}

// A shell that is not there at first: it refuses registrations until `refusals` run out. It holds
// the icons it took, as the system's does: adding a held icon or changing a missing one fails.
// A busy one takes the first icon but reports failure.
// It forgets an icon's version with the icon, and counts the icons that were told version 4.
struct ScriptedShell {
    static inline int refusals = 0;
    static inline bool busy = false;
    static inline int adds = 0;  // NIM_ADD calls
    static inline int icons = 0;
    static inline bool versioned = false;
    static inline int versions = 0;  // icons told version 4
    static inline int focusReturns = 0;
    static BOOL WINAPI notify(DWORD message, NOTIFYICONDATAA* data) {
        if (message == NIM_ADD) {
            ++adds;
            if (refusals > 0) return --refusals, FALSE;
            if (busy) return busy = false, icons = 1, versioned = false, FALSE;
            return icons ? FALSE : (icons = 1, versioned = false, TRUE);
        }
        if (message == NIM_MODIFY) return icons == 1;
        if (message == NIM_DELETE) return std::exchange(icons, 0) == 1;
        if (message == NIM_SETVERSION && icons == 1 && data->uVersion == NOTIFYICON_VERSION_4 && !versioned)
            return versioned = true, ++versions, TRUE;
        if (message == NIM_SETFOCUS) return ++focusReturns, icons == 1;
        return FALSE;
    }
};

TEST(TrayIcon, AShellThatRefusesAtFirstGetsTheIconOnceItTakesItAndItsVersionEachTime) {
    HICON icon = LoadIconW(nullptr, IDI_APPLICATION);
    NfIcon::useShell(ScriptedShell::notify);
    const struct {
        const char* shell;
        int refusals;
        bool busy;
        int adds;  // registrations until the shell holds the icon
    } cases[] = {
        {"there", 0, false, 1},
        {"not there for the first two tries", 2, false, 3},
        {"busy: takes the icon but reports failure", 0, true, 1},
    };
    for (const auto& c : cases) {
        ScriptedShell::refusals = c.refusals, ScriptedShell::busy = c.busy;
        ScriptedShell::adds = ScriptedShell::icons = ScriptedShell::versions = 0;
        NfIcon::Register(icon, {});
        ASSERT_TRUE(pumpUntil([] { return ScriptedShell::icons == 1; }, 30000)) << c.shell;
        // Quiet from then on: more than a retry's interval passes without another registration.
        wintest::pump(2 * platform::TrayRetry::kRetryMs);
        NfIcon::Register(icon, {});  // the motto page handled again
        EXPECT_EQ(ScriptedShell::adds, c.adds) << c.shell;
        EXPECT_EQ(ScriptedShell::icons, 1) << c.shell;
        EXPECT_EQ(ScriptedShell::versions, 1) << c.shell;
        ScriptedShell::focusReturns = 0;
        NfIcon::ReturnFocus();  // Esc closed the icon's menu
        EXPECT_EQ(ScriptedShell::focusReturns, 1) << c.shell;

        // The shell restarts, forgets the icon, and refuses once more: the icon still comes back.
        ScriptedShell::icons = 0, ScriptedShell::refusals = 1;
        DWORD_PTR result;
        SendMessageTimeoutW(HWND_BROADCAST, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0, SMTO_ABORTIFHUNG, 5000,
                            &result);
        ASSERT_TRUE(pumpUntil([] { return ScriptedShell::icons == 1; }, 30000)) << c.shell << ", after the restart";
        EXPECT_EQ(ScriptedShell::versions, 2) << c.shell << ", after the restart";
        win32::runProgramEnd();
        EXPECT_EQ(ScriptedShell::icons, 0) << c.shell;
    }
    NfIcon::useShell(nullptr);
}

}  // namespace
