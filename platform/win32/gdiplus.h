#pragma once
// GDI+ with its flat interface in scope. gdiplus.h expects min and max, which NOMINMAX keeps away.
#include <windows.h>
#include <objidl.h>

#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>

using namespace Gdiplus::DllExports;
