// Runs a command line with the limited one of an administrator's two linked tokens, as Windows
// starts an administrator's program that was not elevated (a double click on the setup), and
// ends with its exit code. Wine 8 starts every program elevated (Wine 10 does not), and an
// elevated setup refuses a folder its user can change, which under Wine is every folder.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // The command line after this program's own name, quoted or not.
    const wchar_t* rest = GetCommandLineW();
    if (*rest == L'"') {
        for (++rest; *rest && *rest != L'"'; ++rest) {
        }
        if (*rest) ++rest;
    } else {
        while (*rest && *rest != L' ' && *rest != L'\t') ++rest;
    }
    while (*rest == L' ' || *rest == L'\t') ++rest;

    HANDLE own = nullptr, limited = nullptr;
    TOKEN_ELEVATION elevation{};
    TOKEN_LINKED_TOKEN linked{};
    DWORD n = 0;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY, &own) ||
        !GetTokenInformation(own, TokenElevation, &elevation, sizeof elevation, &n))
        return 125;
    // Already the limited one: kept. Else its linked twin, which must then be limited.
    if (!elevation.TokenIsElevated)
        limited = own;
    else if (!GetTokenInformation(own, TokenLinkedToken, &linked, sizeof linked, &n) ||
             !DuplicateTokenEx(linked.LinkedToken, MAXIMUM_ALLOWED, nullptr, SecurityImpersonation, TokenPrimary,
                               &limited) ||
             !GetTokenInformation(limited, TokenElevation, &elevation, sizeof elevation, &n) ||
             elevation.TokenIsElevated)
        return 125;
    wchar_t cmd[32768];
    lstrcpynW(cmd, rest, 32768);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessAsUserW(limited, nullptr, cmd, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return 126;
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    return static_cast<int>(code);
}
