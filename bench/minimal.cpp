// The baseline: the least a Win32 program does to put one painted window on the screen.
#include "baseline_window.h"

static LRESULT CALLBACK proc(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcW(h, m, w, l);
}

int WINAPI wWinMain(HINSTANCE inst, HINSTANCE, PWSTR, int) {
    return runBaselineWindow(inst, L"Minimal", proc, RGB(10, 120, 200));
}
