#pragma once
// Screen readers' view of the program's windows. A window that describes itself
// (forms::Form::accessible) answers WM_GETOBJECT with the system's standard objects for its
// frame and client area, wrapped so that its name, role, description and the parts inside come
// from what the window shows. Windows without a description keep the system's objects.
#include <windows.h>

#include <oleacc.h>

#include "platform/forms/form.h"
#include "platform/win32/handles.h"

namespace win32 {

class Win32Backend;

// The object a screen reader gets for the window's frame (OBJID_WINDOW) or client area
// (OBJID_CLIENT); empty for other ids and for windows that do not describe themselves. A fault
// inside one of its calls goes to the backend's fault handling, never to the caller.
Com<IAccessible> newAccessible(Win32Backend& backend, forms::Form& form, HWND hwnd, LONG objectId);
// The answer to WM_GETOBJECT; 0 leaves the message to the system.
LRESULT accessibleObject(Win32Backend& backend, forms::Form& form, HWND hwnd, WPARAM wp, LPARAM lp);
// Objects already handed out for a window that is going answer no more questions.
void forgetAccessible(HWND hwnd);
// Tells screen readers (and anyone hooked on the events) what changed.
void raiseAccessibleEvent(HWND hwnd, forms::AccessibleEvent ev, int item);

}  // namespace win32
