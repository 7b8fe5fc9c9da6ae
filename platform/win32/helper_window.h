#pragma once
// A hidden window of this program that only handles messages, under a class of its own that is
// registered with it. HWND_MESSAGE as `parent` makes a message-only window; nullptr a hidden
// top-level one, which broadcasts reach. `self` is kept in the window's user data.
#include <windows.h>

namespace win32 {

inline HWND createHelperWindow(const wchar_t* className, WNDPROC proc, HWND parent, void* self = nullptr) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = className;
    RegisterClassExW(&wc);
    HWND w = CreateWindowExW(0, className, L"", parent ? 0 : WS_POPUP, 0, 0, 0, 0, parent, nullptr, wc.hInstance,
                             nullptr);
    if (w && self) SetWindowLongPtrW(w, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    return w;
}

}  // namespace win32
