// The setup program under Wine, in a prefix of its own: silent installs (one over a running
// widget), uninstalls that take what the setup and jw made here and leave everything else,
// links it refuses to write through and its uninstaller refuses to delete through, the last page
// starting jw from the installed folder, and an elevated setup and uninstaller writing and
// deleting only where nobody but the administrators can change anything.
#include <aclapi.h>
#include <gtest/gtest.h>
#include <sddl.h>
#include <shlobj.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "platform/shell.h"
#include "platform/win32/text.h"
#include "tests/e2e/e2e_support.h"

namespace {

const wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TOLM";
const wchar_t kRun[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

std::wstring folder(int csidl) {
    wchar_t path[MAX_PATH];
    SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

std::wstring regText(const wchar_t* key, const wchar_t* name) {
    wchar_t buf[1024];
    DWORD size = sizeof buf;
    if (RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_REG_SZ, nullptr, buf, &size) != ERROR_SUCCESS)
        return L"<none>";
    return buf;
}

DWORD regNumber(const wchar_t* name) {
    DWORD value = 0, size = sizeof value;
    RegGetValueW(HKEY_CURRENT_USER, kUninstallKey, name, RRF_RT_REG_DWORD, nullptr, &value, &size);
    return value;
}

std::string u8(const std::wstring& w) {
    return win32::narrow(w);
}

std::string bytes(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void writeFile(const std::wstring& path, const std::string& text) {
    std::ofstream(path.c_str(), std::ios::binary) << text;
}

bool elevated(HANDLE token);

// An administrator's process holds one of two linked tokens, the elevated one or the limited
// one that Windows hands to programs that were not elevated (Wine 8 starts every program with
// the former, Wine 10 with the latter). A setup started by a double click runs with the limited
// one, and so do the cases here, but for those about running elevated: each is told by its own
// elevation flag, whichever of the two this process holds.
HANDLE token(bool wantElevated) {
    static HANDLE limited = nullptr, full = nullptr;
    static bool asked = false;
    HANDLE own = nullptr;
    if (!asked && OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY, &own)) {
        asked = true;
        TOKEN_LINKED_TOKEN linked{};
        DWORD n = 0;
        HANDLE other = nullptr;
        if (GetTokenInformation(own, TokenLinkedToken, &linked, sizeof linked, &n)) {
            DuplicateTokenEx(linked.LinkedToken, MAXIMUM_ALLOWED, nullptr, SecurityImpersonation, TokenPrimary,
                             &other);
            CloseHandle(linked.LinkedToken);
        }
        (elevated(own) ? full : limited) = own;
        if (other) (elevated(other) ? full : limited) = other;
    }
    return wantElevated ? full : limited;
}

// Starts a command line with the limited token (or the elevated one) and waits for it; the
// exit code, or the system's error code negated when it cannot be started.
long run(std::wstring cmd, bool elevated = false, int ms = 120000) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessAsUserW(token(elevated), nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                              &pi))
        return -static_cast<long>(GetLastError());
    DWORD code = WaitForSingleObject(pi.hProcess, ms) == WAIT_OBJECT_0 ? 0 : STILL_ACTIVE;
    if (code == 0) GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return static_cast<long>(code);
}

// Process ids by executable name.
std::vector<DWORD> processes(const wchar_t* exe) {
    std::vector<DWORD> ids;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W e{};
    e.dwSize = sizeof e;
    for (BOOL ok = Process32FirstW(snap, &e); ok; ok = Process32NextW(snap, &e))
        if (lstrcmpiW(e.szExeFile, exe) == 0) ids.push_back(e.th32ProcessID);
    CloseHandle(snap);
    return ids;
}

// What a running process was started as and where it stands: image path and current directory
// (read from its process parameters, the only place the system keeps the latter).
struct Whereabouts {
    std::wstring image, cwd;
};
Whereabouts whereabouts(DWORD pid) {
    Whereabouts w;
    HANDLE p = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (!p) return w;
    wchar_t buf[MAX_PATH];
    DWORD n = MAX_PATH;
    if (QueryFullProcessImageNameW(p, 0, buf, &n)) w.image.assign(buf, n);
    PROCESS_BASIC_INFORMATION info{};
    char* params = nullptr;
    UNICODE_STRING dir{};
    // RTL_USER_PROCESS_PARAMETERS.CurrentDirectory.DosPath
    const size_t cwdOffset = sizeof(void*) == 8 ? 0x38 : 0x24;
    if (NtQueryInformationProcess(p, ProcessBasicInformation, &info, sizeof info, nullptr) == 0 &&
        ReadProcessMemory(p, &info.PebBaseAddress->ProcessParameters, &params, sizeof params, nullptr) &&
        ReadProcessMemory(p, params + cwdOffset, &dir, sizeof dir, nullptr) && dir.Length < sizeof buf) {
        if (ReadProcessMemory(p, dir.Buffer, buf, dir.Length, nullptr)) w.cwd.assign(buf, dir.Length / 2);
        if (w.cwd.size() > 3 && w.cwd.back() == L'\\') w.cwd.pop_back();
    }
    CloseHandle(p);
    return w;
}

// The names in a folder, "." and ".." left out.
std::vector<std::wstring> entries(const std::wstring& dir) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW d;
    HANDLE h = FindFirstFileW((dir + L"\\*").c_str(), &d);
    if (h == INVALID_HANDLE_VALUE) return names;
    do
        if (lstrcmpW(d.cFileName, L".") && lstrcmpW(d.cFileName, L"..")) names.push_back(d.cFileName);
    while (FindNextFileW(h, &d));
    FindClose(h);
    return names;
}

// Wine 8 makes no junction (FSCTL_SET_REPARSE_POINT is unsupported, CreateSymbolicLinkW does
// nothing) but shows a Unix symbolic link as a reparse point, so links are made, and taken
// away, by the system's own ln and rm. Wine starts those without a handle to wait on: what
// they do is waited for instead.
std::wstring unixName(const std::wstring& path) {
    using UnixFileName = char*(CDECL*)(const wchar_t*);
    auto unixFileName = reinterpret_cast<UnixFileName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
    char* name = unixFileName ? unixFileName(path.c_str()) : nullptr;
    std::wstring result = name ? win32::widen(name) : L"";
    HeapFree(GetProcessHeap(), 0, name);
    return result;
}

void startUnix(std::wstring cmd) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return;
    // For a Unix program Wine gives no process handle and leaves stale values in the thread's
    // handle and the ids: closed, that "handle" can be one of this process's own (a token).
    if (!pi.hProcess) return;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
}

bool isReparsePoint(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

template <class F>
bool eventually(F&& ok, int ms = 30000) {
    for (DWORD until = GetTickCount() + ms; static_cast<int>(until - GetTickCount()) > 0; Sleep(200))
        if (ok()) return true;
    return ok();
}

bool unixLink(const std::wstring& target, const std::wstring& link) {
    std::wstring to = unixName(target), at = unixName(link);
    if (to.empty() || at.empty()) return false;
    startUnix(L"Z:\\bin\\ln -s " + to + L" " + at);
    return eventually([&] { return isReparsePoint(link); });
}

bool unixRemoveTree(const std::wstring& path) {
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return true;
    startUnix(L"Z:\\bin\\rm -rf " + unixName(path));
    return eventually([&] { return GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES; });
}

bool elevated(HANDLE token) {
    TOKEN_ELEVATION e{};
    DWORD n = 0;
    return GetTokenInformation(token, TokenElevation, &e, sizeof e, &n) && e.TokenIsElevated;
}

// A process started with a token of the test's choosing, ended with the case.
struct AsToken {
    PROCESS_INFORMATION pi{};
    AsToken(const std::wstring& exe, HANDLE token, const std::wstring& args = L"") {
        STARTUPINFOW si{};
        si.cb = sizeof si;
        std::wstring cmd = L"\"" + exe + L"\"" + (args.empty() ? L"" : L" " + args);
        CreateProcessAsUserW(token, exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
    }
    ~AsToken() {
        if (!pi.hProcess) return;
        if (!waitExit(0)) {
            TerminateProcess(pi.hProcess, 1);
            waitExit(5000);
        }
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }
    bool waitExit(int ms) const { return pi.hProcess && WaitForSingleObject(pi.hProcess, ms) == WAIT_OBJECT_0; }
};

struct TextQuery {
    const std::wstring& part;
    bool found;
};

// A window callback must be stdcall on i686, which a lambda is not.
BOOL CALLBACK holdsText(HWND h, LPARAM p) {
    auto* q = reinterpret_cast<TextQuery*>(p);
    wchar_t text[1024] = {};
    GetWindowTextW(h, text, 1024);
    q->found = std::wstring(text).find(q->part) != std::wstring::npos;
    return !q->found;
}

// Any window under top whose text holds part.
bool showsText(HWND top, const std::wstring& part) {
    TextQuery q{part, false};
    EnumChildWindows(top, holdsText, reinterpret_cast<LPARAM>(&q));
    return q.found;
}

std::wstring upper(std::wstring s) {
    CharUpperW(s.data());
    return s;
}

struct Setup : ::testing::Test {
    std::wstring setup = e2e::env(L"TOLM_SETUP"), app = e2e::env(L"TOLM_APP_DIR");
    std::wstring dir = folder(CSIDL_LOCAL_APPDATA) + L"\\Programs\\TOLM";
    std::wstring link = folder(CSIDL_DESKTOPDIRECTORY) + L"\\TOLM.lnk";
    const char* installed[4] = {"tolm.exe", "jw.exe", "ui\\back.png", "uninstall.exe"};

    void SetUp() override {
        ASSERT_FALSE(setup.empty() || app.empty());
        TearDown();
        e2e::removeTree(dir);
        RegDeleteTreeW(HKEY_CURRENT_USER, kUninstallKey);
        RegDeleteKeyValueW(HKEY_CURRENT_USER, kRun, L"TOLM");
        DeleteFileW(link.c_str());
    }

    // Whatever a case started (jw from the last page, a widget) ends with it.
    void TearDown() override {
        for (const wchar_t* exe : {L"tolm.exe", L"jw.exe"})
            for (DWORD pid : processes(exe))
                if (HANDLE p = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid)) {
                    TerminateProcess(p, 9);
                    WaitForSingleObject(p, 5000);
                    CloseHandle(p);
                }
    }

    std::wstring at(const char* name) const { return dir + L"\\" + win32::widen(name); }

    void install() { ASSERT_EQ(run(L"\"" + setup + L"\" /S"), 0) << "silent setup failed"; }

    // As the list of installed programs does it: the quiet command, which hands the work to a
    // copy of the uninstaller and returns; the entry goes last but for the folder.
    void uninstall() {
        std::wstring quiet = regText(kUninstallKey, L"QuietUninstallString");
        ASSERT_EQ(run(quiet), 0) << u8(quiet);
        ASSERT_TRUE(eventually([&] { return regText(kUninstallKey, L"DisplayName") == L"<none>"; }))
            << "the uninstall entry stayed";
        Sleep(500);
    }

    void setRun(const std::wstring& data) {
        RegSetKeyValueW(HKEY_CURRENT_USER, kRun, L"TOLM", REG_SZ, data.c_str(),
                        static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
    }
    void makeLink(const std::wstring& target) {
        platform::systemShell().createShortcut(u8(link), u8(target), (HOTKEYF_CONTROL | HOTKEYF_ALT) << 8 | 'C');
    }
};

TEST_F(Setup, SilentInstallThenAgainOverTheRunningWidget) {
    install();
    for (const char* f : installed) EXPECT_TRUE(e2e::fileExists(at(f))) << f;
    for (const char* f : {"tolm.exe", "jw.exe", "ui\\back.png"})
        EXPECT_EQ(bytes(at(f)), bytes(app + L"\\" + win32::widen(f))) << f;
    EXPECT_TRUE(processes(L"jw.exe").empty()) << "a silent setup started jw";

    EXPECT_EQ(u8(regText(kUninstallKey, L"DisplayName")), "TOLM 高考倒计时");
    EXPECT_EQ(u8(regText(kUninstallKey, L"DisplayVersion")), u8(e2e::env(L"TOLM_VERSION")));
    EXPECT_NE(regText(kUninstallKey, L"Publisher"), L"<none>");
    EXPECT_EQ(regText(kUninstallKey, L"DisplayIcon"), at("tolm.exe") + L",0");
    EXPECT_EQ(regText(kUninstallKey, L"UninstallString"), L"\"" + at("uninstall.exe") + L"\"");
    EXPECT_EQ(regText(kUninstallKey, L"QuietUninstallString"), L"\"" + at("uninstall.exe") + L"\" /S");
    EXPECT_GE(regNumber(L"EstimatedSize"), bytes(at("tolm.exe")).size() / 1024);
    EXPECT_EQ(regNumber(L"NoModify"), 1u);
    EXPECT_EQ(regNumber(L"NoRepair"), 1u);

    // An update: the widget runs from the installed folder, and an earlier jw.exe is replaced.
    writeFile(at("jw.exe"), "an earlier version");
    e2e::Process widget(at("tolm.exe"), dir);
    ASSERT_TRUE(e2e::waitWindow(widget.id(), L"TolmForm", L"Tolm", 60000)) << "the widget did not start";
    install();
    ASSERT_TRUE(widget.waitExit(0)) << "the widget still runs";
    DWORD code = 0;
    GetExitCodeProcess(widget.pi.hProcess, &code);
    EXPECT_EQ(code, 0u) << "the widget was ended by force, not by its close request";
    for (const char* f : {"tolm.exe", "jw.exe"}) EXPECT_EQ(bytes(at(f)), bytes(app + L"\\" + win32::widen(f))) << f;
}

TEST_F(Setup, AWidgetThatIgnoresTheCloseRequestIsEndedAndReplaced) {
    install();
    ASSERT_TRUE(CopyFileW(e2e::env(L"TOLM_HUNG_WIDGET").c_str(), at("tolm.exe").c_str(), FALSE));
    e2e::Process hung(at("tolm.exe"), dir);
    ASSERT_TRUE(e2e::waitWindow(hung.id(), L"TolmForm", L"Tolm", 60000));
    install();
    ASSERT_TRUE(hung.waitExit(0));
    EXPECT_EQ(bytes(at("tolm.exe")), bytes(app + L"\\tolm.exe"));
}

// As the widget starts its update: from its own folder, and possibly as another account (an
// administrator's), whose registry does not know this installation. A folder named with /D=
// (last on the command line, spaces and all, a trailing separator dropped) still decides.
TEST_F(Setup, AnUpdateStartedFromAnInstallationReplacesThatOne) {
    std::wstring other = folder(CSIDL_LOCAL_APPDATA) + L"\\TOLM elsewhere", update = other + L"\\tolmupdate.exe";
    std::wstring chosen = folder(CSIDL_LOCAL_APPDATA) + L"\\TOLM chosen\\here";
    e2e::removeTree(other);
    e2e::removeTree(folder(CSIDL_LOCAL_APPDATA) + L"\\TOLM chosen");
    CreateDirectoryW(other.c_str(), nullptr);
    writeFile(other + L"\\tolm.exe", "an earlier version");
    ASSERT_TRUE(CopyFileW(setup.c_str(), update.c_str(), FALSE));

    ASSERT_EQ(run(L"\"" + update + L"\" /S /D=" + chosen + L"\\"), 0);
    EXPECT_TRUE(bytes(chosen + L"\\tolm.exe") == bytes(app + L"\\tolm.exe")) << "/D= did not decide";
    EXPECT_EQ(bytes(other + L"\\tolm.exe"), "an earlier version");
    EXPECT_EQ(regText(kUninstallKey, L"InstallLocation"), chosen);

    // The registry now names the chosen folder; the installation beside the setup still wins.
    ASSERT_EQ(run(L"\"" + update + L"\" /S"), 0);
    EXPECT_EQ(bytes(other + L"\\tolm.exe"), bytes(app + L"\\tolm.exe"));
    EXPECT_FALSE(e2e::fileExists(at("tolm.exe"))) << "installed into the default folder instead";
    e2e::removeTree(other);
    e2e::removeTree(folder(CSIDL_LOCAL_APPDATA) + L"\\TOLM chosen");
}

// A link at the folder, or at its ui folder, would take the files wherever it points.
TEST_F(Setup, ALinkAtTheFolderOrItsUiIsRefusedWithNothingWritten) {
    const std::wstring root = L"C:\\tolm-links", target = root + L"\\target", elsewhere = root + L"\\elsewhere";
    const struct {
        const char* link;
        std::wstring at;
    } cases[] = {{"at the folder", target}, {"at ui", target + L"\\ui"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.link);
        ASSERT_TRUE(unixRemoveTree(root));
        CreateDirectoryW(root.c_str(), nullptr);
        CreateDirectoryW(elsewhere.c_str(), nullptr);
        if (c.at != target) CreateDirectoryW(target.c_str(), nullptr);
        ASSERT_TRUE(unixLink(elsewhere, c.at)) << "Wine shows no reparse point at " << u8(c.at);
        EXPECT_EQ(run(L"\"" + setup + L"\" /S /D=" + target), 2);
        EXPECT_TRUE(entries(elsewhere).empty()) << "written through the link";
        EXPECT_EQ(entries(target).size(), c.at == target ? 0u : 1u) << "written beside the link";
        EXPECT_EQ(regText(kUninstallKey, L"DisplayName"), L"<none>");
    }
    EXPECT_TRUE(unixRemoveTree(root));
}

TEST_F(Setup, UninstallTakesWhatTheSetupAndJwMadeHere) {
    install();
    // What jw and the update download leave, the log-on entry as jw's registry script spells
    // the path (doubled separators) and a shortcut whose target differs only in letter case.
    for (const char* f : {"jw.bat", "tolm.reg", "tolmupdate.exe", "tolmupdate.exe.part"}) writeFile(at(f), "x");
    std::wstring doubled;
    for (wchar_t c : at("tolm.exe")) doubled += c == L'\\' ? L"\\\\" : std::wstring(1, c);
    setRun(doubled);
    makeLink(upper(at("tolm.exe")));
    e2e::Process widget(at("tolm.exe"), dir);
    ASSERT_TRUE(e2e::waitWindow(widget.id(), L"TolmForm", L"Tolm", 60000)) << "the widget did not start";

    uninstall();
    EXPECT_TRUE(widget.waitExit(0)) << "the widget still runs";
    EXPECT_EQ(regText(kRun, L"TOLM"), L"<none>");
    EXPECT_FALSE(e2e::fileExists(link));
    EXPECT_TRUE(eventually([&] { return !e2e::fileExists(dir); })) << "the folder stayed";
}

TEST_F(Setup, UninstallLeavesWhatIsNotItsOwn) {
    install();
    writeFile(at("notes.txt"), "mine");
    // Another copy of the widget beside this one, its name sharing this one's as a prefix.
    std::wstring other = dir + L" (old)\\tolm.exe";
    setRun(other);
    makeLink(other);

    uninstall();
    for (const char* f : installed) EXPECT_FALSE(e2e::fileExists(at(f))) << f;
    EXPECT_EQ(bytes(at("notes.txt")), "mine");
    EXPECT_EQ(regText(kRun, L"TOLM"), other);
    EXPECT_TRUE(e2e::fileExists(link));
}

// A press of the page's main button (Install, Next, Finish), as a click delivers it.
void pressMain(HWND page) {
    PostMessageW(page, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(page, IDOK)));
}

std::wstring mainButtonText(HWND page) {
    wchar_t text[64] = {};
    GetWindowTextW(GetDlgItem(page, IDOK), text, 64);
    return text;
}

// The wizard's last page opens jw from the installed folder: as a double click starts the setup,
// with the limited token, and run elevated by the person at the desktop whose token has no
// limited twin (the judged setup takes Wine's elevated token for one). Anyone else's elevated
// setup says to run jw from the user's own account instead; under Wine every elevated token
// belongs to the one user, who is at the desktop.
TEST_F(Setup, TheLastPageStartsJwFromTheInstalledFolder) {
    ASSERT_TRUE(elevated(token(true)) && !elevated(token(false)))
        << "Wine no longer gives an elevated token and a limited one";
    const std::wstring root = L"C:\\tolm-jw";
    const struct {
        const char* what;
        std::wstring exe;
        bool elevatedToken;
        std::wstring target;
    } cases[] = {
        {"as the user", setup, false, dir},
        {"elevated, with all rights always", e2e::env(L"TOLM_SETUP_JUDGED"), true, root + L"\\TOLM"},
    };
    ASSERT_TRUE(unixRemoveTree(root));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        AsToken wizard(c.exe, token(c.elevatedToken), L"/D=" + c.target);
        HWND page = e2e::waitWindow(wizard.pi.dwProcessId, L"#32770", nullptr, 60000);
        ASSERT_TRUE(page) << "no setup window";
        ASSERT_TRUE(eventually([&] { return mainButtonText(page) == L"安装(&I)"; })) << u8(mainButtonText(page));
        pressMain(page);
        ASSERT_TRUE(eventually([&] { return mainButtonText(page) == L"完成(&F)"; })) << u8(mainButtonText(page));
        EXPECT_TRUE(e2e::fileExists(c.target + L"\\tolm.exe"));
        EXPECT_TRUE(eventually([&] { return showsText(page, L"点击“完成”后将打开设置窗口"); }));
        EXPECT_TRUE(processes(L"jw.exe").empty()) << "jw started before the last page was left";

        pressMain(page);
        std::vector<DWORD> jw;
        ASSERT_TRUE(eventually([&] { return !(jw = processes(L"jw.exe")).empty(); })) << "jw did not start";
        ASSERT_TRUE(e2e::waitWindow(jw[0], L"TolmForm", L"成功安装", 60000)) << "no jw window";
        Whereabouts w = whereabouts(jw[0]);
        EXPECT_EQ(u8(upper(w.image)), u8(upper(c.target + L"\\jw.exe")));
        EXPECT_EQ(u8(upper(w.cwd)), u8(upper(c.target)));
        EXPECT_TRUE(wizard.waitExit(20000)) << "the setup did not end";
        EXPECT_TRUE(processes(L"tolm.exe").empty()) << "the setup started the widget";
        TearDown();
    }
    EXPECT_TRUE(unixRemoveTree(root));
}

// Whether a message box of the process says part; it is then answered with OK.
bool answerBoxSaying(DWORD pid, const std::wstring& part, int ms) {
    return eventually(
        [&] {
            for (HWND h = nullptr; (h = FindWindowExW(nullptr, h, L"#32770", nullptr)) != nullptr;) {
                DWORD owner = 0;
                GetWindowThreadProcessId(h, &owner);
                if (owner == pid && showsText(h, part)) {
                    PostMessageW(h, WM_COMMAND, IDOK, 0);
                    return true;
                }
            }
            return false;
        },
        ms);
}

// Run elevated, the setup writes only where nobody but the administrators can change anything.
// Wine keeps no permissions of its own: it reads them from the Unix owner and mode, so every
// folder there belongs to the user and an elevated setup is always refused. Each case tells by
// the message which rule refused it, in the order the setup applies them.
TEST_F(Setup, RunElevatedItWritesNowhereAnotherAccountCouldChange) {
    const std::wstring root = L"C:\\tolm-elevated", elsewhere = root + L"\\elsewhere", up = root + L"\\up";
    const std::wstring hard = root + L"\\hard", victim = root + L"\\victim.txt";
    ASSERT_TRUE(unixRemoveTree(root));
    CreateDirectoryW(root.c_str(), nullptr);
    CreateDirectoryW(elsewhere.c_str(), nullptr);
    CreateDirectoryW(hard.c_str(), nullptr);
    ASSERT_TRUE(unixLink(elsewhere, up)) << "Wine shows no reparse point at " << u8(up);
    writeFile(victim, "not the setup's");
    ASSERT_TRUE(CreateHardLinkW((hard + L"\\tolm.exe").c_str(), victim.c_str(), nullptr));
    const struct {
        const char* what;
        std::wstring target, says;
    } cases[] = {
        {"a link in a folder above", up + L"\\TOLM", up + L" 是一个链接"},
        {"a file that has another name", hard, hard + L"\\tolm.exe 还有别的名字"},
        {"a folder the user can change", dir, dir + L" 是管理员以外的账户也能改动的文件夹"},
    };
    auto nothingWritten = [&] {
        EXPECT_TRUE(entries(elsewhere).empty()) << "written through the link";
        EXPECT_EQ(entries(hard).size(), 1u);
        EXPECT_EQ(bytes(victim), "not the setup's") << "written through the hard link";
        EXPECT_TRUE(entries(dir).empty());
        EXPECT_EQ(regText(kUninstallKey, L"DisplayName"), L"<none>");
    };
    CreateDirectoryW((folder(CSIDL_LOCAL_APPDATA) + L"\\Programs").c_str(), nullptr);
    CreateDirectoryW(dir.c_str(), nullptr);  // the user's own, as the first setup leaves it
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(run(L"\"" + setup + L"\" /S /D=" + c.target, true), 2);
        nothingWritten();

        AsToken wizard(setup, token(true), L"/D=" + c.target);
        HWND page = e2e::waitWindow(wizard.pi.dwProcessId, L"#32770", nullptr, 60000);
        ASSERT_TRUE(page) << "no setup window";
        ASSERT_TRUE(eventually([&] { return mainButtonText(page) == L"安装(&I)"; })) << u8(mainButtonText(page));
        pressMain(page);
        EXPECT_TRUE(answerBoxSaying(wizard.pi.dwProcessId, c.says, 60000)) << "no message saying " << u8(c.says);
        nothingWritten();
    }
    EXPECT_TRUE(unixRemoveTree(root));
}

// Wine turns permissions into the Unix mode: everybody's full rights into o+rwx, read and run
// into o+rx, and it shows them back from the mode.
bool everybodyMayChange(const std::wstring& folder, bool change) {
    std::wstring sddl = L"D:(A;OICI;FA;;;SY)(A;OICI;FA;;;S-1-5-21-0-0-0-1000)(A;OICI;" +
                        std::wstring(change ? L"FA" : L"0x1200a9") + L";;;WD)";
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &sd, nullptr))
        return false;
    bool set = SetFileSecurityW(folder.c_str(), DACL_SECURITY_INFORMATION, sd);
    LocalFree(sd);
    return set;
}

// Whether the permissions of a file or folder let everybody write to it.
bool everybodyMayWrite(const std::wstring& path) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                              &sd) != ERROR_SUCCESS)
        return true;
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everybody = nullptr;
    AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everybody);
    bool may = !dacl;
    for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        if (GetAce(dacl, i, reinterpret_cast<void**>(&ace)) && ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE &&
            (ace->Mask & FILE_WRITE_DATA) && EqualSid(&ace->SidStart, everybody))
            may = true;
    }
    FreeSid(everybody);
    LocalFree(sd);
    return may;
}

// Both outcomes of the judging of permissions, with the setup the tests build that counts the
// Wine user among the administrators: a folder that only that user may change (mode 755 all
// the way up) takes the elevated setup, and its uninstaller takes the files away again; one
// whose parent everybody may empty or rename (777) is refused with nothing written, and so is a
// target that everybody may add to. Folders that are not there yet are made one by one. A
// program file that everybody may change, left there before, is replaced by one that takes the
// folder's permissions; one held open so that it cannot be deleted stops the setup.
TEST_F(Setup, RunElevatedItWritesWhereOnlyTheAdministratorsCanChangeAnything) {
    const std::wstring judged = e2e::env(L"TOLM_SETUP_JUDGED"), root = L"C:\\tolm-judged";
    ASSERT_TRUE(unixRemoveTree(root));
    enum File { none, openToAll, held };  // a tolm.exe there before: everybody may change it, or held open
    const struct {
        const char* what;
        std::wstring target, open;  // open: the folder that everybody may change
        long code;
        bool there;  // the target and its parent are there before
        File file;
    } cases[] = {
        {"closed all the way", root + L"\\closed\\TOLM", L"", 0, true, none},
        {"a parent open to everybody", root + L"\\open\\TOLM", root + L"\\open", 2, true, none},
        {"the folder open to everybody", root + L"\\target\\TOLM", root + L"\\target\\TOLM", 2, true, none},
        {"folders not there yet", root + L"\\new\\deeper\\TOLM", L"", 0, false, none},
        {"a program file open to everybody", root + L"\\kept\\TOLM", L"", 0, true, openToAll},
        {"a program file held open", root + L"\\held\\TOLM", L"", 2, true, held},
    };
    CreateDirectoryW(root.c_str(), nullptr);
    ASSERT_TRUE(everybodyMayChange(root, false));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::wstring parent = c.target.substr(0, c.target.rfind(L'\\')), tolm = c.target + L"\\tolm.exe";
        if (c.there) {
            CreateDirectoryW(parent.c_str(), nullptr);
            CreateDirectoryW(c.target.c_str(), nullptr);
            for (const std::wstring& f : {parent, c.target}) ASSERT_TRUE(everybodyMayChange(f, f == c.open));
        }
        if (c.file) writeFile(tolm, "an earlier version");
        if (c.file == openToAll) {
            ASSERT_TRUE(everybodyMayChange(tolm, true) && everybodyMayWrite(tolm));
        }
        // Read by another program that lets others write it, but not delete it.
        HANDLE reader = c.file == held ? CreateFileW(tolm.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                     nullptr, OPEN_EXISTING, 0, nullptr)
                                       : INVALID_HANDLE_VALUE;
        EXPECT_EQ(run(L"\"" + judged + L"\" /S /D=" + c.target, true), c.code)
            << "(does the judged setup still take Wine's elevated token for one without a limited twin?)";
        if (reader != INVALID_HANDLE_VALUE) CloseHandle(reader);
        if (c.code != 0) {
            EXPECT_EQ(entries(c.target).size(), c.file ? 1u : 0u) << "written into " << u8(c.target);
            if (c.file) {
                EXPECT_EQ(bytes(tolm), "an earlier version");
            }
            continue;
        }
        for (const char* f : installed) EXPECT_TRUE(e2e::fileExists(c.target + L"\\" + win32::widen(f))) << f;
        EXPECT_FALSE(everybodyMayWrite(tolm)) << "tolm.exe kept permissions that let everybody change it";
        EXPECT_EQ(run(L"\"" + c.target + L"\\uninstall.exe\" /S _?=" + c.target, true), 0);
        EXPECT_EQ(entries(c.target), std::vector<std::wstring>{L"uninstall.exe"}) << "the uninstaller left more";
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, kUninstallKey);
    EXPECT_TRUE(unixRemoveTree(root));
}

// A link planted at ui would lead the uninstaller's deletions wherever it points; run elevated,
// it also refuses a folder that the user can change, which under Wine is every folder. Each
// refusal comes before anything is deleted, and the elevated one says why.
TEST_F(Setup, UninstallRefusesALinkAtUiOrElevatedAFolderTheUserCanChange) {
    const std::wstring elsewhere = L"C:\\tolm-elsewhere", ui = dir + L"\\ui";
    const struct {
        const char* what;
        bool link, elevatedToken;
        std::wstring says;
    } cases[] = {
        {"a link at ui, elevated", true, true, ui + L" 是一个链接"},
        {"a link at ui, as the user", true, false, L""},
        {"the user's own folder, elevated", false, true, ui + L" 是管理员以外的账户也能改动的文件夹"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(unixRemoveTree(ui) && unixRemoveTree(elsewhere));
        install();
        CreateDirectoryW(elsewhere.c_str(), nullptr);
        writeFile(elsewhere + L"\\back.png", "not the setup's");
        if (c.link) {
            ASSERT_TRUE(unixRemoveTree(ui) && unixLink(elsewhere, ui));
        }
        auto nothingDeleted = [&] {
            for (const char* f : {"tolm.exe", "jw.exe", "uninstall.exe"}) EXPECT_TRUE(e2e::fileExists(at(f))) << f;
            EXPECT_EQ(bytes(elsewhere + L"\\back.png"), "not the setup's");
            EXPECT_TRUE(c.link || e2e::fileExists(at("ui\\back.png")));
            EXPECT_NE(regText(kUninstallKey, L"DisplayName"), L"<none>");
        };
        EXPECT_EQ(run(L"\"" + at("uninstall.exe") + L"\" /S _?=" + dir, c.elevatedToken), 2);
        nothingDeleted();
        if (c.says.empty()) continue;
        AsToken wizard(at("uninstall.exe"), token(true), L"_?=" + dir);
        HWND page = e2e::waitWindow(wizard.pi.dwProcessId, L"#32770", nullptr, 60000);
        ASSERT_TRUE(page) << "no uninstaller window";
        ASSERT_TRUE(eventually([&] { return mainButtonText(page) == L"卸载(&U)"; })) << u8(mainButtonText(page));
        pressMain(page);
        EXPECT_TRUE(answerBoxSaying(wizard.pi.dwProcessId, c.says, 60000)) << "no message saying " << u8(c.says);
        nothingDeleted();
    }
    EXPECT_TRUE(unixRemoveTree(ui) && unixRemoveTree(elsewhere));
}

// The widget's update check compares the setup's fixed file version, 1.0.0.N for version 1.0.N,
// with the version it was told about.
TEST(SetupFile, CarriesItsVersionAsItsFileVersion) {
    std::wstring setup = e2e::env(L"TOLM_SETUP");
    unsigned major = 0, minor = 0, revision = 0;
    ASSERT_EQ(swscanf(e2e::env(L"TOLM_VERSION").c_str(), L"%u.%u.%u", &major, &minor, &revision), 3);
    std::vector<char> info(GetFileVersionInfoSizeW(setup.c_str(), nullptr));
    ASSERT_FALSE(info.empty());
    ASSERT_TRUE(GetFileVersionInfoW(setup.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT size = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &size));
    EXPECT_EQ(fixed->dwFileVersionMS, static_cast<DWORD>(MAKELONG(minor, major)));
    EXPECT_EQ(fixed->dwFileVersionLS, static_cast<DWORD>(MAKELONG(revision, 0)));
}

}  // namespace
