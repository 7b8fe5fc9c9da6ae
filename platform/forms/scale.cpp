#include "platform/forms/scale.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace forms {

int pixelsFromTwips(double twips, int dpi) {
    return static_cast<int>(std::lround(twips * dpi / 1440.0));
}

double twipsFromPixels(double pixels, int dpi) {
    return pixels * 1440.0 / dpi;
}

int artScaleFor(int dpi) {
    int want = scalePercent(dpi);
    for (int s : kArtScales)
        if (s >= want) return s;
    return kArtScales[std::size(kArtScales) - 1];
}

std::span<const int> artScaleOrder(int dpi) {
    // One order per starting scale, built once.
    static const auto orders = [] {
        constexpr std::size_t n = std::size(kArtScales);
        std::array<std::array<int, n>, n> all{};
        for (std::size_t first = 0; first < n; ++first) {
            std::size_t k = 0;
            for (std::size_t i = first; i < n; ++i) all[first][k++] = kArtScales[i];
            for (std::size_t i = first; i-- > 0;) all[first][k++] = kArtScales[i];
        }
        return all;
    }();
    int first = artScaleFor(dpi);
    for (std::size_t i = 0; i < orders.size(); ++i)
        if (kArtScales[i] == first) return orders[i];
    return orders[0];
}

std::string artName(std::string_view name, int scale) {
    if (scale == 100) return std::string(name);
    auto dot = name.find_last_of('.');
    auto sep = name.find_last_of("\\/");
    if (dot == std::string_view::npos || (sep != std::string_view::npos && dot < sep)) dot = name.size();
    return std::string(name.substr(0, dot)) + "_" + std::to_string(scale) + std::string(name.substr(dot));
}

int artPixels(int pixels, int madeForScale, int dpi) {
    // Exact when the art is made for the window's scale: 79 pixels at 150 % are 119 at 144 dpi,
    // as 1185 twips are.
    return pixelsFromTwips(pixels * 15.0 * 100.0 / madeForScale, dpi);
}

bool insideAny(PixelPoint p, std::span<const PixelRect> areas) {
    return std::any_of(areas.begin(), areas.end(), [&](const PixelRect& a) { return a.contains(p.x, p.y); });
}

PixelPoint centredIn(const PixelRect& area, int width, int height) {
    return {area.left + std::max(0, (area.width - width) / 2), area.top + std::max(0, (area.height - height) / 2)};
}

PixelPoint keptOnScreen(const PixelRect& window, std::span<const PixelRect> workAreas, const PixelRect& primaryWork) {
    PixelPoint centre{window.left + window.width / 2, window.top + window.height / 2};
    if (insideAny(centre, workAreas)) return {window.left, window.top};
    return centredIn(primaryWork, window.width, window.height);
}

}  // namespace forms
