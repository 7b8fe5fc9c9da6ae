#pragma once
// The widget in a folder of its own against the scripted publisher: what the publisher serves,
// the widget's windows, the manual check and the update's start, for the tests of the update and
// of the publisher's https.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>

#include "e2e_support.h"
#include "platform/win32/text.h"

namespace e2e {

const wchar_t* const kForm = L"TolmForm";
const wchar_t* const kCurrent = L"已是最新版本,无需更新";
const wchar_t* const kFailed = L"下载错误";

// A window of the widget, shown or not (visibleOnly false): whether it exists at all.
inline HWND window(DWORD pid, const wchar_t* caption, bool visibleOnly = true, const wchar_t* cls = kForm) {
    for (HWND h = nullptr; (h = FindWindowExW(nullptr, h, cls, caption)) != nullptr;) {
        DWORD owner = 0;
        GetWindowThreadProcessId(h, &owner);
        if (owner == pid && (!visibleOnly || IsWindowVisible(h))) return h;
    }
    return nullptr;
}

// The path the system gives for a file once it is open, links in the folders above it resolved:
// the widget starts its update by that path, so a checkout reached through a symbolic link starts
// it under the link's target, not under the path the test put it by.
inline std::string finalPath(const std::wstring& path) {
    HANDLE f = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return {};
    wchar_t buf[MAX_PATH * 2];
    DWORD n = GetFinalPathNameByHandleW(f, buf, MAX_PATH * 2, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    CloseHandle(f);
    std::wstring w(buf, n < MAX_PATH * 2 ? n : 0);
    if (w.rfind(L"\\\\?\\", 0) == 0) w.erase(0, 4);
    return win32::narrow(w);
}

inline bool waitGone(DWORD pid, const wchar_t* caption, int ms) {
    for (DWORD until = GetTickCount() + ms; static_cast<int>(until - GetTickCount()) > 0; Sleep(100))
        if (!window(pid, caption, false)) return true;
    return false;
}

class Update : public ::testing::Test {
protected:
    std::wstring source = e2e::env(L"TOLM_APP_DIR");
    std::wstring dir = e2e::env(L"TOLM_E2E_DIR") + L"\\update-app";
    std::wstring control = e2e::env(L"TOLM_PUBLISHER_CONTROL");
    std::wstring log = e2e::env(L"TOLM_PUBLISHER_LOG");
    std::wstring marker = dir + L"\\started.txt";
    // The release the served program says it is (its version resource), to be announced.
    std::wstring releaseText = e2e::env(L"TOLM_UPDATE_VERSION");
    std::string release{releaseText.begin(), releaseText.end()};  // digits and dots
    std::wstring exe = dir + L"\\tolmupdate.exe";
    std::unique_ptr<e2e::Process> tolm;
    HWND widget = nullptr;

    void SetUp() override {
        ASSERT_FALSE(source.empty());
        ASSERT_FALSE(release.empty());
        ASSERT_FALSE(control.empty());
        // A copy of the installed folder, so that downloads land beside a tolm.exe of our own.
        e2e::removeTree(dir);
        CreateDirectoryW((e2e::env(L"TOLM_E2E_DIR")).c_str(), nullptr);
        ASSERT_TRUE(CreateDirectoryW(dir.c_str(), nullptr));
        CreateDirectoryW((dir + L"\\ui").c_str(), nullptr);
        ASSERT_TRUE(CopyFileW((source + L"\\tolm.exe").c_str(), (dir + L"\\tolm.exe").c_str(), FALSE));
        ASSERT_TRUE(CopyFileW((source + L"\\ui\\back.png").c_str(), (dir + L"\\ui\\back.png").c_str(), FALSE));
        DeleteFileW(log.c_str());
        SetEnvironmentVariableW(L"TOLM_UPDATE_MARKER", marker.c_str());
    }
    void TearDown() override {
        if (tolm) tolm->kill();
        e2e::removeTree(dir);
    }

    // Over https, the publisher's certificate too (tests/web/test-ca.sh names them).
    std::string certificate = "trusted";
    bool https() const { return e2e::env(L"TOLM_TEST_SERVER").rfind(L"https://", 0) == 0; }

    void serve(const std::string& motto, const char* update) {
        std::ofstream f(control.c_str(), std::ios::trunc);
        f << "motto " << motto << "\nupdate " << update << "\ncert " << certificate << "\n";
    }
    void start() {
        tolm = std::make_unique<e2e::Process>(dir + L"\\tolm.exe", dir);
        widget = e2e::waitWindow(tolm->id(), kForm, L"Tolm", 60000);
        ASSERT_TRUE(widget) << "no countdown window: " << e2e::fate(*tolm);
    }
    DWORD pid() const { return tolm->id(); }
    int starts() { return countLines(slurp(marker)); }
    int requests(const std::string& path) { return countLines(slurp(log), "GET " + path); }
    bool leftBehind() { return e2e::fileExists(exe) || e2e::fileExists(exe + L".part"); }
    bool running() { return !tolm->waitExit(0) && IsWindowVisible(widget); }
    // A refused update: "下载错误", the prompt gone, nothing left, nothing started, the widget on.
    void expectRefused() {
        EXPECT_EQ(answerMessage(pid(), 180000), kFailed);
        EXPECT_TRUE(waitGone(pid(), L"FormExit", 10000));
        EXPECT_FALSE(leftBehind());
        Sleep(1000);
        EXPECT_EQ(starts(), 0);
        EXPECT_TRUE(running());
    }

    // The about window: the tray's right press opens the menu, and its "关于" the window.
    // The icon's presses count only once the motto page has been handled, as the icon itself
    // appears only then: pressed until the menu opens.
    HWND openAbout() {
        HWND menu = nullptr;
        for (DWORD until = GetTickCount() + 60000; !menu && static_cast<int>(until - GetTickCount()) > 0;) {
            POINT at;
            GetCursorPos(&at);
            if (e2e::TrayIcon icon(widget); icon.window) icon.rightClick(at);
            menu = e2e::waitWindow(pid(), kForm, L"FormMenu", 200);
        }
        if (!menu) {
            ADD_FAILURE() << "the menu did not open";
            return nullptr;
        }
        click(menu, 62, 64);
        HWND about = e2e::waitWindow(pid(), kForm, L"FormAbout", 30000);
        if (!about) ADD_FAILURE() << "the about window did not open";
        return about;
    }
    // The manual check: the about window's "检测更新".
    void checkByHand() {
        if (HWND about = openAbout()) click(about, 256, 112);
    }
    // The automatic way: the prompt for the announced version, and its "是".
    void takeThePromptedUpdate() {
        HWND prompt = e2e::waitWindow(pid(), kForm, L"FormExit", 60000);
        ASSERT_TRUE(prompt) << "no update prompt for a published " << release;
        click(prompt, 90, 124);
    }
    void waitStarts(int n) {
        for (int i = 0; i < 300 && starts() < n; ++i) Sleep(100);
        EXPECT_EQ(starts(), n);
    }
};

}  // namespace e2e
