#include <windows.h>

#include <sddl.h>
#include <shellapi.h>

#include <algorithm>

#include "platform/files.h"
#include "platform/win32/handles.h"
#include "platform/win32/text.h"

namespace platform {

namespace {

class SystemFiles final : public Files {
public:
    bool write(const std::string& path, std::string_view bytes) override {
        std::wstring name = win32::widen(path);
        bool whole = false;
        {
            win32::Handle f(
                CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
            if (f.get() == INVALID_HANDLE_VALUE) {
                f.release();
                return false;
            }
            whole = true;
            // WriteFile takes at most 4 GiB at a time; the update is far smaller, but go in parts.
            for (std::size_t at = 0; whole && at < bytes.size();) {
                DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - at, 1u << 20));
                DWORD written = 0;
                whole = WriteFile(f.get(), bytes.data() + at, chunk, &written, nullptr) && written == chunk;
                at += written;
            }
            whole = whole && FlushFileBuffers(f.get());
        }
        if (!whole) DeleteFileW(name.c_str());
        return whole;
    }

    bool replace(const std::string& from, const std::string& to) override {
        return MoveFileExW(win32::widen(from).c_str(), win32::widen(to).c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    }

    bool remove(const std::string& path) override {
        std::wstring name = win32::widen(path);
        if (DeleteFileW(name.c_str())) return true;
        DWORD err = GetLastError();
        return err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND;
    }

    Hold holdUnchanged(const std::string& path, std::string_view bytes) override {
        // Shared for reading only: a writer, a rename over it or a delete is refused until the
        // handle closes, and the start opens it for reading and execution.
        HANDLE f = CreateFileW(win32::widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (f == INVALID_HANDLE_VALUE) return nullptr;
        Hold hold(f, [](void* h) { CloseHandle(h); });
        LARGE_INTEGER size{};
        if (!GetFileSizeEx(f, &size) || static_cast<unsigned long long>(size.QuadPart) != bytes.size()) return nullptr;
        std::string chunk(1u << 16, '\0');
        for (std::size_t at = 0; at < bytes.size();) {
            DWORD got = 0;
            if (!ReadFile(f, chunk.data(), static_cast<DWORD>(chunk.size()), &got, nullptr) || got == 0) return nullptr;
            if (at + got > bytes.size() || bytes.compare(at, got, chunk.data(), got) != 0) return nullptr;
            at += got;
        }
        return hold;
    }

    std::string heldPath(const Hold& hold) override {
        if (!hold) return {};
        HANDLE f = hold.get();
        std::wstring path(MAX_PATH, L'\0');
        for (int attempt = 0; attempt < 2; ++attempt) {
            DWORD n = GetFinalPathNameByHandleW(f, path.data(), static_cast<DWORD>(path.size()),
                                                FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
            if (n == 0) return {};
            if (n < path.size()) {
                path.resize(n);
                return win32::narrow(withoutLongPrefix(path));
            }
            path.assign(n, L'\0');  // n counts the terminator when the buffer was too small
        }
        return {};
    }

    WriteProbe probeWrite(const std::string& folder) override {
        // A name of our own, deleted by the system when the handle closes: nothing is left even if
        // the program ends in between. A name that happens to exist is tried again with the next.
        static LONG counter = 0;
        std::wstring dir = win32::widen(folder);
        if (dir.empty() || dir.back() != L'\\') dir += L'\\';  // a drive root ends in one already
        for (int attempt = 0; attempt < 8; ++attempt) {
            std::wstring name = dir + L"tolm-write-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                std::to_wstring(GetTickCount()) + L"-" +
                                std::to_wstring(InterlockedIncrement(&counter)) + L".tmp";
            HANDLE f = CreateFileW(name.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE,
                                   nullptr);
            if (f != INVALID_HANDLE_VALUE) {
                CloseHandle(f);
                return WriteProbe::Writable;
            }
            DWORD err = GetLastError();
            if (err == ERROR_ACCESS_DENIED) return WriteProbe::AccessDenied;
            if (err != ERROR_FILE_EXISTS && err != ERROR_ALREADY_EXISTS) return WriteProbe::OtherFailure;
        }
        return WriteProbe::OtherFailure;
    }

    std::string newPrivateFolder() override {
        wchar_t temp[MAX_PATH + 1];
        DWORD n = GetTempPathW(MAX_PATH + 1, temp);
        if (n == 0 || n > MAX_PATH) return {};
        std::wstring base(temp, n);
        if (base.back() != L'\\') base += L'\\';
        // The user's temporary folder is the user's alone, unless an administrator has pointed it at a
        // shared one: the folder's own permissions keep other accounts out either way. The
        // administrators stay in: the elevated setup may run as one who typed their password.
        // What is written in the folder inherits its permissions.
        std::wstring user = userSid();
        if (user.empty()) return {};
        std::wstring sddl = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;" + user + L")";
        PSECURITY_DESCRIPTOR sd = nullptr;
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &sd, nullptr))
            return {};
        SECURITY_ATTRIBUTES sa{sizeof sa, sd, FALSE};
        static LONG counter = 0;
        std::string made;
        // Created, never found: a folder that is there already (whoever made it) is passed over.
        for (int attempt = 0; attempt < 8 && made.empty(); ++attempt) {
            std::wstring name = base + L"tolm-update-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                std::to_wstring(GetTickCount()) + L"-" +
                                std::to_wstring(InterlockedIncrement(&counter));
            if (CreateDirectoryW(name.c_str(), &sa))
                made = win32::narrow(name);
            else if (GetLastError() != ERROR_ALREADY_EXISTS)
                break;
        }
        LocalFree(sd);
        return made;
    }

    bool removeFolder(const std::string& path) override {
        if (RemoveDirectoryW(win32::widen(path).c_str())) return true;
        DWORD err = GetLastError();
        return err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND;
    }

private:
    // The current user's security identifier as text ("S-1-5-21-..."); empty when unknown.
    static std::wstring userSid() {
        HANDLE raw = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return {};
        win32::Handle token(raw);
        alignas(TOKEN_USER) char buf[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
        DWORD n = 0;
        LPWSTR text = nullptr;
        if (!GetTokenInformation(token.get(), TokenUser, buf, sizeof buf, &n) ||
            !ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buf)->User.Sid, &text))
            return {};
        std::wstring sid(text);
        LocalFree(text);
        return sid;
    }

    // "\\?\C:\x" is "C:\x" and "\\?\UNC\server\share\x" is "\\server\share\x": the form the
    // shell takes, and the one the started program then sees as its own path.
    static std::wstring withoutLongPrefix(const std::wstring& path) {
        if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\\\" + path.substr(8);
        if (path.rfind(L"\\\\?\\", 0) == 0) return path.substr(4);
        return path;
    }
};

}  // namespace

Files& systemFiles() {
    static SystemFiles files;
    return files;
}

void startProgram(const std::string& path, const char* verb, const std::string& parameters) {
    ShellExecuteW(nullptr, win32::widen(verb).c_str(), win32::widen(path).c_str(), win32::widen(parameters).c_str(),
                  nullptr, SW_SHOWNORMAL);
}

}  // namespace platform
