#pragma once
// Draws a picture file onto a device context through the flat interface of GDI+. Every call
// starts GDI+, draws and shuts it down again, so no GDI+ object lives between paints.
#include <windows.h>

#include <string>
#include <string_view>

namespace ModPaintPNG {

// Draws the picture at (x, y) at its own size; a file that cannot be loaded draws nothing.
void PaintPNG(std::string_view path, HDC dc, int x, int y);
// Draws at (x, y) of a device context drawn at a DPI: the file's version made for that scale
// ("back_150.png" beside "back.png") at its own size, or, for a scale no version is made for,
// the nearest larger (else the largest) version scaled pixel for pixel, so that the see-through
// key stays exactly the key colour.
void PaintPNGAt(std::string_view path, HDC dc, int x, int y, int dpi);
void StartGdiPlus();
void EndGdiPlus();
// The short (8.3) form of a path, or the empty text when the system gives none.
std::string GetShortName(std::string_view path);

}  // namespace ModPaintPNG
