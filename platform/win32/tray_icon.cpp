#include "platform/win32/tray_icon.h"

#include <shellapi.h>

#include <cstring>

#include "platform/win32/helper_window.h"
#include "platform/win32/program_end.h"

namespace NfIcon {

static_assert(sizeof(NOTIFYICONDATA) == NOTIFYICONDATAA_V1_SIZE, "first-version layout");
#if defined(__i386__) || defined(_M_IX86)
static_assert(sizeof(NOTIFYICONDATA) == 88, "the shipped 32-bit record is 88 bytes");
#endif

namespace {

NOTIFYICONDATA record{};  // lives for the whole run
bool registered = false;
UINT taskbarCreated = 0;
HWND listener = nullptr;

BOOL notify(DWORD message) {
    return Shell_NotifyIconA(message, reinterpret_cast<NOTIFYICONDATAA*>(&record));
}

// A hidden top-level window: the shell's restart is broadcast to top-level windows only, and
// the end of the session reaches them too.
LRESULT CALLBACK listen(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == taskbarCreated && taskbarCreated != 0) {
        if (registered) notify(NIM_ADD);
        return 0;
    }
    if (msg == WM_ENDSESSION && wp) Remove();
    return DefWindowProcW(hwnd, msg, wp, lp);
}

void startListening() {
    if (listener) return;
    taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    listener = win32::createHelperWindow(L"TolmTrayListener", listen, nullptr);
    win32::atProgramEnd(Remove);
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
    record = recordFor(window, icon);
    registered = true;
    notify(NIM_ADD);
}

void Remove() {
    if (!registered) return;
    registered = false;
    notify(NIM_DELETE);
}

}  // namespace NfIcon
