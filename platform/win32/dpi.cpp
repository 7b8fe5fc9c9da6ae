#include "platform/win32/dpi.h"

#include <algorithm>
#include <string>

#include "platform/forms/scale.h"

namespace win32::dpi {

namespace {

// The values of the newer SDKs, spelled out: the toolchain's headers may predate them.
using Context = HANDLE;
const Context kPerMonitorV2 = reinterpret_cast<Context>(static_cast<INT_PTR>(-4));
const Context kPerMonitor = reinterpret_cast<Context>(static_cast<INT_PTR>(-3));
constexpr int kProcessPerMonitorAware = 2;  // PROCESS_PER_MONITOR_DPI_AWARE
constexpr int kEffectiveDpi = 0;            // MDT_EFFECTIVE_DPI

template <class F>
F lookup(HMODULE lib, const char* name) {
    return lib ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(lib, name))) : nullptr;
}

HMODULE user32() {
    static HMODULE lib = GetModuleHandleW(L"user32.dll");
    return lib;
}

// shcore.dll comes with Windows 8.1; loaded from the system folder only, never found elsewhere.
HMODULE shcore() {
    static HMODULE lib = [] {
        wchar_t dir[MAX_PATH];
        UINT n = GetSystemDirectoryW(dir, MAX_PATH);
        if (n == 0 || n >= MAX_PATH) return HMODULE{};
        return LoadLibraryW((std::wstring(dir, n) + L"\\shcore.dll").c_str());
    }();
    return lib;
}

struct Calls {
    UINT(WINAPI* getDpiForWindow)(HWND) = nullptr;
    BOOL(WINAPI* adjustWindowRectExForDpi)(RECT*, DWORD, BOOL, DWORD, UINT) = nullptr;
    int(WINAPI* getSystemMetricsForDpi)(int, UINT) = nullptr;
    HRESULT(WINAPI* getDpiForMonitor)(HMONITOR, int, UINT*, UINT*) = nullptr;
};

const Calls& calls() {
    static const Calls c = [] {
        Calls k;
        k.getDpiForWindow = lookup<decltype(k.getDpiForWindow)>(user32(), "GetDpiForWindow");
        k.adjustWindowRectExForDpi = lookup<decltype(k.adjustWindowRectExForDpi)>(user32(), "AdjustWindowRectExForDpi");
        k.getSystemMetricsForDpi = lookup<decltype(k.getSystemMetricsForDpi)>(user32(), "GetSystemMetricsForDpi");
        k.getDpiForMonitor = lookup<decltype(k.getDpiForMonitor)>(shcore(), "GetDpiForMonitor");
        return k;
    }();
    return c;
}

int sane(int dpi) {
    return forms::isSaneDpi(dpi) ? dpi : forms::kBaseDpi;
}

}  // namespace

void becomeAware() {
    using SetContext = BOOL(WINAPI*)(Context);
    using SetAwareness = HRESULT(WINAPI*)(int);
    using SetAware = BOOL(WINAPI*)();
    if (auto set = lookup<SetContext>(user32(), "SetProcessDpiAwarenessContext")) {
        // Fails where the manifest already set it, which is what should have happened.
        if (set(kPerMonitorV2) || set(kPerMonitor) || GetLastError() == ERROR_ACCESS_DENIED) return;
    }
    if (auto set = lookup<SetAwareness>(shcore(), "SetProcessDpiAwareness")) {
        HRESULT hr = set(kProcessPerMonitorAware);
        if (SUCCEEDED(hr) || hr == E_ACCESSDENIED) return;
    }
    if (auto set = lookup<SetAware>(user32(), "SetProcessDPIAware")) set();
}

int system() {
    HDC dc = GetDC(nullptr);
    int d = dc ? GetDeviceCaps(dc, LOGPIXELSY) : forms::kBaseDpi;
    if (dc) ReleaseDC(nullptr, dc);
    return sane(d);
}

int ofMonitor(HMONITOR monitor) {
    UINT x = 0, y = 0;
    if (monitor && calls().getDpiForMonitor && SUCCEEDED(calls().getDpiForMonitor(monitor, kEffectiveDpi, &x, &y)))
        return sane(static_cast<int>(y));
    return system();
}

int ofWindow(HWND hwnd) {
    if (calls().getDpiForWindow) {
        if (UINT d = calls().getDpiForWindow(hwnd)) return sane(static_cast<int>(d));
    }
    return ofMonitor(MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST));
}

int atPoint(POINT p) {
    return ofMonitor(MonitorFromPoint(p, MONITOR_DEFAULTTONEAREST));
}

void adjustWindowRect(RECT& rc, DWORD style, DWORD exStyle, int dpi) {
    if (calls().adjustWindowRectExForDpi &&
        calls().adjustWindowRectExForDpi(&rc, style, FALSE, exStyle, static_cast<UINT>(dpi)))
        return;
    AdjustWindowRectEx(&rc, style, FALSE, exStyle);
}

HMONITOR openingMonitor(HWND mainWindow, bool onMainWindow, bool placedByItself) {
    POINT pointer{};
    GetCursorPos(&pointer);
    if (!mainWindow && !placedByItself) return MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
    if (mainWindow && !placedByItself && (onMainWindow || IsWindowVisible(mainWindow)))
        return MonitorFromWindow(mainWindow, MONITOR_DEFAULTTONEAREST);
    return MonitorFromPoint(pointer, MONITOR_DEFAULTTONEAREST);
}

POINT centredOn(HMONITOR monitor, const RECT* around, int width, int height) {
    MONITORINFO mi{};
    mi.cbSize = sizeof mi;
    if (!GetMonitorInfoW(monitor, &mi)) {
        mi.rcMonitor = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
        mi.rcWork = mi.rcMonitor;
    }
    const RECT& on = around ? *around : mi.rcMonitor;
    const RECT& work = mi.rcWork;
    auto place = [](LONG from, LONG to, LONG lo, LONG hi, int size) {
        LONG want = from + (to - from - size) / 2;
        return static_cast<LONG>(std::max(lo, std::min(want, std::max(lo, hi - size))));
    };
    return {place(on.left, on.right, work.left, work.right, width),
            place(on.top, on.bottom, work.top, work.bottom, height)};
}

namespace {
BOOL CALLBACK noteWorkArea(HMONITOR mon, HDC, LPRECT, LPARAM all) {
    MONITORINFO mi{};
    mi.cbSize = sizeof mi;
    if (GetMonitorInfoW(mon, &mi)) {
        auto& v = *reinterpret_cast<std::vector<RECT>*>(all);
        v.insert(mi.dwFlags & MONITORINFOF_PRIMARY ? v.begin() : v.end(), mi.rcWork);
    }
    return TRUE;
}
}  // namespace

std::vector<RECT> workAreas() {
    std::vector<RECT> areas;
    EnumDisplayMonitors(nullptr, nullptr, noteWorkArea, reinterpret_cast<LPARAM>(&areas));
    return areas;
}

int metric(int index, int dpi) {
    if (calls().getSystemMetricsForDpi) return calls().getSystemMetricsForDpi(index, static_cast<UINT>(dpi));
    return GetSystemMetrics(index);
}

}  // namespace win32::dpi
