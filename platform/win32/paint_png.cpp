#include "platform/win32/paint_png.h"


#include <vector>

#include "platform/forms/scale.h"
#include "platform/win32/gdiplus.h"
#include "platform/win32/text.h"


namespace ModPaintPNG {

namespace {
ULONG_PTR GdipToken = 0;
Gdiplus::GpGraphics* GdipGraphics = nullptr;
Gdiplus::GpImage* GdipImage = nullptr;
}  // namespace

void StartGdiPlus() {
    GdipGraphics = nullptr;
    GdipImage = nullptr;
    Gdiplus::GdiplusStartupInput in;  // version 1, no callback, background thread, codecs
    Gdiplus::GdiplusStartup(&GdipToken, &in, nullptr);
}

void EndGdiPlus() {
    // Only what was made is released: the stale handles of an earlier paint were cleared.
    if (GdipImage) GdipDisposeImage(GdipImage);
    if (GdipGraphics) GdipDeleteGraphics(GdipGraphics);
    GdipImage = nullptr;
    GdipGraphics = nullptr;
    Gdiplus::GdiplusShutdown(GdipToken);
}

std::string GetShortName(std::string_view path) {
    // The path goes through the Unicode call, so that a folder the ANSI code page cannot spell
    // still paints; the answer is what the ANSI call would have produced, blanks trimmed.
    std::wstring wide = win32::widen(path);
    DWORD need = GetShortPathNameW(wide.c_str(), nullptr, 0);
    if (need == 0) return {};
    std::vector<wchar_t> buf(need + 1, L'\0');
    DWORD got = GetShortPathNameW(wide.c_str(), buf.data(), need + 1);
    if (got == 0 || got > need) return {};
    std::string s = win32::narrow(std::wstring_view(buf.data(), got));
    auto first = s.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

void PaintPNG(std::string_view path, HDC dc, int x, int y) {
    StartGdiPlus();
    if (GdipCreateFromHDC(dc, &GdipGraphics) != Gdiplus::Ok) {
        GdipGraphics = nullptr;
        EndGdiPlus();
        return;
    }
    std::string p = GetShortName(path);
    if (!p.empty() && GdipLoadImageFromFile(win32::widen(p).c_str(), &GdipImage) == Gdiplus::Ok) {
        UINT h = 0, w = 0;
        GdipGetImageHeight(GdipImage, &h);
        GdipGetImageWidth(GdipImage, &w);
        GdipDrawImageRect(GdipGraphics, GdipImage, static_cast<float>(x), static_cast<float>(y),
                          static_cast<float>(w), static_cast<float>(h));
    } else {
        GdipImage = nullptr;
    }
    EndGdiPlus();
}

void PaintPNGAt(std::string_view path, HDC dc, int x, int y, int dpi) {
    // At 100 % exactly what the picture's own size gives, a missing file included.
    if (forms::scalePercent(dpi) == 100) return PaintPNG(path, dc, x, y);
    for (int scale : forms::artScaleOrder(dpi)) {
        std::string file = forms::artName(path, scale);
        std::string p = GetShortName(file);
        if (p.empty()) continue;
        if (forms::scalePercent(dpi) == scale) return PaintPNG(file, dc, x, y);
        StartGdiPlus();
        if (GdipCreateFromHDC(dc, &GdipGraphics) != Gdiplus::Ok) {
            GdipGraphics = nullptr;
            EndGdiPlus();
            return;
        }
        if (GdipLoadImageFromFile(win32::widen(p).c_str(), &GdipImage) == Gdiplus::Ok) {
            UINT h = 0, w = 0;
            GdipGetImageHeight(GdipImage, &h);
            GdipGetImageWidth(GdipImage, &w);
            // Pixel for pixel: smoothing would mix the key grey into the card's edge.
            GdipSetInterpolationMode(GdipGraphics, Gdiplus::InterpolationModeNearestNeighbor);
            GdipSetPixelOffsetMode(GdipGraphics, Gdiplus::PixelOffsetModeHalf);
            GdipDrawImageRectI(GdipGraphics, GdipImage, x, y, forms::artPixels(static_cast<int>(w), scale, dpi),
                               forms::artPixels(static_cast<int>(h), scale, dpi));
        } else {
            GdipImage = nullptr;
        }
        EndGdiPlus();
        return;
    }
}

}  // namespace ModPaintPNG
