#pragma once
// The shell's notifications about the icon, turned into the program's own events. The icon is
// registered with version 4, for which the callback message carries what happened in the low
// word of lParam, the icon's id in its high word, and the anchor point in wParam (x in the low
// word, y in the high, signed screen pixels). What the shell documents for such an icon:
//   a right click        WM_RBUTTONDOWN, WM_RBUTTONUP, then WM_CONTEXTMENU
//   Enter, Space         NIN_KEYSELECT (for Enter the shell may send it twice)
//   Shift+F10, menu key  WM_CONTEXTMENU, anchored at the icon's top-left corner
// The WM_CONTEXTMENU that ends a right click is the click's own and asks for nothing more.
// Should the shell refuse version 4, lParam is the bare mouse message and a keyboard selection
// arrives as a right click: the icon then still works, from the mouse's side.
// No windows.h here, so that the host tests reach the decoding.
#include <cstdint>
#include <optional>

#include "platform/tray_event.h"

namespace win32 {

class TrayMessages {
public:
    std::optional<platform::TrayEvent> decode(std::uintptr_t wParam, std::intptr_t lParam);

private:
    // The right button has just been released on the icon: the context menu that follows is its.
    bool rightReleased_ = false;
};

}  // namespace win32
