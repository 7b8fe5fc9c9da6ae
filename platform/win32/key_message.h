#pragma once
// What a key message queued for a window of the program means to its keyboard handling. A
// window that is hidden or disabled takes no keys at all, neither its own nor the system's dialog
// keys: a key posted to a hidden window must not run what it would run when shown. A press the
// system repeats while the key is held down (bit 30 of lParam: the key was already down) is told
// apart from the first press. No windows.h here, so that the host tests reach the decoding.
#include <cstdint>

namespace win32 {

struct KeyMessage {
    enum class Verdict {
        Pass,     // not a key: the message goes its usual way
        Drop,     // a key for a window that takes none: it goes nowhere
        Deliver,  // a key pressed or released in the window
    };
    Verdict verdict = Verdict::Pass;
    int key = 0;  // the virtual-key code
    bool down = false;
    bool repeat = false;  // a press the system repeats while the key is held
};

// `shown` and `enabled`: whether the window the message is for, and the top-level window it is
// in, are visible and enabled.
KeyMessage keyMessage(unsigned message, std::uintptr_t wParam, std::intptr_t lParam, bool shown, bool enabled);

}  // namespace win32
