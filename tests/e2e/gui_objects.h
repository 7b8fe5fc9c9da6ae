#pragma once
// How many GDI and USER objects a process holds, as GetGuiResources counts them. Wine answers
// GetGuiResources with "not implemented"; there the GDI objects are counted in the process's
// GDI handle table and the USER objects as its windows (icons and cursors go uncounted).
#include <windows.h>

namespace e2e {

struct GuiObjects {
    long gdi = -1, user = -1;
    bool operator==(const GuiObjects&) const = default;
};

GuiObjects guiObjects(HANDLE process);

}  // namespace e2e
