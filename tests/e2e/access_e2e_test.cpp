// The real tolm.exe as a screen reader meets it, from another process: the names and roles its
// windows give through the accessibility objects, and the events it raises when what it shows
// changes. Run on a clock shortly before midnight, against the publisher's motto page.
#include <windows.h>
// after windows.h
#include <gtest/gtest.h>
#include <oleacc.h>
#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "e2e_support.h"

namespace {

template <class F>
bool waitFor(F&& done, int ms = 20000) {
    for (DWORD until = GetTickCount() + static_cast<DWORD>(ms); static_cast<int>(until - GetTickCount()) > 0; Sleep(50))
        if (done()) return true;
    return done();
}

// Everything the desktop's windows raise, heard out of context as a screen reader hears it, on
// a thread of its own that is always ready to take the events.
class Events {
public:
    Events() {
        std::atomic<bool> ready = false;
        thread_ = std::thread([this, &ready] {
            self() = this;
            thread_id_ = GetCurrentThreadId();
            HWINEVENTHOOK hook = SetWinEventHook(EVENT_MIN, EVENT_MAX, nullptr, &Events::heard, 0, 0,
                                                 WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS);
            ready = true;
            MSG m;
            while (GetMessageW(&m, nullptr, 0, 0) > 0) DispatchMessageW(&m);
            UnhookWinEvent(hook);
        });
        while (!ready) Sleep(10);
    }
    ~Events() {
        PostThreadMessageW(thread_id_, WM_QUIT, 0, 0);
        thread_.join();
    }
    // Whether the event came for the client area of the window since the count was taken.
    bool seen(std::size_t since, DWORD event, HWND hwnd, LONG child) {
        std::lock_guard lock(m_);
        return std::find(log_.begin() + static_cast<std::ptrdiff_t>(since), log_.end(),
                         std::make_tuple(event, hwnd, LONG(OBJID_CLIENT), child)) != log_.end();
    }
    std::size_t count() {
        std::lock_guard lock(m_);
        return log_.size();
    }

private:
    static Events*& self() {
        static Events* e = nullptr;
        return e;
    }
    static void CALLBACK heard(HWINEVENTHOOK, DWORD event, HWND hwnd, LONG object, LONG child, DWORD, DWORD) {
        std::lock_guard lock(self()->m_);
        self()->log_.emplace_back(event, hwnd, object, child);
    }
    std::thread thread_;
    DWORD thread_id_ = 0;
    std::mutex m_;
    std::vector<std::tuple<DWORD, HWND, LONG, LONG>> log_;
};

// A key as the user presses it, to whichever window has the keyboard; kShiftTab is Shift+Tab.
constexpr WORD kShiftTab = 0x1000 | VK_TAB;
void press(WORD vk) {
    std::vector<INPUT> in;
    for (WORD k : {WORD(vk & 0x1000 ? VK_SHIFT : 0), WORD(vk & 0xFF)})
        if (k) {
            in.push_back(INPUT{});
            in.back().type = INPUT_KEYBOARD;
            in.back().ki.wVk = k;
        }
    for (std::size_t i = in.size(); i-- > 0;) in.push_back(in[i]), in.back().ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT));
}

// A key held down (the system repeats its press while it is) or let go.
void hold(WORD vk, bool down) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
    SendInput(1, &in, sizeof in);
}

// One object of a window, read as screen readers read it.
struct Reader {
    IAccessible* object = nullptr;
    Reader(HWND hwnd, LONG id) {
        AccessibleObjectFromWindow(hwnd, static_cast<DWORD>(id), __uuidof(IAccessible), reinterpret_cast<void**>(&object));
    }
    ~Reader() {
        if (object) object->Release();
    }
    static VARIANT id(LONG child) {
        VARIANT v;
        v.vt = VT_I4;
        v.lVal = child;
        return v;
    }
    std::wstring text(HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, BSTR*), LONG child = CHILDID_SELF) const {
        BSTR b = nullptr;
        if (!object || FAILED((object->*get)(id(child), &b)) || !b) return L"";
        std::wstring s(b, SysStringLen(b));
        SysFreeString(b);
        return s;
    }
    std::wstring name(LONG child = CHILDID_SELF) const { return text(&IAccessible::get_accName, child); }
    std::wstring description(LONG child = CHILDID_SELF) const { return text(&IAccessible::get_accDescription, child); }
    long number(HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, VARIANT*), LONG child) const {
        VARIANT v;
        VariantInit(&v);
        return object && SUCCEEDED((object->*get)(id(child), &v)) && v.vt == VT_I4 ? v.lVal : -1;
    }
    long role(LONG child = CHILDID_SELF) const { return number(&IAccessible::get_accRole, child); }
    bool focused(LONG child) const { return number(&IAccessible::get_accState, child) & STATE_SYSTEM_FOCUSED; }
    long children() const {
        long n = -1;
        if (object) object->get_accChildCount(&n);
        return n;
    }
    LONG childNamed(const std::wstring& name) const {
        for (LONG i = 1; i <= children(); ++i)
            if (this->name(i) == name) return i;
        return 0;
    }
};

// A window gone through by the keyboard: its role to screen readers, its parts named and of
// their roles (the window itself: role -1), the first focused; then each key moves the focus to
// the part named.
struct Part {
    const wchar_t* name;
    long role;
};
void walk(Events& events, HWND window, long role, const std::vector<Part>& parts,
          const std::vector<std::pair<WORD, const wchar_t*>>& keys) {
    Reader r(window, OBJID_CLIENT);
    EXPECT_EQ(r.role(), role);
    for (const Part& p : parts) {
        if (p.role < 0) {  // the window's own name
            EXPECT_EQ(r.name(), p.name);
            continue;
        }
        LONG i = r.childNamed(p.name);
        ASSERT_GT(i, 0) << "no part named " << testing::PrintToString(std::wstring(p.name));
        EXPECT_EQ(r.role(i), p.role) << i;
        EXPECT_EQ(r.focused(i), &p == &parts[0]) << i;  // the first listed has the keyboard first
    }
    for (auto [key, to] : keys) {
        // Time to look at the focus marks on a screenshot of the run, before each key.
        if (!e2e::env(L"TOLM_E2E_LINGER").empty()) Sleep(1500);
        std::size_t mark = events.count();
        press(key);
        LONG i = r.childNamed(to);
        EXPECT_TRUE(waitFor([&] { return events.seen(mark, EVENT_OBJECT_FOCUS, window, i) && r.focused(i); }))
            << "key " << key << " to " << testing::PrintToString(std::wstring(to));
    }
}

TEST(Access, TheWidgetSpeaksItsCountAndMottoAndTellsWhenTheyChange) {
    std::wstring app = e2e::env(L"TOLM_APP_DIR");
    ASSERT_FALSE(app.empty());
    CoInitialize(nullptr);
    Events events;
    e2e::Process tolm(app + L"\\tolm.exe", app);
    HWND widget = e2e::waitWindow(tolm.id(), L"TolmForm", L"Tolm", 60000);
    ASSERT_TRUE(widget) << e2e::fate(tolm);

    // The clock starts at 23:59 on May 28, 2027: ten days left, nine after midnight.
    wchar_t caption[16] = {};
    GetWindowTextW(widget, caption, 16);
    EXPECT_STREQ(caption, L"Tolm") << "setup and update find the widget by its caption";
    EXPECT_EQ(Reader(widget, OBJID_WINDOW).name(), L"距离2027年高考还有10天");
    EXPECT_EQ(Reader(widget, OBJID_WINDOW).role(), ROLE_SYSTEM_WINDOW);
    walk(events, widget, ROLE_SYSTEM_CLIENT,
         {{L"距离2027年高考还有10天", -1}, {L"2027年", ROLE_SYSTEM_STATICTEXT}, {L"还有10天", ROLE_SYSTEM_STATICTEXT}},
         {});
    EXPECT_EQ(Reader(widget, OBJID_CLIENT).role(3), ROLE_SYSTEM_STATICTEXT);

    // The published motto arrives: the motto part is renamed, the description follows.
    EXPECT_TRUE(waitFor([&] { return events.seen(0, EVENT_OBJECT_NAMECHANGE, widget, 3); }, 60000))
        << "no name change when the motto arrived";
    EXPECT_EQ(Reader(widget, OBJID_CLIENT).name(3), L"天道酬勤，逐梦高考!");
    EXPECT_EQ(Reader(widget, OBJID_CLIENT).description(), L"天道酬勤，逐梦高考!");

    // The menu from the icon by the keyboard, as the shell reports Enter (NIN_KEYSELECT, which it
    // may send twice), Space (NIN_KEYSELECT) and Shift+F10 or the menu key (WM_CONTEXTMENU), each
    // at the icon's corner (Wine's notification area sends no keys: they come from here): in
    // front with the keyboard, at the icon, a menu to screen readers, the first entry focused,
    // and the keys move round it.
    const e2e::TrayIcon icon(widget);
    ASSERT_TRUE(icon.window) << "no notification icon";
    const POINT corner{700, 600};
    const std::vector<UINT> enter{NIN_KEYSELECT, NIN_KEYSELECT}, space{NIN_KEYSELECT}, shiftF10{WM_CONTEXTMENU};
    auto openMenu = [&](const std::vector<UINT>& sequence) {
        std::size_t mark = events.count();
        for (UINT what : sequence) icon.notify(what, corner);
        HWND menu = e2e::waitWindow(tolm.id(), L"TolmForm", L"FormMenu", 20000);
        EXPECT_TRUE(waitFor([&] { return menu && IsWindowVisible(menu) && GetForegroundWindow() == menu; }));
        EXPECT_TRUE(waitFor([&] {
            return events.seen(mark, EVENT_SYSTEM_MENUPOPUPSTART, menu, 0) &&
                   events.seen(mark, EVENT_OBJECT_FOCUS, menu, 1);
        }));
        RECT r{};
        GetWindowRect(menu, &r);
        EXPECT_EQ(r.right, corner.x) << "the menu is not at the icon";
        EXPECT_EQ(r.bottom, corner.y) << "the menu is not at the icon";
        return menu;
    };
    HWND menu = openMenu(enter);
    ASSERT_TRUE(menu);
    if (!e2e::env(L"TOLM_E2E_LINGER").empty()) Sleep(1500);  // time to look at it on a screenshot
    walk(events, menu, ROLE_SYSTEM_MENUPOPUP,
         {{L"显示状态窗体", ROLE_SYSTEM_MENUITEM},
          {L"隐藏状态窗体", ROLE_SYSTEM_MENUITEM},
          {L"关于", ROLE_SYSTEM_MENUITEM},
          {L"退出", ROLE_SYSTEM_MENUITEM}},
         {{VK_DOWN, L"隐藏状态窗体"},
          {VK_UP, L"显示状态窗体"},
          {VK_UP, L"退出"},
          {VK_DOWN, L"显示状态窗体"},
          {VK_END, L"退出"},
          {VK_HOME, L"显示状态窗体"},
          {VK_END, L"退出"}});
    std::size_t mark = events.count();
    press(VK_ESCAPE);
    EXPECT_TRUE(waitFor([&] { return !IsWindowVisible(menu); })) << "Esc did not close the menu";
    EXPECT_TRUE(waitFor([&] { return events.seen(mark, EVENT_SYSTEM_MENUPOPUPEND, menu, 0); }));
    EXPECT_TRUE(IsWindowVisible(widget));

    // Keys that reach the hidden menu run none of its entries: not 退出 under the bar.
    PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0x001C0001);
    PostMessageW(menu, WM_KEYDOWN, VK_SPACE, 0x00390001);
    PostMessageW(menu, WM_KEYUP, VK_SPACE, static_cast<LPARAM>(0xC0390001u));
    Sleep(1000);
    EXPECT_FALSE(tolm.waitExit(0)) << "a key posted to the hidden menu ended the widget";

    // What the key that opened the menu does next reaches the menu and chooses nothing: Enter
    // held (the system repeats it), the release of Space; and Space on the icon while the menu is
    // open leaves it as it is.
    openMenu(enter);
    PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0x401C0001);
    PostMessageW(menu, WM_KEYUP, VK_RETURN, static_cast<LPARAM>(0xC01C0001u));
    for (UINT what : space) icon.notify(what, corner);
    PostMessageW(menu, WM_KEYUP, VK_SPACE, static_cast<LPARAM>(0xC0390001u));
    Sleep(1000);
    EXPECT_TRUE(IsWindowVisible(menu)) << "the key that opened the menu chose an entry";

    // Each entry chosen by the keyboard: Enter or Space on the highlighted one.
    press(VK_DOWN);
    press(VK_RETURN);  // 隐藏状态窗体
    EXPECT_TRUE(waitFor([&] { return !IsWindowVisible(widget) && !IsWindowVisible(menu); }));
    openMenu(space);
    press(VK_SPACE);  // 显示状态窗体
    EXPECT_TRUE(waitFor([&] { return IsWindowVisible(widget) && !IsWindowVisible(menu); }));
    auto openAbout = [&] {
        openMenu(enter);
        press(VK_END);
        press(VK_UP);
        press(VK_RETURN);  // 关于
        HWND about = e2e::waitWindow(tolm.id(), L"TolmForm", L"FormAbout", 20000);
        EXPECT_TRUE(waitFor([&] { return about && GetForegroundWindow() == about && !IsWindowVisible(menu); }));
        return about;
    };
    // Enter held on 关于: the about window opens, and the presses the system repeats while the key
    // is still down reach it without closing it through its default button. They are sent from
    // here as Windows marks them (bit 30: the key was already down): Wine marks the first repeat
    // after the focus moved to another window as a new press.
    openMenu(space);
    press(VK_END);
    press(VK_UP);
    hold(VK_RETURN, true);  // 关于
    HWND about = e2e::waitWindow(tolm.id(), L"TolmForm", L"FormAbout", 20000);
    ASSERT_TRUE(about);
    EXPECT_TRUE(waitFor([&] { return GetForegroundWindow() == about; }));
    for (int i = 0; i < 3; ++i) PostMessageW(about, WM_KEYDOWN, VK_RETURN, 0x401C0001);
    hold(VK_RETURN, false);
    Sleep(1000);
    EXPECT_TRUE(IsWindow(about) && IsWindowVisible(about)) << "holding Enter closed the about window";

    // The about window: Tab round its links and its button, Enter on the update link runs the
    // check; Esc and Enter close it.
    walk(
        events, about, ROLE_SYSTEM_DIALOG,
        {{L"确定", ROLE_SYSTEM_PUSHBUTTON}, {L"用QQ咨询 100860017", ROLE_SYSTEM_LINK}, {L"检测更新", ROLE_SYSTEM_LINK}},
        {{VK_TAB, L"用QQ咨询 100860017"}, {VK_TAB, L"检测更新"}, {VK_TAB, L"确定"}, {kShiftTab, L"检测更新"}});
    press(VK_RETURN);
    EXPECT_EQ(e2e::answerMessage(tolm.id()), L"已是最新版本,无需更新");
    for (WORD key : {VK_ESCAPE, VK_RETURN}) {
        EXPECT_TRUE(waitFor([&] { return !IsWindow(about); })) << "the about window stayed";
        about = openAbout();
        press(key);
        EXPECT_TRUE(waitFor([&] { return !IsWindow(about); })) << "key " << key << " did not close the about window";
    }

    // Midnight: the count and its name change together, and the change is told.
    EXPECT_TRUE(waitFor([&] { return events.seen(0, EVENT_OBJECT_NAMECHANGE, widget, CHILDID_SELF); }, 120000))
        << "no name change at midnight";
    EXPECT_EQ(Reader(widget, OBJID_CLIENT).name(), L"距离2027年高考还有9天");
    EXPECT_EQ(Reader(widget, OBJID_CLIENT).name(2), L"还有9天");

    openMenu(shiftF10);
    press(VK_END);
    press(VK_RETURN);  // 退出
    EXPECT_TRUE(tolm.waitExit(15000)) << "退出 chosen by the keyboard did not end the widget";

    // The update prompt of a widget told of a newer release: Tab between its buttons, Enter on
    // the focused one.
    std::ofstream(e2e::env(L"TOLM_PUBLISHER_CONTROL").c_str(), std::ios::trunc) << "motto newer\n";
    {
        e2e::Process again(app + L"\\tolm.exe", app);
        HWND prompt = e2e::waitWindow(again.id(), L"TolmForm", L"FormExit", 60000);
        ASSERT_TRUE(prompt) << e2e::fate(again);
        ASSERT_TRUE(waitFor([&] { return GetForegroundWindow() == prompt; }));
        walk(events, prompt, ROLE_SYSTEM_DIALOG, {{L"是", ROLE_SYSTEM_PUSHBUTTON}, {L"否", ROLE_SYSTEM_PUSHBUTTON}},
             {{VK_TAB, L"否"}, {VK_TAB, L"是"}, {kShiftTab, L"否"}});
        press(VK_RETURN);
        EXPECT_TRUE(waitFor([&] { return !IsWindowVisible(prompt); })) << "Enter on 否 left the prompt up";
        HWND shown = e2e::waitWindow(again.id(), L"TolmForm", L"Tolm", 20000);
        PostMessageW(shown, WM_KEYDOWN, VK_ESCAPE, 0);
        EXPECT_TRUE(again.waitExit(15000));
    }

    // jw's window: Tab round its check boxes and buttons, Space ticks, Esc closes writing nothing.
    bool batch = e2e::fileExists(app + L"\\jw.bat");  // another test's run may have left one
    e2e::Process jw(app + L"\\jw.exe", app);
    HWND done = e2e::waitWindow(jw.id(), L"TolmForm", L"成功安装", 60000);
    ASSERT_TRUE(done) << e2e::fate(jw);
    ASSERT_TRUE(waitFor([&] { return GetForegroundWindow() == done; }));
    walk(events, done, ROLE_SYSTEM_DIALOG,
         {{L"开机启动", ROLE_SYSTEM_CHECKBUTTON},
          {L"添加桌面快捷方式", ROLE_SYSTEM_CHECKBUTTON},
          {L"关闭", ROLE_SYSTEM_PUSHBUTTON},
          {L"完成", ROLE_SYSTEM_PUSHBUTTON}},
         {{VK_TAB, L"添加桌面快捷方式"}, {VK_TAB, L"关闭"}, {VK_TAB, L"完成"}, {VK_TAB, L"开机启动"}});
    HWND autostart = FindWindowExW(done, nullptr, L"BUTTON", L"开机启动");
    press(VK_SPACE);
    EXPECT_TRUE(waitFor([&] { return SendMessageW(autostart, BM_GETCHECK, 0, 0) == BST_UNCHECKED; }));
    press(VK_ESCAPE);
    EXPECT_TRUE(jw.waitExit(15000)) << "Esc did not close jw's window";
    EXPECT_TRUE(batch || !e2e::fileExists(app + L"\\jw.bat")) << "closing wrote the batch";
    CoUninitialize();
}

}  // namespace
