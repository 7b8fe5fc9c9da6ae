#include "platform/win32/picture_copy.h"

#include <cstddef>
#include <cstring>
#include <vector>

namespace win32 {

Gdiplus::GpImage* detachedCopy(Gdiplus::GpImage* image, UINT width, UINT height, Gdiplus::PixelFormat format) {
    auto* from = static_cast<Gdiplus::GpBitmap*>(image);
    Gdiplus::GpBitmap* copy = nullptr;
    if (GdipCreateBitmapFromScan0(static_cast<INT>(width), static_cast<INT>(height), 0, format, nullptr, &copy) !=
        Gdiplus::Ok)
        return nullptr;
    Gdiplus::Rect all(0, 0, static_cast<INT>(width), static_cast<INT>(height));
    Gdiplus::BitmapData src{}, dst{};
    bool copied = false;
    if (GdipBitmapLockBits(from, &all, Gdiplus::ImageLockModeRead, format, &src) == Gdiplus::Ok) {
        if (GdipBitmapLockBits(copy, &all, Gdiplus::ImageLockModeWrite, format, &dst) == Gdiplus::Ok) {
            std::size_t rowBytes = (static_cast<std::size_t>(width) * Gdiplus::GetPixelFormatSize(format) + 7) / 8;
            for (UINT y = 0; y < height; ++y)
                std::memcpy(static_cast<BYTE*>(dst.Scan0) + static_cast<std::ptrdiff_t>(y) * dst.Stride,
                            static_cast<const BYTE*>(src.Scan0) + static_cast<std::ptrdiff_t>(y) * src.Stride,
                            rowBytes);
            GdipBitmapUnlockBits(copy, &dst);
            copied = true;
        }
        GdipBitmapUnlockBits(from, &src);
    }
    if (copied && Gdiplus::IsIndexedPixelFormat(format)) {
        INT size = 0;
        std::vector<BYTE> palette;
        copied = GdipGetImagePaletteSize(image, &size) == Gdiplus::Ok && size > 0;
        if (copied) palette.resize(static_cast<std::size_t>(size));
        copied =
            copied &&
            GdipGetImagePalette(image, reinterpret_cast<Gdiplus::ColorPalette*>(palette.data()), size) == Gdiplus::Ok &&
            GdipSetImagePalette(copy, reinterpret_cast<Gdiplus::ColorPalette*>(palette.data())) == Gdiplus::Ok;
    }
    if (!copied) {
        GdipDisposeImage(copy);
        return nullptr;
    }
    return copy;
}

}  // namespace win32
