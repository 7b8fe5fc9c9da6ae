#include "e2e_support.h"

#include <shellapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/win32/tray_icon.h"

namespace e2e {

std::wstring env(const wchar_t* name) {
    wchar_t buf[4096];
    DWORD n = GetEnvironmentVariableW(name, buf, 4096);
    return n && n < 4096 ? std::wstring(buf, n) : std::wstring();
}

Process::Process(const std::wstring& exe, const std::wstring& cwd) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    std::wstring cmd = L"\"" + exe + L"\"";
    CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, cwd.empty() ? nullptr : cwd.c_str(),
                   &si, &pi);
}

Process::~Process() {
    if (pi.hProcess) {
        kill();
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }
}

bool Process::waitExit(int ms) { return pi.hProcess && WaitForSingleObject(pi.hProcess, ms) == WAIT_OBJECT_0; }

void Process::kill() {
    if (pi.hProcess && !waitExit(0)) {
        TerminateProcess(pi.hProcess, 1);
        waitExit(5000);
    }
}

namespace {
struct WindowQuery {
    DWORD pid;
    const wchar_t *cls, *caption;
    HWND found;
};

BOOL CALLBACK matchWindow(HWND h, LPARAM p) {
    auto* q = reinterpret_cast<WindowQuery*>(p);
    DWORD owner = 0;
    GetWindowThreadProcessId(h, &owner);
    wchar_t c[256], t[256];
    GetClassNameW(h, c, 256);
    GetWindowTextW(h, t, 256);
    if (owner == q->pid && IsWindowVisible(h) && lstrcmpW(c, q->cls) == 0 &&
        (!q->caption || lstrcmpW(t, q->caption) == 0)) {
        q->found = h;
        return FALSE;
    }
    return TRUE;
}
}  // namespace

HWND waitWindow(DWORD pid, const wchar_t* cls, const wchar_t* caption, int ms) {
    WindowQuery q{pid, cls, caption, nullptr};
    for (DWORD until = GetTickCount() + ms; static_cast<int>(until - GetTickCount()) > 0; Sleep(100)) {
        EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&q));
        if (q.found) return q.found;
    }
    return nullptr;
}

std::string fate(const Process& p) {
    DWORD code = 0;
    GetExitCodeProcess(p.pi.hProcess, &code);
    return code == STILL_ACTIVE ? "it still runs" : "it ended with exit code " + std::to_string(code);
}

Pixels grabDC(HDC src, int w, int h) {
    Pixels p;
        p.width = w, p.height = h;
        HDC mem = CreateCompatibleDC(src);
        BITMAPINFO bi{};
        bi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        HBITMAP bmp = CreateDIBSection(mem, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
        HGDIOBJ old = SelectObject(mem, bmp);
        BitBlt(mem, 0, 0, w, h, src, 0, 0, SRCCOPY);
        GdiFlush();
        auto* q = static_cast<const DWORD*>(bits);
        for (int i = 0; i < w * h; ++i) p.px.push_back(RGB(q[i] >> 16 & 0xFF, q[i] >> 8 & 0xFF, q[i] & 0xFF));
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
    return p;
}

Pixels grabScreen(int x, int y, int w, int h) {
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, w, h, screen, x, y, SRCCOPY);
    Pixels p = grabDC(mem, w, h);
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return p;
}

int maxDifference(const Pixels& a, const Pixels& b) {
    if (a.width != b.width || a.height != b.height) return 256;
    int worst = 0;
    for (size_t i = 0; i < a.px.size(); ++i)
        for (int shift : {0, 8, 16})
            worst = std::max(worst, std::abs(static_cast<int>(a.px[i] >> shift & 0xFF) -
                                             static_cast<int>(b.px[i] >> shift & 0xFF)));
    return worst;
}

Pixels mottoPanel(HWND widget) {
    POINT o{60, 337};
    ClientToScreen(widget, &o);
    Pixels last = grabScreen(o.x, o.y, 447, 85), now;
    for (int i = 0; i < 40; ++i, last = now) {
        Sleep(150);
        now = grabScreen(o.x, o.y, 447, 85);
        if (maxDifference(now, last) == 0) break;
    }
    return last;
}

bool trayIconShown() {
    // Wine 8 shows a window of its own, "Wine System Tray"; Wine 10 shows the shell's tray window
    // itself, untitled.
    for (HWND tray : {FindWindowW(nullptr, L"Wine System Tray"), FindWindowW(L"Shell_TrayWnd", nullptr)})
        if (tray && IsWindowVisible(tray)) return true;
    return false;
}

TrayIcon::TrayIcon(HWND widget) {
    DWORD pid = 0;
    GetWindowThreadProcessId(widget, &pid);
    for (HWND h = nullptr; (h = FindWindowExW(nullptr, h, NfIcon::kWindowClass, nullptr));) {
        DWORD owner = 0;
        GetWindowThreadProcessId(h, &owner);
        if (owner == pid) window = h;
    }
    // The icon's id is the value of the widget's icon handle, of which the shell passes 16 bits
    // (0 where the window does not tell its icon: the widget goes by the low word alone).
    DWORD_PTR icon = 0;
    SendMessageTimeoutW(widget, WM_GETICON, ICON_BIG, 0, SMTO_ABORTIFHUNG, 5000, &icon);
    id = LOWORD(icon);
}

void TrayIcon::notify(UINT what, POINT at) const {
    DWORD_PTR result;
    SendMessageTimeoutW(window, NfIcon::kCallbackMessage, MAKEWPARAM(at.x, at.y), MAKELPARAM(what, id),
                        SMTO_ABORTIFHUNG, 10000, &result);
}

void TrayIcon::rightClick(POINT at) const {
    for (UINT what : {WM_RBUTTONDOWN, WM_RBUTTONUP, WM_CONTEXTMENU}) notify(what, at);
}

bool fileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void removeTree(const std::wstring& path) {
    std::wstring from = path + L'\0';
    SHFILEOPSTRUCTW op{};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NO_UI;
    SHFileOperationW(&op);
}

std::string slurp(const std::wstring& path) {
    std::ifstream f(path.c_str(), std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

int countLines(const std::string& text, const std::string& prefix) {
    std::istringstream in(text);
    int n = 0;
    for (std::string line; std::getline(in, line);) n += line.rfind(prefix, 0) == 0 && !line.empty();
    return n;
}

bool waitUntil(const std::function<bool()>& done, int ms) {
    for (DWORD until = GetTickCount() + static_cast<DWORD>(ms); static_cast<int>(until - GetTickCount()) > 0; Sleep(50))
        if (done()) return true;
    return done();
}

void click(HWND top, int x, int y) {
    HWND target = top;
    POINT pt{x, y};
    for (;;) {
        HWND child = ChildWindowFromPointEx(target, pt, CWP_SKIPINVISIBLE);
        if (!child || child == target) break;
        MapWindowPoints(target, child, &pt, 1);
        target = child;
    }
    PostMessageW(target, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(pt.x, pt.y));
    PostMessageW(target, WM_LBUTTONUP, 0, MAKELPARAM(pt.x, pt.y));
}

void dragPointer(POINT from, int dx, int dy) {
    // Absolute positions, so that no pointer acceleration scales the moves; a normalised
    // coordinate n lands on pixel n * size / 65536, so each is rounded up.
    int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    auto at = [&](int x, int y, DWORD flags) {
        INPUT in{};
        in.type = INPUT_MOUSE;
        in.mi.dx = static_cast<LONG>((static_cast<long long>(x) * 65536 + w - 1) / w);
        in.mi.dy = static_cast<LONG>((static_cast<long long>(y) * 65536 + h - 1) / h);
        in.mi.dwFlags = MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE | flags;
        SendInput(1, &in, sizeof in);
        Sleep(50);
    };
    at(from.x, from.y, 0);
    at(from.x, from.y, MOUSEEVENTF_LEFTDOWN);
    constexpr int kSteps = 4;
    for (int i = 1; i <= kSteps; ++i) at(from.x + dx * i / kSteps, from.y + dy * i / kSteps, 0);
    at(from.x + dx, from.y + dy, MOUSEEVENTF_LEFTUP);
}

namespace {
BOOL CALLBACK collectText(HWND h, LPARAM p) {
    wchar_t c[64], t[512];
    GetClassNameW(h, c, 64);
    if (lstrcmpiW(c, L"Static") == 0 && GetWindowTextW(h, t, 512) > 0) *reinterpret_cast<std::wstring*>(p) += t;
    return TRUE;
}
}  // namespace

std::wstring answerMessage(DWORD pid, int ms, const std::function<void()>& whileUp) {
    HWND box = waitWindow(pid, L"#32770", L"TOLM", ms);
    if (!box) return L"(no message box)";
    std::wstring text;
    EnumChildWindows(box, collectText, reinterpret_cast<LPARAM>(&text));
    if (whileUp) whileUp();
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    for (int i = 0; i < 100 && IsWindow(box); ++i) Sleep(50);
    return text;
}

int threadCount(DWORD pid) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    THREADENTRY32 t{};
    t.dwSize = sizeof t;
    int n = 0;
    for (BOOL more = Thread32First(snapshot, &t); more; more = Thread32Next(snapshot, &t))
        n += t.th32OwnerProcessID == pid;
    CloseHandle(snapshot);
    return n;
}

}  // namespace e2e
