#include "platform/win32/tray_message.h"

namespace win32 {

namespace {
// The notifications that matter, as the system's headers number them.
constexpr unsigned WM_CONTEXTMENU_ = 0x007B;
constexpr unsigned WM_MOUSEMOVE_ = 0x0200;
constexpr unsigned WM_RBUTTONDOWN_ = 0x0204;
constexpr unsigned WM_RBUTTONUP_ = 0x0205;
constexpr unsigned NIN_KEYSELECT_ = 0x0401;
constexpr unsigned NIN_POPUPOPEN_ = 0x0406;
constexpr unsigned NIN_POPUPCLOSE_ = 0x0407;

// A signed 16-bit coordinate, as GET_X_LPARAM and GET_Y_LPARAM read it.
int coordinate(std::uintptr_t word) { return static_cast<std::int16_t>(static_cast<std::uint16_t>(word & 0xFFFF)); }
}  // namespace

std::optional<platform::TrayEvent> TrayMessages::decode(std::uintptr_t wParam, std::intptr_t lParam) {
    using Kind = platform::TrayEvent::Kind;
    const unsigned what = static_cast<unsigned>(lParam) & 0xFFFF;
    const forms::PixelPoint anchor{coordinate(wParam), coordinate(wParam >> 16)};
    // Hovering says nothing about the click under way.
    if (what == WM_MOUSEMOVE_ || what == NIN_POPUPOPEN_ || what == NIN_POPUPCLOSE_) return std::nullopt;
    const bool afterRightClick = rightReleased_;
    rightReleased_ = what == WM_RBUTTONUP_;
    switch (what) {
    case WM_RBUTTONDOWN_:
        return platform::TrayEvent{Kind::RightPress, anchor};
    case NIN_KEYSELECT_:
        return platform::TrayEvent{Kind::KeySelect, anchor};
    case WM_CONTEXTMENU_:
        if (afterRightClick) return std::nullopt;
        return platform::TrayEvent{Kind::ContextMenu, anchor};
    default:
        return std::nullopt;
    }
}

}  // namespace win32
