#include "platform/win32/key_message.h"

namespace win32 {

namespace {
constexpr unsigned WM_KEYDOWN_ = 0x0100;
constexpr unsigned WM_KEYUP_ = 0x0101;
constexpr unsigned WM_CHAR_ = 0x0102;
constexpr std::uint32_t kPreviousStateDown = 1u << 30;
}  // namespace

KeyMessage keyMessage(unsigned message, std::uintptr_t wParam, std::intptr_t lParam, bool shown, bool enabled) {
    using Verdict = KeyMessage::Verdict;
    if (message != WM_KEYDOWN_ && message != WM_KEYUP_ && message != WM_CHAR_) return {};
    if (!shown || !enabled) return {Verdict::Drop};
    // A character is the system's to make from the key (TranslateMessage) and to deliver.
    if (message == WM_CHAR_) return {};
    const bool down = message == WM_KEYDOWN_;
    const bool repeat = down && (static_cast<std::uint32_t>(lParam) & kPreviousStateDown) != 0;
    return {Verdict::Deliver, static_cast<int>(wParam & 0xFFFF), down, repeat};
}

}  // namespace win32
