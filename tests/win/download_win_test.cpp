// DownLoad on the real window system: the update comes from files through a stand-in for the
// fetch layer (its answers arrive later, on this thread, as the real one's do), is checked with
// CNG against the demo key, written beside this program and started elevated.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <deque>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>

#include "build_config.h"
#include "platform/signature.h"
#include "platform/win32/backend.h"
#include "platform/win32/text.h"
#include "tolm/countdown/services.h"
#include "tolm/layouts/layouts.h"
#include "tolm/update/download.h"
#include "tolm/update/form_exit.h"

namespace {

using platform::FetchResult;

std::string slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

class FileFetcher final : public platform::Fetcher {
public:
    std::map<std::string, FetchResult> answers;  // by address; any other fails
    FileFetcher() { current = this; }
    ~FileFetcher() override { current = nullptr; }
    void get(platform::FetchRequest request, Done done) override {
        auto it = answers.find(request.url);
        due.emplace_back(it == answers.end() ? FetchResult{} : it->second, std::move(done));
        SetTimer(nullptr, 0, 10, deliver);
    }

private:
    static void CALLBACK deliver(HWND, UINT, UINT_PTR id, DWORD) {
        KillTimer(nullptr, id);
        if (!current || current->due.empty()) return;
        auto [result, done] = std::move(current->due.front());
        current->due.pop_front();
        done(std::move(result));
    }
    static inline FileFetcher* current = nullptr;
    std::deque<std::pair<FetchResult, Done>> due;
};

// Answers the program's message boxes from another thread, as a user would, noting their texts.
class MessageWatch {
public:
    MessageWatch() : thread_([this] { watch(); }) {}
    ~MessageWatch() {
        stop_ = true;
        thread_.join();
    }
    std::vector<std::wstring> texts() {
        std::lock_guard<std::mutex> lock(m_);
        return texts_;
    }

private:
    void watch() {
        while (!stop_) {
            HWND box = FindWindowW(L"#32770", L"TOLM");
            DWORD pid = 0;
            if (box) GetWindowThreadProcessId(box, &pid);
            if (box && pid == GetCurrentProcessId() && IsWindowVisible(box)) {
                std::wstring text;
                EnumChildWindows(box, collect, reinterpret_cast<LPARAM>(&text));
                {
                    std::lock_guard<std::mutex> lock(m_);
                    texts_.push_back(text);
                }
                if (GetEnvironmentVariableW(L"TOLM_HOLD_MESSAGE", nullptr, 0)) Sleep(4000);  // to be looked at
                SendMessageW(box, WM_COMMAND, IDOK, 0);
            }
            Sleep(20);
        }
    }
    static BOOL CALLBACK collect(HWND h, LPARAM p) {
        wchar_t c[64], t[512];
        GetClassNameW(h, c, 64);
        if (lstrcmpiW(c, L"Static") == 0 && GetWindowTextW(h, t, 512) > 0) *reinterpret_cast<std::wstring*>(p) += t;
        return TRUE;
    }
    std::atomic<bool> stop_{false};
    std::mutex m_;
    std::vector<std::wstring> texts_;
    std::thread thread_;
};

template <class F>
void pumpUntil(F&& done, int ms = 20000) {
    for (DWORD until = GetTickCount() + ms; !done() && static_cast<int>(until - GetTickCount()) > 0;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(5);
    }
}

FetchResult reply(int status, std::string body) {
    FetchResult r;
    r.outcome = FetchResult::Outcome::Complete, r.status = status, r.body = std::move(body);
    return r;
}

TEST(DownLoadOnWindows, AVerifiedUpdateIsStartedAndAFailedOneLeavesNothing) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::string folder = win32::narrow(self);
    folder.erase(folder.rfind('\\'));
    const std::string exe = folder + "\\tolmupdate.exe", marker = folder + "\\tolmupdate-started.txt";
    char build[1024];
    GetEnvironmentVariableA("TOLM_BUILD_DIR", build, sizeof build);
    const std::string site = std::string(build) + "\\site\\software\\tolmupdate.exe";
    const std::string program = slurp(site), sig = slurp(site + ".sig");
    ASSERT_GT(program.size(), 1000u);
    DeleteFileA(marker.c_str());
    SetEnvironmentVariableA("TOLM_UPDATE_MARKER", marker.c_str());

    FileFetcher fetcher;
    tolm::services().fetcher = &fetcher;
    tolm::services().files = &platform::systemFiles();
    tolm::services().launch = platform::runElevated;
    tolm::services().verifyUpdate = [](std::string_view data, std::string_view s) {
        return platform::verifyP256(platform::P256PublicKey{DEMO_KEY}, data, s);
    };
    const std::string url = std::string(TOLM_PUBLISHER) + "/software/tolmupdate.exe";

    struct Case {
        const char* what;
        bool manual;
        FetchResult sig, program;
        int starts;
    } cases[] = {
        {"404 by hand", true, reply(200, sig), reply(404, "<h1>Not Found</h1>"), 0},
        {"good from the prompt", false, reply(200, sig), reply(200, program), 1},
        {"cut short from the prompt", false, reply(200, sig), reply(200, program.substr(0, 4096)), 1},
        {"good by hand", true, reply(200, sig), reply(200, program), 2},
        {"signature of another file by hand", true, reply(200, sig), reply(200, program + "x"), 2},
    };
    win32::Win32Backend backend(GetModuleHandleW(nullptr));
    forms::App app(backend, "TOLM");
    backend.attach(app);
    MessageWatch messages;
    std::size_t boxes = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fetcher.answers = {{url + ".sig", c.sig}, {url, c.program}};
        if (!c.manual) app.form<tolm::FormExit>().show();
        tolm::DownLoad& d = app.form<tolm::DownLoad>();
        if (c.manual) d.show();
        EXPECT_FALSE(IsWindowVisible(static_cast<HWND>(d.handle()))) << "seen during the transfer";
        pumpUntil([&] { return !app.isLoaded<tolm::DownLoad>() || app.form<tolm::DownLoad>().transferEnded(); });
        if (app.isLoaded<tolm::DownLoad>()) {
            EXPECT_EQ(IsWindowVisible(static_cast<HWND>(d.handle())) != FALSE, c.manual);
            if (GetEnvironmentVariableW(L"TOLM_HOLD_MESSAGE", nullptr, 0)) pumpUntil([] { return false; }, 4000);
            // The layout's own TimerExit ticks once it is there; until then, tick by hand.
            bool timer = false;
            for (const auto& row : tolm::layouts::DownLoad.controls) timer |= std::string(row.name) == "TimerExit";
            if (!timer) {
                app.enter();
                d.TimerExit_Timer();
                app.leave();
            }
            pumpUntil([&] { return !app.isLoaded<tolm::DownLoad>(); });
        }
        EXPECT_FALSE(app.isLoaded<tolm::DownLoad>());
        EXPECT_FALSE(app.isLoaded<tolm::FormExit>());
        bool failed = c.program.body != program;
        EXPECT_EQ(messages.texts().size(), boxes + failed);
        if (failed) {
            EXPECT_EQ(messages.texts().back(), L"下载错误");
        }
        boxes = messages.texts().size();
        EXPECT_EQ(GetFileAttributesA((exe + ".part").c_str()), INVALID_FILE_ATTRIBUTES);
        if (failed) {
            EXPECT_EQ(GetFileAttributesA(exe.c_str()), INVALID_FILE_ATTRIBUTES) << "a stale update stayed";
        }
        auto starts = [&] {
            std::string started = slurp(marker);
            return static_cast<int>(std::count(started.begin(), started.end(), '\n'));
        };
        pumpUntil([&] { return starts() >= c.starts; });
        EXPECT_EQ(starts(), c.starts);
    }
    EXPECT_EQ(slurp(marker).substr(0, exe.size() + 1), exe + "\n") << "started by its full path";
    for (int i = 0; i < 100 && !DeleteFileA(exe.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND; ++i) Sleep(50);
    DeleteFileA(marker.c_str());
    tolm::services() = {};
}

}  // namespace
