#pragma once
// The notification-area icon: registered with the system's ANSI call until the shell takes it
// (platform/tray_retry.h), registered again when the shell restarts, and removed when the program
// ends. It reports to a hidden window of its own, which turns the shell's notifications into the
// program's events (platform/win32/tray_message.h).
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <functional>

#include "platform/tray_event.h"

namespace NfIcon {

// The shell's notifications come as this message to the icon's window.
constexpr UINT kCallbackMessage = WM_APP + 0x54;
// The class of the icon's window: a hidden top-level window, which the shell's restart reaches.
constexpr wchar_t kWindowClass[] = L"TolmTrayListener";

// The record for the icon's window and the icon: identifier = the icon's handle value, callback
// kCallbackMessage, tip "TOLM" (shown by the shell also under version 4), version 4 for
// NIM_SETVERSION.
NOTIFYICONDATAA recordFor(HWND window, HICON icon);

// Registers the icon (NIM_ADD, then NIM_SETVERSION, each time the shell takes it). A shell that
// refuses it (not there yet at log-on) is asked again every 2 s for 5 minutes, then at each
// announcement of its start; an icon the shell holds is left as it is. From then on the icon
// comes back when the shell restarts and goes when the program ends. What the user does to it
// reaches `onEvent`, on this thread.
void Register(HICON icon, std::function<void(const platform::TrayEvent&)> onEvent);
// The icon's window (nullptr before the first registration).
HWND window();
// Hands the keyboard back to the notification area, as the shell asks of an icon whose menu was
// closed by Esc.
void ReturnFocus();
// Removes the icon now, if there is one, and stops asking for it.
void Remove();

// The shell's registration call, replaceable so that tests can play a shell that refuses;
// nullptr: the system's Shell_NotifyIconA.
using ShellNotify = BOOL(WINAPI*)(DWORD message, NOTIFYICONDATAA* data);
void useShell(ShellNotify notify);

}  // namespace NfIcon
