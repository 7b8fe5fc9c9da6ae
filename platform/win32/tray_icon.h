#pragma once
// The notification-area icon: the first-version record, registered with the system's ANSI
// call, registered again when the shell restarts, and removed when the program ends.
#include <windows.h>

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

// Registers the icon (NIM_ADD; the result is not looked at: a second registration of the same
// icon is refused and changes nothing). From then on the icon comes back when the shell
// restarts and goes when the program ends.
void Register(HWND window, HICON icon);
// Removes the icon now, if there is one.
void Remove();

}  // namespace NfIcon
