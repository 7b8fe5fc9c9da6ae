// Where the keyboard is in the program's windows.
#include "platform/win32/backend.h"

namespace win32 {

forms::Control* Win32Backend::focusedControl(const forms::Form& form) const {
    HWND focus = GetFocus();
    for (auto& c : form.controls())
        if (focus && c->native == focus) return c.get();
    return nullptr;
}

void Win32Backend::showFocusCues(forms::Form& form) {
    // As the system's dialog keys do: the focus marks of the window's standard controls show.
    if (HWND h = nativeOf(form, nullptr)) SendMessageW(h, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
}

}  // namespace win32
