#pragma once
// One widget per user and log-on session. The first start holds a mutex named after the user's
// SID in the session's namespace ("Local\"), and a message-only window, named after the same
// SID, through which later starts ask it to show itself. Another user's widget, in the same
// session (run as another user) or another one, is not this user's.
#include <windows.h>

#include <functional>

namespace win32 {

// True for the first start. False when this user's widget already runs in this session: it has
// been asked to show itself (and allowed to take the foreground), and this start should end at
// once, with exit code 0, before it makes a window, an icon or a fetch of its own.
bool firstInstance();

// What the first start does when a later one asks: shows the widget and names its window, which
// then comes to the foreground. A request that came before this was set runs now.
void onLaterStart(std::function<HWND()> show);

}  // namespace win32
