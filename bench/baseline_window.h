#pragma once
// What both baselines share: a borderless window of the widget's size, centred as the widget
// starts, shown at once and served by a plain message loop until it is destroyed.
#include <windows.h>

inline int runBaselineWindow(HINSTANCE inst, const wchar_t* name, WNDPROC proc, COLORREF back) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = proc;
    wc.hInstance = inst;
    wc.hbrBackground = CreateSolidBrush(back);
    wc.lpszClassName = name;
    RegisterClassW(&wc);
    int w = 722, h = 488;
    HWND hwnd = CreateWindowExW(0, name, name, WS_POPUP, (GetSystemMetrics(SM_CXSCREEN) - w) / 2,
                                (GetSystemMetrics(SM_CYSCREEN) - h) / 2, w, h, nullptr, nullptr, inst, nullptr);
    ShowWindow(hwnd, SW_SHOW);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    return 0;
}
