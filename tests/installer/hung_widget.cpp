// Stands in for a widget that has stopped answering: a window of the widget's class and
// caption that ignores every request to close.
#include <windows.h>

namespace {
LRESULT CALLBACK ignoreClose(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    return msg == WM_CLOSE ? 0 : DefWindowProcW(h, msg, wp, lp);
}
}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = ignoreClose;
    wc.hInstance = instance;
    wc.lpszClassName = L"TolmForm";
    RegisterClassW(&wc);
    CreateWindowExW(0, L"TolmForm", L"Tolm", WS_POPUP | WS_VISIBLE, 0, 0, 8, 8, nullptr, nullptr, instance, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    return 0;
}
