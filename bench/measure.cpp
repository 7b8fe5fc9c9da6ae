// Start-up to the first painted frame and private memory after start, of the widget beside a
// minimal Win32 program, measured in the same run; prints the ratios.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Sample {
    double ms = -1;
    double privateKiB = 0;
};

COLORREF screenPixel(int x, int y) {
    HDC dc = GetDC(nullptr);
    COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(nullptr, dc);
    return c;
}

// Starts the program and waits until the window's client pixel shows the colour.
Sample measure(const std::wstring& exe, const wchar_t* cls, int x, int y, COLORREF colour) {
    Sample s;
    std::wstring dir = exe.substr(0, exe.find_last_of(L'\\'));
    std::wstring cmd = L"\"" + exe + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    LARGE_INTEGER f, t0, t1;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&t0);
    if (!CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &si, &pi))
        return s;
    for (int i = 0; i < 3000; ++i) {
        HWND w = FindWindowW(cls, nullptr);
        if (w && IsWindowVisible(w)) {
            POINT p{x, y};
            ClientToScreen(w, &p);
            if (screenPixel(p.x, p.y) == colour) {
                QueryPerformanceCounter(&t1);
                s.ms = 1000.0 * static_cast<double>(t1.QuadPart - t0.QuadPart) / static_cast<double>(f.QuadPart);
                break;
            }
        }
        Sleep(2);
    }
    Sleep(1000);
    PROCESS_MEMORY_COUNTERS_EX pmc{};
    pmc.cb = sizeof pmc;
    // Private bytes where the system counts them; Wine leaves that counter at zero and keeps
    // the committed private memory in the page-file figure, with the working set as last resort.
    if (GetProcessMemoryInfo(pi.hProcess, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&pmc), sizeof pmc)) {
        SIZE_T bytes = pmc.PrivateUsage ? pmc.PrivateUsage : pmc.PagefileUsage ? pmc.PagefileUsage : pmc.WorkingSetSize;
        s.privateKiB = static_cast<double>(bytes) / 1024.0;
    }
    TerminateProcess(pi.hProcess, 0);
    WaitForSingleObject(pi.hProcess, 5000);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    Sleep(300);
    return s;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 4) {
        fwprintf(stderr, L"usage: measure tolm.exe minimal.exe BACKGROUND-RGB-HEX [runs]\n");
        return 2;
    }
    COLORREF card = wcstoul(argv[3], nullptr, 16);
    card = RGB(card >> 16 & 0xFF, card >> 8 & 0xFF, card & 0xFF);
    int runs = argc > 4 ? _wtoi(argv[4]) : 5;
    std::vector<double> tolmMs, tolmMem, minMs, minMem;
    for (int i = 0; i < runs; ++i) {
        // Alternate, so that a slow moment of the machine hits both alike.
        Sample a = measure(argv[1], L"TolmForm", 30, 200, card);
        Sample b = measure(argv[2], L"Minimal", 30, 200, RGB(10, 120, 200));
        if (a.ms < 0 || b.ms < 0) {
            fwprintf(stderr, L"a window never showed its first frame\n");
            return 1;
        }
        tolmMs.push_back(a.ms), tolmMem.push_back(a.privateKiB);
        minMs.push_back(b.ms), minMem.push_back(b.privateKiB);
    }
    double tm = median(tolmMs), mm = median(minMs), tk = median(tolmMem), mk = median(minMem);
    wprintf(L"first painted frame: tolm %.0f ms, minimal %.0f ms, ratio %.2f\n", tm, mm, tm / mm);
    wprintf(L"private memory:      tolm %.0f KiB, minimal %.0f KiB, ratio %.2f\n", tk, mk, mk > 0 ? tk / mk : 0.0);
    return 0;
}
