// The PNG painter against files it writes itself, read back pixel by pixel.
#include <gtest/gtest.h>

#include "platform/win32/gdiplus.h"
#include "platform/win32/paint_png.h"
#include "platform/win32/text.h"

namespace {

// Pixels of a small picture with a different colour in every place.
COLORREF patternAt(int x, int y) { return RGB(30 * x + 5, 40 * y + 7, (x * 7 + y * 13) % 256); }
constexpr int kW = 7, kH = 5;
constexpr COLORREF kGround = RGB(128, 128, 128);

std::wstring tempPath(const wchar_t* name) {
    wchar_t dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    return std::wstring(dir) + name;
}

// Writes the pattern as a PNG with GDI+'s own encoder.
bool writePattern(const std::wstring& path) {
    Gdiplus::GdiplusStartupInput in;
    ULONG_PTR token;
    Gdiplus::GdiplusStartup(&token, &in, nullptr);
    Gdiplus::GpBitmap* bmp = nullptr;
    GdipCreateBitmapFromScan0(kW, kH, 0, PixelFormat24bppRGB, nullptr, &bmp);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            COLORREF c = patternAt(x, y);
            GdipBitmapSetPixel(bmp, x, y, 0xFF000000u | GetRValue(c) << 16 | GetGValue(c) << 8 | GetBValue(c));
        }
    // The PNG encoder's class identifier.
    CLSID png{0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
    bool ok = GdipSaveImageToFile(bmp, path.c_str(), &png, nullptr) == Gdiplus::Ok;
    GdipDisposeImage(bmp);
    Gdiplus::GdiplusShutdown(token);
    return ok;
}

struct Target {
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bmp;
    HGDIOBJ old;
    Target() {
        BITMAPINFO bi{};
        bi.bmiHeader = {sizeof(BITMAPINFOHEADER), 20, -20, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
        old = SelectObject(dc, bmp);
        RECT r{0, 0, 20, 20};
        HBRUSH b = CreateSolidBrush(kGround);
        FillRect(dc, &r, b);
        DeleteObject(b);
    }
    ~Target() {
        SelectObject(dc, old);
        DeleteObject(bmp);
        DeleteDC(dc);
    }
};

TEST(PaintPNG, DrawsThePictureAtItsOwnSizeAtTheGivenPlace) {
    std::wstring path = tempPath(L"tolm paint test.png");
    ASSERT_TRUE(writePattern(path));
    for (POINT at : {POINT{0, 0}, POINT{3, 2}}) {
        Target t;
        ModPaintPNG::PaintPNG(win32::narrow(path), t.dc, at.x, at.y);
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 20; ++x) {
                bool inside = x >= at.x && x < at.x + kW && y >= at.y && y < at.y + kH;
                COLORREF want = inside ? patternAt(x - at.x, y - at.y) : kGround;
                ASSERT_EQ(GetPixel(t.dc, x, y), want) << "at " << at.x << "," << at.y << " pixel " << x << "," << y;
            }
    }
    DeleteFileW(path.c_str());
}

TEST(PaintPNG, AMissingOrBrokenFileDrawsNothing) {
    std::wstring broken = tempPath(L"tolm broken.png");
    HANDLE f = CreateFileW(broken.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD n;
    WriteFile(f, "\x89PNG not really", 15, &n, nullptr);
    CloseHandle(f);
    for (std::wstring p : {tempPath(L"no such picture.png"), broken}) {
        Target t;
        ModPaintPNG::PaintPNG(win32::narrow(p), t.dc, 0, 0);
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 20; ++x) ASSERT_EQ(GetPixel(t.dc, x, y), kGround);
    }
    DeleteFileW(broken.c_str());
    // Painting again after failures works: no GDI+ state is left over.
    std::wstring good = tempPath(L"tolm again.png");
    ASSERT_TRUE(writePattern(good));
    Target t;
    ModPaintPNG::PaintPNG(win32::narrow(good), t.dc, 0, 0);
    EXPECT_EQ(GetPixel(t.dc, 6, 4), patternAt(6, 4));
    DeleteFileW(good.c_str());
}

TEST(PaintPNG, ShortNames) {
    EXPECT_EQ(ModPaintPNG::GetShortName(win32::narrow(tempPath(L"surely missing\\x.png"))), "");
    EXPECT_EQ(ModPaintPNG::GetShortName(""), "");
    std::wstring path = tempPath(L"tolm short name.png");
    ASSERT_TRUE(writePattern(path));
    std::string s = ModPaintPNG::GetShortName(win32::narrow(path));
    EXPECT_FALSE(s.empty());
    EXPECT_EQ(s.find(' '), std::string::npos);
    EXPECT_NE(GetFileAttributesW(win32::widen(s).c_str()), INVALID_FILE_ATTRIBUTES);
    DeleteFileW(path.c_str());
}

}  // namespace
