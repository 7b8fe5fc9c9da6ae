#pragma once
// A decoded picture copied into a bitmap of its own, free of the stream it was read from.
#include "platform/win32/gdiplus.h"

namespace win32 {

// A picture read from a stream stays tied to it in GDI+ (and under Wine to its decoder, which
// keeps a second copy of the pixels): a copy of the pixels in a bitmap of its own lets both go.
// Null when the pixels cannot be read in the picture's own format; the caller keeps the original.
Gdiplus::GpImage* detachedCopy(Gdiplus::GpImage* image, UINT width, UINT height, Gdiplus::PixelFormat format);

}  // namespace win32
