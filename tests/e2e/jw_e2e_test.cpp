// The real jw.exe from program folders of every awkward kind: what it leaves in the registry,
// on the desktop and on disk.
#include <gtest/gtest.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "e2e_support.h"

namespace {

const wchar_t kRun[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

std::wstring runValue() {
    wchar_t buf[1024];
    DWORD size = sizeof buf;
    if (RegGetValueW(HKEY_CURRENT_USER, kRun, L"TOLM", RRF_RT_REG_SZ, nullptr, buf, &size) != ERROR_SUCCESS)
        return L"<none>";
    return buf;
}

std::wstring desktopLink() {
    wchar_t path[MAX_PATH];
    SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, path);
    return std::wstring(path) + L"\\TOLM.lnk";
}

struct Link {
    std::wstring target;
    WORD hotkey = 0;
};

bool readLink(Link& out) {
    CoInitialize(nullptr);
    IShellLinkW* link = nullptr;
    IPersistFile* file = nullptr;
    bool ok = SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                         reinterpret_cast<void**>(&link))) &&
              SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
              SUCCEEDED(file->Load(desktopLink().c_str(), STGM_READ));
    if (ok) {
        wchar_t target[MAX_PATH] = {};
        link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH);
        out.target = target;
        link->GetHotkey(&out.hotkey);
    }
    if (file) file->Release();
    if (link) link->Release();
    CoUninitialize();
    return ok;
}

// Polls until the condition holds or the time is up.
template <class F>
bool eventually(F&& ok, int ms = 20000) {
    for (DWORD until = GetTickCount() + ms; static_cast<int>(until - GetTickCount()) > 0; Sleep(200))
        if (ok()) return true;
    return ok();
}

std::string utf8(const std::wstring& w) {
    int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, s.data(), n, nullptr, nullptr);
    s.pop_back();
    return s;
}

struct TextQuery {
    const wchar_t* text;
    HWND found;
};

BOOL CALLBACK matchText(HWND h, LPARAM p) {
    auto* q = reinterpret_cast<TextQuery*>(p);
    wchar_t t[256];
    GetWindowTextW(h, t, 256);
    if (lstrcmpW(t, q->text) == 0) {
        q->found = h;
        return FALSE;
    }
    return TRUE;
}

HWND childWithText(HWND parent, const wchar_t* text) {
    TextQuery q{text, nullptr};
    EnumChildWindows(parent, matchText, reinterpret_cast<LPARAM>(&q));
    return q.found;
}

// A press and release of the left button at a point of the window's client area, delivered
// to whichever child window the system finds there.
void clickAt(HWND window, int x, int y) {
    POINT p{x, y};
    HWND target = RealChildWindowFromPoint(window, p);
    POINT q = p;
    MapWindowPoints(window, target, &q, 1);
    PostMessageW(target, WM_MOUSEMOVE, 0, MAKELPARAM(q.x, q.y));
    PostMessageW(target, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(q.x, q.y));
    PostMessageW(target, WM_LBUTTONUP, 0, MAKELPARAM(q.x, q.y));
}

struct Jw : ::testing::Test {
    std::wstring app = e2e::env(L"TOLM_APP_DIR");
    std::wstring base = e2e::env(L"TOLM_E2E_DIR");

    void SetUp() override {
        ASSERT_FALSE(app.empty());
        ASSERT_FALSE(base.empty());
        RegDeleteKeyValueW(HKEY_CURRENT_USER, kRun, L"TOLM");
        DeleteFileW(desktopLink().c_str());
    }

    // A program folder holding jw.exe, and a separate current directory for the batch.
    std::wstring install(const std::wstring& name) {
        std::wstring root = base + L"\\" + name;
        e2e::removeTree(root);
        CreateDirectoryW(base.c_str(), nullptr);
        CreateDirectoryW(root.c_str(), nullptr);
        CreateDirectoryW((root + L"\\cwd").c_str(), nullptr);
        std::wstring dir = root + L"\\Program Files 100% R&D^ 高考";
        CreateDirectoryW(dir.c_str(), nullptr);
        EXPECT_TRUE(CopyFileW((app + L"\\jw.exe").c_str(), (dir + L"\\jw.exe").c_str(), FALSE));
        return dir;
    }

    // Starts jw, sets the two options, presses a button and waits for the tool to end.
    void run(const std::wstring& dir, bool autostart, bool shortcut, bool done, const wchar_t* message = nullptr) {
        e2e::Process jw(dir + L"\\jw.exe", dir + L"\\..\\cwd");
        HWND w = e2e::waitWindow(jw.id(), L"TolmForm", L"成功安装", 60000);
        ASSERT_TRUE(w) << "no jw window";
        EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(w, GWL_EXSTYLE)), static_cast<DWORD>(WS_EX_LAYERED));
        HWND check1 = childWithText(w, L"开机启动"), check3 = childWithText(w, L"添加桌面快捷方式");
        ASSERT_TRUE(check1 && check3);
        EXPECT_EQ(SendMessageW(check1, BM_GETCHECK, 0, 0), BST_CHECKED);
        EXPECT_EQ(SendMessageW(check3, BM_GETCHECK, 0, 0), BST_CHECKED);
        if (!autostart) SendMessageW(check1, BM_CLICK, 0, 0);
        if (!shortcut) SendMessageW(check3, BM_CLICK, 0, 0);
        clickAt(w, done ? 380 : 500, 315);
        if (message) {
            HWND box = e2e::waitWindow(jw.id(), L"#32770", nullptr, 20000);
            ASSERT_TRUE(box) << "no message box";
            wchar_t text[1024] = {};
            GetDlgItemTextW(box, 0xFFFF, text, 1024);
            EXPECT_NE(std::wstring(text).find(message), std::wstring::npos) << utf8(text);
            PostMessageW(box, WM_COMMAND, IDOK, 0);
        }
        EXPECT_TRUE(jw.waitExit(20000)) << "jw did not end";
    }
};

TEST_F(Jw, DoneWithBothOptionsMakesTheAutostartEntryAndTheShortcut) {
    std::wstring dir = install(L"both");
    run(dir, true, true, true);
    EXPECT_TRUE(eventually([&] { return runValue() != L"<none>"; })) << "no Run value";
    EXPECT_EQ(utf8(runValue()), utf8(dir + L"\\tolm.exe"));
    Link link;
    ASSERT_TRUE(readLink(link));
    EXPECT_EQ(utf8(link.target), utf8(dir + L"\\tolm.exe"));
    EXPECT_EQ(link.hotkey, (HOTKEYF_CONTROL | HOTKEYF_ALT) << 8 | 'C');
    EXPECT_TRUE(e2e::fileExists(dir + L"\\jw.bat"));
    EXPECT_TRUE(eventually([&] { return !e2e::fileExists(dir + L"\\..\\cwd\\tolm.reg"); })) << "tolm.reg left";
    EXPECT_FALSE(e2e::fileExists(dir + L"\\jw.bat.new"));
}

TEST_F(Jw, EachOptionAloneAndNone) {
    struct {
        const wchar_t* name;
        bool autostart, shortcut;
    } cases[] = {{L"autostart", true, false}, {L"shortcut", false, true}, {L"none", false, false}};
    for (auto& c : cases) {
        SetUp();
        std::wstring dir = install(c.name);
        run(dir, c.autostart, c.shortcut, true);
        if (c.autostart) EXPECT_TRUE(eventually([&] { return runValue() != L"<none>"; })) << utf8(c.name);
        else {
            Sleep(1000);
            EXPECT_EQ(runValue(), L"<none>") << utf8(c.name);
        }
        EXPECT_EQ(e2e::fileExists(dir + L"\\jw.bat"), c.autostart) << utf8(c.name);
        EXPECT_EQ(e2e::fileExists(desktopLink()), c.shortcut) << utf8(c.name);
    }
}

TEST_F(Jw, CloseWritesNothing) {
    std::wstring dir = install(L"close");
    run(dir, true, true, false);
    Sleep(1000);
    EXPECT_EQ(runValue(), L"<none>");
    EXPECT_FALSE(e2e::fileExists(dir + L"\\jw.bat"));
    EXPECT_FALSE(e2e::fileExists(desktopLink()));
}

TEST_F(Jw, ABatchFileThatCannotBeWrittenIsReportedAndLeavesNothingHalfMade) {
    std::wstring dir = install(L"blocked");
    CreateDirectoryW((dir + L"\\jw.bat").c_str(), nullptr);  // stands in the batch file's way
    run(dir, true, true, true, L"jw.bat");
    Sleep(1000);
    EXPECT_EQ(runValue(), L"<none>");
    EXPECT_FALSE(e2e::fileExists(dir + L"\\jw.bat.new"));
    EXPECT_FALSE(e2e::fileExists(desktopLink()));  // the failure ends the tool before the shortcut
}

}  // namespace
