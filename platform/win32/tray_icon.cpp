#include "platform/win32/tray_icon.h"

#include <shellapi.h>

#include <cstring>
#include <type_traits>

#include "platform/tray_retry.h"
#include "platform/win32/helper_window.h"
#include "platform/win32/program_end.h"

namespace NfIcon {

static_assert(sizeof(NOTIFYICONDATA) == NOTIFYICONDATAA_V1_SIZE, "first-version layout");
#if defined(__i386__) || defined(_M_IX86)
static_assert(sizeof(NOTIFYICONDATA) == 88, "the shipped 32-bit record is 88 bytes");
#endif
// The replacement must be called as the system's call is (__stdcall on i686).
static_assert(std::is_same_v<ShellNotify, decltype(&Shell_NotifyIconA)>);

namespace {

constexpr UINT_PTR kRetryTimer = 1;

NOTIFYICONDATA record{};  // lives for the whole run
UINT taskbarCreated = 0;
HWND listener = nullptr;
ShellNotify shell = nullptr;  // nullptr: the system's

BOOL notify(DWORD message) {
    auto* r = reinterpret_cast<NOTIFYICONDATAA*>(&record);
    return shell ? shell(message, r) : Shell_NotifyIconA(message, r);
}

// A registration the shell reports as failed may still have arrived (a busy shell answers
// late): then only a change of the icon it holds succeeds, and changes nothing.
bool add() { return notify(NIM_ADD) || notify(NIM_MODIFY); }

void retryTimer(bool on) {
    if (on)
        SetTimer(listener, kRetryTimer, platform::TrayRetry::kRetryMs, nullptr);
    else if (listener)
        KillTimer(listener, kRetryTimer);
}

platform::TrayRetry& registration() {
    static platform::TrayRetry r(add, retryTimer);
    return r;
}

// A hidden top-level window: the shell's restart is broadcast to top-level windows only, and
// the end of the session reaches them too.
LRESULT CALLBACK listen(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == taskbarCreated && taskbarCreated != 0) {
        registration().shellStarted();
        return 0;
    }
    if (msg == WM_TIMER && wp == kRetryTimer) {
        registration().tick();
        return 0;
    }
    if (msg == WM_ENDSESSION && wp) Remove();
    return DefWindowProcW(hwnd, msg, wp, lp);
}

void startListening() {
    if (listener) return;
    taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    listener = win32::createHelperWindow(L"TolmTrayListener", listen, nullptr);
}

}  // namespace

NOTIFYICONDATA recordFor(HWND window, HICON icon) {
    NOTIFYICONDATA r{};
    r.cbSize = sizeof r;
    r.hWnd = window;
    r.uID = static_cast<UINT>(reinterpret_cast<UINT_PTR>(icon));
    r.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    r.uCallbackMessage = WM_MOUSEMOVE;
    r.hIcon = icon;
    std::strcpy(r.szTip, "TOLM");
    return r;
}

void Register(HWND window, HICON icon) {
    startListening();
    if (!registration().wanted()) win32::atProgramEnd(Remove);
    record = recordFor(window, icon);
    registration().request();
}

void Remove() {
    if (registration().withdraw()) notify(NIM_DELETE);
}

void useShell(ShellNotify notify) { shell = notify; }

}  // namespace NfIcon
