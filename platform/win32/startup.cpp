#include "platform/win32/startup.h"

#include <windows.h>
// After windows.h, which it needs.
#include <objbase.h>

#include <string>

#include "platform/forms/startup.h"
#include "platform/win32/text.h"

namespace win32 {

int runProgram(std::string_view title, const std::function<int()>& program) {
    std::wstring caption = widen(title);
    // The windows answer screen readers with COM objects, which cross to the reader's process
    // only from a thread in an apartment: the one thread that runs the windows joins one first.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    return forms::runGuarded(program, [&](std::string_view text) {
        MessageBoxW(nullptr, widen(text).c_str(), caption.c_str(), MB_OK | MB_TASKMODAL | MB_SETFOREGROUND);
    });
}

}  // namespace win32
