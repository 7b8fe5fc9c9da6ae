// The update program of the tests: it only tells that it was started. With TOLM_UPDATE_MARKER
// set, it appends its own full path to that file, and after a blank what it was given to open
// when it was given anything (the tests make it the handler of web addresses too), and shows
// nothing; otherwise it says so in a message box (for a publisher built without the setup
// program).
#include <windows.h>

#include <string>

namespace {

std::wstring environment(const wchar_t* name) {
    wchar_t buf[MAX_PATH * 2];
    DWORD n = GetEnvironmentVariableW(name, buf, MAX_PATH * 2);
    return n && n < MAX_PATH * 2 ? std::wstring(buf, n) : std::wstring();
}

std::string utf8(const std::wstring& w) {
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR arguments, int) {
    wchar_t self[MAX_PATH * 2];
    DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH * 2);
    std::wstring path(self, n);

    std::wstring marker = environment(L"TOLM_UPDATE_MARKER");
    if (!marker.empty()) {
        HANDLE f = CreateFileW(marker.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (f == INVALID_HANDLE_VALUE) return 1;
        std::string line = utf8(path) + (arguments && *arguments ? " " + utf8(arguments) : "") + "\n";
        DWORD written = 0;
        BOOL ok = WriteFile(f, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        CloseHandle(f);
        return ok ? 0 : 1;
    }
    std::wstring text = L"TOLM 演示更新程序已启动。\n\n" + path;
    MessageBoxW(nullptr, text.c_str(), L"TOLM 更新", MB_OK | MB_ICONINFORMATION);
    return 0;
}
