#pragma once
// Twips, pixels and art at the DPI of a window's monitor. A twip is 1/1440 inch, so a pixel is
// 1440/dpi twips: 15 at 96 dpi, where every layout lands on exactly the pixels it always had.
#include <span>
#include <string>
#include <string_view>

#include "platform/forms/backend.h"

namespace forms {

inline constexpr int kBaseDpi = 96;

// Whether the system's word on a DPI is one to lay windows out at (half to ten times the base);
// any other, such as the 0 a failed query gives, is not believed.
constexpr bool isSaneDpi(int dpi) {
    return dpi >= 48 && dpi <= 960;
}

// A position or length in twips lands on the nearest pixel (halves away from zero).
int pixelsFromTwips(double twips, int dpi);
double twipsFromPixels(double pixels, int dpi);

// The scales (per cent) the art is made for, smallest first.
inline constexpr int kArtScales[] = {100, 125, 150, 175, 200};

// The scale of a window at a DPI, per cent (96 dpi: 100).
constexpr int scalePercent(int dpi) {
    return (dpi * 100 + kBaseDpi / 2) / kBaseDpi;
}
// The art to draw a window at this DPI from: made for exactly its scale, else the nearest larger
// one (scaled down), else the largest there is (scaled up).
int artScaleFor(int dpi);
// The scales to look for a picture at, best first: artScaleFor, the larger ones, then the smaller.
std::span<const int> artScaleOrder(int dpi);
// The name a picture bears at a scale: the plain name at 100 %, else the name with "_<scale>"
// appended before any extension ("DIGIT0_150", "ui\back_150.png").
std::string artName(std::string_view name, int scale);
// A picture's size in pixels at a DPI, given its size in pixels at the scale it was made for.
int artPixels(int pixels, int madeForScale, int dpi);

// Whether a point lies inside any of the rectangles.
bool insideAny(PixelPoint p, std::span<const PixelRect> areas);
// Where a window goes after the screens changed: where it is while its centre lies in some
// monitor's work area, else centred in the primary monitor's work area.
PixelPoint keptOnScreen(const PixelRect& window, std::span<const PixelRect> workAreas, const PixelRect& primaryWork);
// A window of this size centred in an area (its top-left corner kept inside the area).
PixelPoint centredIn(const PixelRect& area, int width, int height);

}  // namespace forms
