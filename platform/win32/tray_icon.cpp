#include "platform/win32/tray_icon.h"

#include <shellapi.h>

#include <cstring>
#include <type_traits>

#include "platform/tray_retry.h"
#include "platform/win32/helper_window.h"
#include "platform/win32/program_end.h"
#include "platform/win32/tray_message.h"

namespace NfIcon {

// The record with a version: NIM_SETVERSION reads it, and the tip flag of version 4 needs it.
static_assert(sizeof(NOTIFYICONDATAA) > NOTIFYICONDATAA_V3_SIZE, "the record of Windows Vista and later");
#if defined(__i386__) || defined(_M_IX86)
static_assert(sizeof(NOTIFYICONDATAA) == 508, "the shipped 32-bit record is 508 bytes");
#endif
// The replacement must be called as the system's call is (__stdcall on i686).
static_assert(std::is_same_v<ShellNotify, decltype(&Shell_NotifyIconA)>);

namespace {

constexpr UINT_PTR kRetryTimer = 1;

NOTIFYICONDATAA record{};  // lives for the whole run
UINT taskbarCreated = 0;
HWND listener = nullptr;
ShellNotify shell = nullptr;  // nullptr: the system's
win32::TrayMessages messages;
std::function<void(const platform::TrayEvent&)> reported;

BOOL notify(DWORD message) { return shell ? shell(message, &record) : Shell_NotifyIconA(message, &record); }

// A registration the shell reports as failed may still have arrived (a busy shell answers
// late): then only a change of the icon it holds succeeds, and changes nothing. Either way the
// icon the shell now holds is told the version, which the shell forgets with the icon.
bool add() {
    if (!notify(NIM_ADD) && !notify(NIM_MODIFY)) return false;
    notify(NIM_SETVERSION);  // refused, the icon still works from the mouse (tray_message.h)
    return true;
}

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
    if (msg == kCallbackMessage) {
        if (auto event = messages.decode(wp, lp); event && reported) reported(*event);
        return 0;
    }
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
    listener = win32::createHelperWindow(kWindowClass, listen, nullptr);
}

}  // namespace

NOTIFYICONDATAA recordFor(HWND window, HICON icon) {
    NOTIFYICONDATAA r{};
    r.cbSize = sizeof r;
    r.hWnd = window;
    r.uID = static_cast<UINT>(reinterpret_cast<UINT_PTR>(icon));
    r.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_SHOWTIP;
    r.uCallbackMessage = kCallbackMessage;
    r.hIcon = icon;
    std::strcpy(r.szTip, "TOLM");
    r.uVersion = NOTIFYICON_VERSION_4;
    return r;
}

void Register(HICON icon, std::function<void(const platform::TrayEvent&)> onEvent) {
    startListening();
    if (!registration().wanted()) win32::atProgramEnd(Remove);
    reported = std::move(onEvent);
    record = recordFor(listener, icon);
    registration().request();
}

HWND window() { return listener; }

void ReturnFocus() {
    if (registration().held()) notify(NIM_SETFOCUS);
}

void Remove() {
    if (registration().withdraw()) notify(NIM_DELETE);
}

void useShell(ShellNotify notify) { shell = notify; }

}  // namespace NfIcon
