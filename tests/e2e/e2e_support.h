#pragma once
// Starting the real programs, finding their windows and reading the screen, for the
// end-to-end tests.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace e2e {

std::wstring env(const wchar_t* name);

struct Process {
    PROCESS_INFORMATION pi{};
    Process(const std::wstring& exe, const std::wstring& cwd);
    ~Process();
    bool waitExit(int ms);
    void kill();
    DWORD id() const { return pi.dwProcessId; }
};

// A top-level window of the process with this class (and caption, when given).
HWND waitWindow(DWORD pid, const wchar_t* cls, const wchar_t* caption, int ms);

// What became of a program whose window did not come: still running (a hang or a message box),
// or ended with its exit code.
std::string fate(const Process& p);

// A block of the screen, as the user sees it.
struct Pixels {
    int width = 0, height = 0;
    std::vector<COLORREF> px;
    COLORREF at(int x, int y) const { return px[static_cast<size_t>(y * width + x)]; }
};
Pixels grabScreen(int x, int y, int w, int h);
Pixels grabDC(HDC dc, int w, int h);
// The largest difference of one colour channel between two blocks of equal size.
int maxDifference(const Pixels& a, const Pixels& b);
// The widget's motto panel as the screen shows it, once it has stopped changing.
Pixels mottoPanel(HWND widget);
// Whether Wine's notification area is up: with no window manager to dock into, its shell shows
// a window of its own while it holds icons, and the widget is the only program in the tests
// that registers one.
bool trayIconShown();

// The widget's notification icon, spoken to as the shell speaks to an icon of version 4: what
// happened in lParam's low word and the icon's id in its high word, the anchor point (screen
// pixels) in wParam. Wine's notification area sends no keys: the tests send them from here.
struct TrayIcon {
    HWND window = nullptr;  // where the icon reports; nullptr until the widget has registered it
    WORD id = 0;
    explicit TrayIcon(HWND widget);
    // Sent: back once the widget has handled it.
    void notify(UINT what, POINT at) const;
    // A right click at a point, as the shell reports it: WM_RBUTTONDOWN, WM_RBUTTONUP, then
    // WM_CONTEXTMENU.
    void rightClick(POINT at) const;
};

bool fileExists(const std::wstring& path);
void removeTree(const std::wstring& path);
// A file's bytes; empty when it cannot be read.
std::string slurp(const std::wstring& path);
// The lines of a text that begin with `prefix`.
int countLines(const std::string& text, const std::string& prefix = "");

// Whether `done` holds, asked until it does or `ms` have passed.
bool waitUntil(const std::function<bool()>& done, int ms = 20000);

// A click at a point of a window's client area, delivered to the innermost child there.
void click(HWND top, int x, int y);
// The process's next message box: its text, after pressing its OK button. `whileUp` runs first.
std::wstring answerMessage(DWORD pid, int ms = 30000, const std::function<void()>& whileUp = {});

// A drag with the left button, as the mouse makes it: the pointer goes to `from` (screen
// pixels), is pressed, moves by dx, dy in a few steps, and is released.
void dragPointer(POINT from, int dx, int dy);

// The threads the process has now.
int threadCount(DWORD pid);

}  // namespace e2e
