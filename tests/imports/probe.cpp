// Not shipped: a program that imports what Windows 7 SP1 lacks (a function it does not have, a
// DLL it does not have), so that the import check is seen to catch both.
#undef _WIN32_WINNT
#undef WINVER
#define _WIN32_WINNT 0x0A00
#define WINVER 0x0A00
#include <windows.h>
// After windows.h, which it needs.
#include <shellscalingapi.h>

int main() {
    UINT x = 0, y = 0;
    GetDpiForMonitor(MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY), MDT_EFFECTIVE_DPI, &x, &y);
    return static_cast<int>(GetDpiForWindow(GetDesktopWindow()) + x);
}
