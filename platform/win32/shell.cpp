#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <stdexcept>

#include "platform/shell.h"
#include "platform/win32/handles.h"
#include "platform/win32/text.h"

namespace platform {

namespace {

std::string describe(DWORD code) {
    wchar_t* buf = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, code, 0, reinterpret_cast<wchar_t*>(&buf), 0, nullptr);
    std::wstring text = n && buf ? std::wstring(buf, n) : L"";
    if (buf) LocalFree(buf);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) text.pop_back();
    char hex[16];
    wsprintfA(hex, "0x%08lX", static_cast<unsigned long>(code));
    return text.empty() ? std::string("error ") + hex : win32::narrow(text) + " (" + hex + ")";
}

[[noreturn]] void fail(const std::string& what, DWORD code) { throw std::runtime_error(what + ": " + describe(code)); }

void check(HRESULT hr, const std::string& what) {
    if (FAILED(hr)) fail(what, static_cast<DWORD>(hr));
}

class SystemShell final : public Shell {
public:
    std::optional<std::string> toAnsi(std::string_view utf8) const override { return win32::toAnsi(utf8); }

    void replaceFile(const std::string& path, const std::string& bytes) override {
        std::wstring target = win32::widen(path);
        std::wstring temp = target + L".new";
        {
            win32::Handle f(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
            if (f.get() == INVALID_HANDLE_VALUE) {
                f.release();
                fail("无法创建文件 " + path, GetLastError());
            }
            DWORD written = 0;
            if (!WriteFile(f.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
                written != bytes.size() || !FlushFileBuffers(f.get())) {
                DWORD err = GetLastError();
                f.reset();
                DeleteFileW(temp.c_str());
                fail("无法写入文件 " + path, err);
            }
        }
        if (!MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            DWORD err = GetLastError();
            DeleteFileW(temp.c_str());
            fail("无法写入文件 " + path, err);
        }
    }

    void startMinimized(const std::string& commandLine) override {
        std::wstring cmd = win32::widen(commandLine);
        STARTUPINFOW si{};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESHOWWINDOW;
        si.wShowWindow = SW_SHOWMINIMIZED;
        PROCESS_INFORMATION pi{};
        if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
            fail("无法启动 " + commandLine, GetLastError());
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }

    std::string desktopFolder() override {
        wchar_t path[MAX_PATH] = {};
        check(SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, path),
              "无法取得桌面文件夹");
        return win32::narrow(path);
    }

    void createShortcut(const std::string& linkPath, const std::string& target, std::uint16_t hotkey) override {
        HRESULT init = CoInitialize(nullptr);
        struct Uninit {
            HRESULT hr;
            ~Uninit() {
                if (SUCCEEDED(hr)) CoUninitialize();
            }
        } uninit{init};
        win32::Com<IShellLinkW> link;
        check(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                               reinterpret_cast<void**>(link.put())),
              "无法创建快捷方式对象");
        check(link->SetPath(win32::widen(target).c_str()), "无法设置快捷方式目标");
        check(link->SetHotkey(hotkey), "无法设置快捷键");
        win32::Com<IPersistFile> file;
        check(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.put())), "无法保存快捷方式");
        check(file->Save(win32::widen(linkPath).c_str(), TRUE), "无法保存快捷方式 " + linkPath);
    }
};

}  // namespace

Shell& systemShell() {
    static SystemShell shell;
    return shell;
}

}  // namespace platform
