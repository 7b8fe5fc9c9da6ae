#pragma once
// Helpers for Windows tests run under Wine: message pumping and reading the screen back.
#include <windows.h>

#include <string>

namespace wintest {

// Lets the window system deliver what is queued and draw, for about `ms` milliseconds.
inline void pump(int ms = 150) {
    DWORD until = GetTickCount() + static_cast<DWORD>(ms);
    do {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(10);
    } while (static_cast<int>(until - GetTickCount()) > 0);
}

// A pixel of the screen as the user sees it, composed of every window.
inline COLORREF screenPixel(int x, int y) {
    HDC dc = GetDC(nullptr);
    COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(nullptr, dc);
    return c;
}

inline COLORREF clientPixel(HWND hwnd, int x, int y) {
    POINT p{x, y};
    ClientToScreen(hwnd, &p);
    return screenPixel(p.x, p.y);
}

// Position and size of a child window in its parent's client area.
inline RECT childRect(HWND child) {
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

inline std::string hex(COLORREF c) {
    char buf[16];
    wsprintfA(buf, "#%02X%02X%02X", GetRValue(c), GetGValue(c), GetBValue(c));
    return buf;
}

}  // namespace wintest
