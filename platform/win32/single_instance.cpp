#include "platform/win32/single_instance.h"

#include <sddl.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/win32/helper_window.h"

namespace win32 {

namespace {

constexpr wchar_t kWindowClass[] = L"TolmInstance";
// How long a later start waits for the first one's window: the first makes it right after it
// took the mutex, so this covers only a start at the same moment on a slow machine.
constexpr DWORD kWaitMs = 20000;

std::function<HWND()> showHandler;
bool showAsked = false;

UINT showMessage() {
    static const UINT message = RegisterWindowMessageW(L"TOLM.ShowWidget");
    return message;
}

// The user's SID as text ("S-1-5-21-..."); empty when the token cannot be read.
std::wstring userSid() {
    std::wstring sid;
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return sid;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> user(size ? size : 1);
    wchar_t* text = nullptr;
    if (size && GetTokenInformation(token, TokenUser, user.data(), size, &size) &&
        ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &text)) {
        sid = text;
        LocalFree(text);
    }
    CloseHandle(token);
    return sid;
}

void showNow() {
    if (!showHandler) {
        showAsked = true;
        return;
    }
    if (HWND window = showHandler()) SetForegroundWindow(window);
}

LRESULT CALLBACK listen(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == showMessage() && msg != 0) {
        showNow();
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

// Asks the running widget to show itself; false while its window is not there. A request the
// system does not deliver (to a widget run with higher rights) is not waited on either.
bool askFirst(const std::wstring& name) {
    HWND first = FindWindowExW(HWND_MESSAGE, nullptr, kWindowClass, name.c_str());
    if (!first) return false;
    // This start is what the user just did, so it may hand the foreground on.
    DWORD pid = 0;
    GetWindowThreadProcessId(first, &pid);
    AllowSetForegroundWindow(pid);
    PostMessageW(first, showMessage(), 0, 0);
    return true;
}

void becomeFirst(const std::wstring& name) {
    HWND window = createHelperWindow(kWindowClass, listen, HWND_MESSAGE);
    if (window) SetWindowTextW(window, name.c_str());
}

}  // namespace

bool firstInstance() {
    std::wstring name = L"TOLM.widget." + userSid();
    // Owned by this thread for the program's life and never closed: the system lets it go when
    // the process ends, however it ends.
    HANDLE mutex = CreateMutexW(nullptr, TRUE, (L"Local\\" + name).c_str());
    DWORD error = GetLastError();
    if (mutex && error != ERROR_ALREADY_EXISTS) {
        becomeFirst(name);
        return true;
    }
    // Denied: it exists, made by a start of this user with other rights. Any other failure
    // leaves no way to tell, and a widget that runs beats one that never starts.
    if (!mutex && error != ERROR_ACCESS_DENIED) return true;
    for (DWORD start = GetTickCount(); GetTickCount() - start < kWaitMs;) {
        if (askFirst(name)) return false;
        // A first start that ended before its window came leaves the mutex abandoned to us.
        DWORD wait = mutex ? WaitForSingleObject(mutex, 50) : (Sleep(50), WAIT_TIMEOUT);
        if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) {
            becomeFirst(name);
            return true;
        }
    }
    return false;
}

void onLaterStart(std::function<HWND()> show) {
    showHandler = std::move(show);
    if (showAsked) {
        showAsked = false;
        showNow();
    }
}

}  // namespace win32
