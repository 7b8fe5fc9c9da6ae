// The update over a slow line, through real tolm.exe programs in real time, one after another
// (a second start would only show the first): a transfer that keeps moving may take as long as
// it needs, one that falls silent halfway is given up with "下载错误", and a motto page that
// never quite ends is given up at its limit. What is given up leaves no worker thread and no
// connection behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <memory>

#include "e2e_support.h"

namespace {

const wchar_t* const kForm = L"TolmForm";

template <class F>
bool waitFor(F&& done, int ms) {
    for (DWORD until = GetTickCount() + static_cast<DWORD>(ms); static_cast<int>(until - GetTickCount()) > 0;
         Sleep(100))
        if (done()) return true;
    return done();
}

// A widget started from a copy of the installed folder of its own, where its update lands.
struct Widget {
    std::wstring dir, exe, marker;
    std::unique_ptr<e2e::Process> process;
    HWND window = nullptr;

    explicit Widget(const std::wstring& name)
        : dir(e2e::env(L"TOLM_E2E_DIR") + L"\\" + name),
          exe(dir + L"\\tolmupdate.exe"),
          marker(dir + L"\\started.txt") {
        std::wstring source = e2e::env(L"TOLM_APP_DIR");
        e2e::removeTree(dir);
        CreateDirectoryW(e2e::env(L"TOLM_E2E_DIR").c_str(), nullptr);
        CreateDirectoryW(dir.c_str(), nullptr);
        CreateDirectoryW((dir + L"\\ui").c_str(), nullptr);
        CopyFileW((source + L"\\tolm.exe").c_str(), (dir + L"\\tolm.exe").c_str(), FALSE);
        CopyFileW((source + L"\\ui\\back.png").c_str(), (dir + L"\\ui\\back.png").c_str(), FALSE);
        SetEnvironmentVariableW(L"TOLM_UPDATE_MARKER", marker.c_str());  // inherited by its update
        process = std::make_unique<e2e::Process>(dir + L"\\tolm.exe", dir);
        window = e2e::waitWindow(pid(), kForm, L"Tolm", 60000);
    }
    ~Widget() {
        process.reset();
        e2e::removeTree(dir);
    }
    DWORD pid() const { return process->id(); }
    int starts() const { return e2e::countLines(e2e::slurp(marker)); }
    bool leftBehind() const { return e2e::fileExists(exe) || e2e::fileExists(exe + L".part"); }
    // The update prompt's "是", once the prompt has come.
    bool acceptUpdate() const {
        HWND prompt = e2e::waitWindow(pid(), kForm, L"FormExit", 60000);
        if (prompt) e2e::click(prompt, 90, 124);
        return prompt != nullptr;
    }
};

class SlowLine : public ::testing::Test {
protected:
    std::wstring control = e2e::env(L"TOLM_PUBLISHER_CONTROL");
    std::wstring log = e2e::env(L"TOLM_PUBLISHER_LOG");

    void serve(const char* motto, const char* update) {
        std::ofstream(control.c_str(), std::ios::trunc) << "motto " << motto << "\nupdate " << update << "\n";
    }
    // How often the publisher has logged exactly this line.
    int logged(const std::string& line) {
        std::string text = "\n" + e2e::slurp(log);
        int n = 0;
        for (std::size_t at = 0; (at = text.find("\n" + line + "\n", at)) != std::string::npos; ++at) ++n;
        return n;
    }
};

TEST_F(SlowLine, AMovingUpdateTakesItsTimeWhatFallsSilentOrDripsIsGivenUpAndLeavesNothing) {
    ASSERT_FALSE(control.empty()) << "run through tests/web/with-publisher.sh";
    std::string large = e2e::slurp(e2e::env(L"TOLM_UPDATE_LARGE"));
    ASSERT_GT(large.size(), 2000000u);
    const std::string update = "/software/tolmupdate.exe";
    const std::string motto = "/tolm/motto.html";
    // One widget at a time (a second start only shows the first); each case by a deadline
    // generous even for a slow machine.
    auto deadline = [] {
        DWORD end = GetTickCount() + 240000;
        return [end] { return std::max(0, static_cast<int>(end - GetTickCount())); };
    };

    // A motto page that drips a byte every 20 s: never silent for long, never done. Given up at
    // the page's limit, its connection is closed and its worker ends; the widget goes on.
    {
        int asked = logged("GET " + motto), gone = logged("gone " + motto);
        serve("drip", "steady");
        Widget dripping(L"slow-drip");
        ASSERT_TRUE(dripping.window) << e2e::fate(*dripping.process);
        ASSERT_TRUE(waitFor([&] { return logged("GET " + motto) == asked + 1; }, 60000));
        int threads = e2e::threadCount(dripping.pid());  // its fetch's worker among them
        auto left = deadline();
        EXPECT_TRUE(waitFor([&] { return logged("gone " + motto) == gone + 1; }, left()));
        EXPECT_TRUE(waitFor([&] { return e2e::threadCount(dripping.pid()) < threads; }, left()))
            << e2e::threadCount(dripping.pid()) << " threads, " << threads << " during the transfer";
        EXPECT_FALSE(dripping.process->waitExit(0)) << "the widget itself ended";
    }

    // Half of the update, then 40 s of nothing: 30 s of silence fail it, nothing started, nothing
    // left, the connection closed and the worker ended.
    {
        int gone = logged("gone " + update), paused = logged("paused " + update);
        serve("1.0.35", "stalled");
        Widget stalled(L"slow-stalled");
        ASSERT_TRUE(stalled.window) << e2e::fate(*stalled.process);
        ASSERT_TRUE(stalled.acceptUpdate()) << "no update prompt for a published 1.0.35";
        ASSERT_TRUE(waitFor([&] { return logged("paused " + update) == paused + 1; }, 120000));
        int threads = e2e::threadCount(stalled.pid());
        auto left = deadline();
        EXPECT_EQ(e2e::answerMessage(stalled.pid(), left()), L"下载错误");
        EXPECT_FALSE(stalled.leftBehind());
        EXPECT_EQ(stalled.starts(), 0);
        EXPECT_TRUE(waitFor([&] { return logged("gone " + update) == gone + 1; }, left()));
        EXPECT_TRUE(waitFor([&] { return e2e::threadCount(stalled.pid()) < threads; }, left()))
            << e2e::threadCount(stalled.pid()) << " threads, " << threads << " during the transfer";
    }

    // The 2 MB update sent evenly over 45 s, longer than any single limit of the old transfer:
    // it arrives whole and starts.
    {
        serve("1.0.35", "steady");
        Widget steady(L"slow-steady");
        ASSERT_TRUE(steady.window) << e2e::fate(*steady.process);
        ASSERT_TRUE(steady.acceptUpdate()) << "no update prompt for a published 1.0.35";
        auto left = deadline();
        EXPECT_TRUE(waitFor([&] { return steady.starts() == 1; }, left())) << "the steady update was not started";
        EXPECT_TRUE(e2e::slurp(steady.exe) == large) << "not the published update, whole";
        EXPECT_FALSE(e2e::waitWindow(steady.pid(), L"#32770", L"TOLM", 1000)) << "a message after a good update";
    }
}

}  // namespace
