// Start-up to the first painted frame and private memory after start, of the widget beside two
// baselines measured in the same run (a bare window, and a window that only paints the
// background picture through GDI+), then the widget's CPU time while it idles beside the bare
// window's over the same stretch. Prints the figures and their ratios.
#include <windows.h>
// after windows.h, which it needs
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Program {
    const wchar_t* label;
    std::wstring exe;
    std::wstring cwd;
    const wchar_t* cls;
    COLORREF colour;  // what the client pixel (30, 200) shows once the first frame is painted
};

constexpr int kProbeX = 30, kProbeY = 200;

struct Running {
    PROCESS_INFORMATION pi{};
    HWND window = nullptr;
    double firstFrameMs = -1;

    explicit Running(const Program& p) {
        STARTUPINFOW si{};
        si.cb = sizeof si;
        std::wstring cmd = L"\"" + p.exe + L"\"";
        LARGE_INTEGER f, t0, t1;
        QueryPerformanceFrequency(&f);
        QueryPerformanceCounter(&t0);
        if (!CreateProcessW(p.exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, p.cwd.c_str(), &si, &pi))
            return;
        for (int i = 0; i < 3000; ++i) {
            HWND w = FindWindowW(p.cls, nullptr);
            if (w && IsWindowVisible(w)) {
                POINT pt{kProbeX, kProbeY};
                ClientToScreen(w, &pt);
                HDC dc = GetDC(nullptr);
                COLORREF c = GetPixel(dc, pt.x, pt.y);
                ReleaseDC(nullptr, dc);
                if (c == p.colour) {
                    QueryPerformanceCounter(&t1);
                    firstFrameMs =
                        1000.0 * static_cast<double>(t1.QuadPart - t0.QuadPart) / static_cast<double>(f.QuadPart);
                    window = w;
                    return;
                }
            }
            Sleep(2);
        }
    }
    ~Running() {
        if (!pi.hProcess) return;
        TerminateProcess(pi.hProcess, 0);
        WaitForSingleObject(pi.hProcess, 5000);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
        Sleep(300);
    }
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;

    double privateKiB() const {
        PROCESS_MEMORY_COUNTERS_EX pmc{};
        pmc.cb = sizeof pmc;
        if (!GetProcessMemoryInfo(pi.hProcess, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&pmc), sizeof pmc)) return 0;
        // Private bytes where the system counts them; Wine leaves that counter at zero and keeps
        // the anonymous resident memory in the page-file figure, with the working set as last resort.
        SIZE_T bytes = pmc.PrivateUsage ? pmc.PrivateUsage : pmc.PagefileUsage ? pmc.PagefileUsage : pmc.WorkingSetSize;
        return static_cast<double>(bytes) / 1024.0;
    }
    double cpuMs() const {
        FILETIME created, ended, kernel, user;
        if (!GetProcessTimes(pi.hProcess, &created, &ended, &kernel, &user)) return -1;
        auto ticks = [](FILETIME t) {
            return static_cast<double>(ULARGE_INTEGER{{t.dwLowDateTime, t.dwHighDateTime}}.QuadPart);
        };
        return (ticks(kernel) + ticks(user)) / 10000.0;
    }
};

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

std::wstring folderOf(const std::wstring& exe) {
    return exe.substr(0, exe.find_last_of(L'\\'));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 5) {
        fwprintf(stderr,
                 L"usage: measure tolm.exe minimal.exe gdiplus_window.exe BACKGROUND-RGB-HEX [runs] [idle-s]\n");
        return 2;
    }
    COLORREF card = wcstoul(argv[4], nullptr, 16);
    card = RGB(card >> 16 & 0xFF, card >> 8 & 0xFF, card & 0xFF);
    int runs = argc > 5 ? _wtoi(argv[5]) : 5;
    int idleSeconds = argc > 6 ? _wtoi(argv[6]) : 30;
    std::wstring app = folderOf(argv[1]);
    // The GDI+ window reads ui\back.png from its working folder: the widget's own.
    const Program programs[] = {
        {L"tolm", argv[1], app, L"TolmForm", card},
        {L"bare window", argv[2], folderOf(argv[2]), L"Minimal", RGB(10, 120, 200)},
        {L"GDI+ window", argv[3], app, L"GdipBack", card},
    };
    constexpr int kCount = 3;
    std::vector<double> ms[kCount], kib[kCount];
    for (int i = 0; i < runs; ++i)
        // In turn, so that a slow moment of the machine hits each alike.
        for (int k = 0; k < kCount; ++k) {
            Running r(programs[k]);
            if (r.firstFrameMs < 0) {
                fwprintf(stderr, L"%ls never showed its first frame\n", programs[k].label);
                return 1;
            }
            Sleep(1000);
            ms[k].push_back(r.firstFrameMs);
            kib[k].push_back(r.privateKiB());
        }
    double m[kCount], k[kCount];
    for (int i = 0; i < kCount; ++i) m[i] = median(ms[i]), k[i] = median(kib[i]);
    wprintf(L"medians of %d runs\n", runs);
    wprintf(L"first painted frame: tolm %.0f ms, bare window %.0f ms, GDI+ window %.0f ms\n", m[0], m[1], m[2]);
    wprintf(L"  ratio to the bare window %.2f, to the GDI+ window %.2f\n", m[0] / m[1], m[0] / m[2]);
    wprintf(L"private memory 1 s after start: tolm %.0f KiB, bare window %.0f KiB, GDI+ window %.0f KiB\n", k[0], k[1],
            k[2]);
    wprintf(L"  ratio to the bare window %.2f, to the GDI+ window %.2f\n", k[1] > 0 ? k[0] / k[1] : 0.0,
            k[2] > 0 ? k[0] / k[2] : 0.0);
    fflush(stdout);

    if (idleSeconds <= 0) return 0;
    // Idle: the widget after a release on its surface (which loads the hidden menu panel), beside
    // the bare window, both over the same stretch of time.
    Running tolm(programs[0]), bare(programs[1]);
    if (!tolm.window || !bare.window) {
        fwprintf(stderr, L"a window never showed its first frame\n");
        return 1;
    }
    PostMessageW(tolm.window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(kProbeX, kProbeY));
    PostMessageW(tolm.window, WM_LBUTTONUP, 0, MAKELPARAM(kProbeX, kProbeY));
    Sleep(1000);
    double t0 = tolm.cpuMs(), b0 = bare.cpuMs();
    Sleep(static_cast<DWORD>(idleSeconds) * 1000);
    double t1 = tolm.cpuMs(), b1 = bare.cpuMs();
    // Counted in the system's clock ticks (10 ms under Wine).
    wprintf(L"CPU time idling %d s after a release on the surface: tolm %.0f ms, bare window %.0f ms\n", idleSeconds,
            t1 - t0, b1 - b0);
    return 0;
}
