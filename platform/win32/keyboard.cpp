// Where the keyboard is in the program's windows, and what reaches them of it.
#include "platform/win32/backend.h"
#include "platform/win32/key_message.h"

namespace win32 {

int Win32Backend::shiftState() {
    int s = 0;
    if (GetKeyState(VK_SHIFT) < 0) s |= 1;
    if (GetKeyState(VK_CONTROL) < 0) s |= 2;
    if (GetKeyState(VK_MENU) < 0) s |= 4;
    return s;
}

bool Win32Backend::routeKeys(MSG& msg) {
    HWND root = GetAncestor(msg.hwnd, GA_ROOT);
    forms::Form* form = root ? formOf(root) : nullptr;
    if (!form) return false;
    KeyMessage k = keyMessage(msg.message, msg.wParam, msg.lParam, IsWindowVisible(msg.hwnd),
                              IsWindowEnabled(root) && IsWindowEnabled(msg.hwnd));
    if (k.verdict == KeyMessage::Verdict::Drop) return true;
    // A window's own keys first; then Enter and Esc reach its default and cancel buttons, Tab
    // moves the focus, and the system's controls take their keys.
    if (k.verdict == KeyMessage::Verdict::Deliver &&
        (k.down ? form->keyDown(k.key, shiftState(), k.repeat) : form->keyUp(k.key, shiftState())))
        return true;
    return IsDialogMessageW(root, &msg);
}

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
