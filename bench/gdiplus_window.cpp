// The second baseline: the least the widget must do. A borderless window of the widget's size
// and place that paints ui\back.png (from its working folder) through the flat interface of
// GDI+, started and shut down within the paint, as the widget's painter does.
#include "baseline_window.h"
#include "platform/win32/gdiplus.h"

namespace {

void paintBack(HDC dc) {
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartupInput in;
    if (Gdiplus::GdiplusStartup(&token, &in, nullptr) != Gdiplus::Ok) return;
    Gdiplus::GpGraphics* g = nullptr;
    Gdiplus::GpImage* image = nullptr;
    if (GdipCreateFromHDC(dc, &g) == Gdiplus::Ok) {
        if (GdipLoadImageFromFile(L"ui\\back.png", &image) == Gdiplus::Ok) {
            UINT w = 0, h = 0;
            GdipGetImageWidth(image, &w);
            GdipGetImageHeight(image, &h);
            GdipDrawImageRect(g, image, 0, 0, static_cast<float>(w), static_cast<float>(h));
            GdipDisposeImage(image);
        }
        GdipDeleteGraphics(g);
    }
    Gdiplus::GdiplusShutdown(token);
}

LRESULT CALLBACK proc(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m == WM_PAINT) {
        PAINTSTRUCT ps;
        paintBack(BeginPaint(h, &ps));
        EndPaint(h, &ps);
        return 0;
    }
    if (m == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcW(h, m, w, l);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE inst, HINSTANCE, PWSTR, int) {
    return runBaselineWindow(inst, L"GdipBack", proc, RGB(128, 128, 128));
}
