#pragma once
// The DPI of monitors and windows, from the calls each Windows version has: Windows 10 tells a
// window's and a monitor's own DPI, 8.1 a monitor's, 7 only the one DPI of the whole system.
// The newer calls are looked up when first needed, never imported, so the programs still start
// on Windows 7 SP1.
#include <windows.h>

#include <vector>

namespace win32::dpi {

// Per-monitor awareness for the process where the manifest has not already given it (a
// program started in a way that ignores the manifest): PerMonitorV2, else PerMonitor, else
// system awareness. Call before the first window.
void becomeAware();

int system();             // the DPI of the primary monitor as the system reports it to us
int ofMonitor(HMONITOR);  // a monitor's own DPI, or the system's where Windows has no such thing
int ofWindow(HWND);       // the DPI of the monitor a window is on, as Windows scales it
int atPoint(POINT);       // the DPI of the monitor nearest to a point of the screen

// AdjustWindowRectEx at a DPI: the frame and title bar of a window drawn at that DPI.
void adjustWindowRect(RECT& rc, DWORD style, DWORD exStyle, int dpi);
// The monitor a new top-level window opens on, whose DPI it is drawn at: the program's first
// window (no main window yet) on the primary one; a window placed on the main window, or any
// window while the main window is shown, on the main window's; any other, and a window placed
// by its own code, on the pointer's.
HMONITOR openingMonitor(HWND mainWindow, bool onMainWindow, bool placedByItself);
// A window of this outer size centred on a monitor (on a rectangle, the main window's, when
// given), moved inside the monitor's work area so that its title bar stays in reach.
POINT centredOn(HMONITOR monitor, const RECT* around, int width, int height);

// The work areas of all monitors, the primary monitor's first.
std::vector<RECT> workAreas();

// GetSystemMetrics at a DPI.
int metric(int index, int dpi);

}  // namespace win32::dpi
