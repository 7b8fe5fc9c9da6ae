#pragma once
// The fonts of the windows, one per face, size, weight, character set and DPI, made when first
// asked for. A window moved to a monitor of another scale asks for its fonts at the new DPI;
// those of a DPI that no window is drawn at any more are let go, so that a window dragged back
// and forth between monitors, or a stream of scale changes, does not pile fonts up.
#include <windows.h>

#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <tuple>

#include "platform/forms/layout.h"
#include "platform/win32/handles.h"

namespace win32 {

class FontCache {
public:
    HFONT get(const forms::Font& f, int dpi);
    // Deletes the fonts of every DPI not in use; no control may still hold one of them.
    void keepOnly(const std::set<int>& dpisInUse);
    std::size_t size() const { return fonts_.size(); }

private:
    std::map<std::tuple<std::string, int, int, int, int>, Font> fonts_;
};

}  // namespace win32
