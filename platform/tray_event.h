#pragma once
// What the user did to the program's notification-area icon, as the program sees it: the
// system's own notifications are decoded where they arrive (platform/win32/tray_message.h).
#include "platform/forms/backend.h"

namespace platform {

struct TrayEvent {
    enum class Kind {
        RightPress,   // the right mouse button went down on the icon
        KeySelect,    // Enter or Space on the icon that has the keyboard
        ContextMenu,  // the icon's menu asked for from the keyboard: Shift+F10, the menu key
    };
    Kind kind = Kind::RightPress;
    // Where it happened on the screen, in pixels: the pointer for the mouse, the icon's top-left
    // corner for the keyboard.
    forms::PixelPoint anchor;

    bool byKeyboard() const { return kind != Kind::RightPress; }
    constexpr bool operator==(const TrayEvent&) const = default;
};

}  // namespace platform
