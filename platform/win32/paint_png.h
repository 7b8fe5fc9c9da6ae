#pragma once
// Draws a picture file onto a device context through the flat interface of GDI+. Every call
// starts GDI+, draws and shuts it down again, so no GDI+ object lives between paints.
#include <windows.h>

#include <string>
#include <string_view>

namespace ModPaintPNG {

// Draws the picture at (x, y) at its own size; a file that cannot be loaded draws nothing.
void PaintPNG(std::string_view path, HDC dc, int x, int y);
void StartGdiPlus();
void EndGdiPlus();
// The short (8.3) form of a path, or the empty text when the system gives none.
std::string GetShortName(std::string_view path);

}  // namespace ModPaintPNG
