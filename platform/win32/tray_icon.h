#pragma once
// The notification-area icon: the first-version record, registered with the system's ANSI
// call until the shell takes it (platform/tray_retry.h), registered again when the shell
// restarts, and removed when the program ends.
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

namespace NfIcon {

// The record in its first-version layout, the one with a 64-character tip.
struct NOTIFYICONDATA {
    DWORD cbSize;
    HWND hWnd;
    UINT uID;
    UINT uFlags;
    UINT uCallbackMessage;
    HICON hIcon;
    CHAR szTip[64];
};

// The record for a window and its icon: identifier = the icon's handle value, flags 7
// (message, icon, tip), callback WM_MOUSEMOVE, tip "TOLM".
NOTIFYICONDATA recordFor(HWND window, HICON icon);

// Registers the icon (NIM_ADD). A shell that refuses it (not there yet at log-on) is asked
// again every 2 s for 5 minutes, then at each announcement of its start; an icon the shell
// holds is left as it is. From then on the icon
// comes back when the shell restarts and goes when the program ends.
void Register(HWND window, HICON icon);
// Removes the icon now, if there is one, and stops asking for it.
void Remove();

// The shell's registration call, replaceable so that tests can play a shell that refuses;
// nullptr: the system's Shell_NotifyIconA.
using ShellNotify = BOOL(WINAPI*)(DWORD message, NOTIFYICONDATAA* data);
void useShell(ShellNotify notify);

}  // namespace NfIcon
