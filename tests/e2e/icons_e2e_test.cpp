// The program files' icons load at every size they carry, the 256-pixel PNG entry included.
#include <gtest/gtest.h>

#include <vector>

#include "e2e_support.h"

namespace {

TEST(Icons, EveryImageOfTheProgramIconsLoads) {
    std::wstring app = e2e::env(L"TOLM_APP_DIR");
    ASSERT_FALSE(app.empty());
    const struct {
        const wchar_t* program;
        std::vector<int> sizes;
    } programs[] = {{L"tolm.exe", {16, 32, 48, 64}}, {L"jw.exe", {16, 32, 48, 64, 128, 256}}};
    for (const auto& p : programs) {
        HMODULE m = LoadLibraryExW((app + L"\\" + p.program).c_str(), nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_TRUE(m) << p.program;
        for (int size : p.sizes) {
            auto icon = static_cast<HICON>(LoadImageW(m, MAKEINTRESOURCEW(1), IMAGE_ICON, size, size, 0));
            ASSERT_TRUE(icon) << p.program << " at " << size;
            ICONINFO info{};
            ASSERT_TRUE(GetIconInfo(icon, &info));
            BITMAP bm{};
            GetObjectW(info.hbmColor, sizeof bm, &bm);
            EXPECT_EQ(bm.bmWidth, size) << p.program;
            // Not a blank image: the centre pixel is opaque in every size of both icons.
            HDC dc = CreateCompatibleDC(nullptr);
            HGDIOBJ old = SelectObject(dc, info.hbmMask);
            EXPECT_EQ(GetPixel(dc, size / 2, size / 2), RGB(0, 0, 0)) << p.program << " at " << size;
            SelectObject(dc, old);
            DeleteDC(dc);
            DeleteObject(info.hbmColor);
            DeleteObject(info.hbmMask);
            DestroyIcon(icon);
        }
        FreeLibrary(m);
    }
}

}  // namespace
