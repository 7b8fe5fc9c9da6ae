// The real tolm.exe as a screen reader meets it, from another process: the names and roles its
// windows give through the accessibility objects, and the events it raises when what it shows
// changes. Run on a clock shortly before midnight, against the publisher's motto page.
#include <windows.h>
// after windows.h
#include <gtest/gtest.h>
#include <oleacc.h>

#include <atomic>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
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
    struct Event {
        DWORD event;
        HWND hwnd;
        LONG object, child;
    };
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
    // Whether the event came for the window since the count was taken.
    bool seen(std::size_t since, DWORD event, HWND hwnd, LONG object, LONG child) {
        std::lock_guard lock(m_);
        for (std::size_t i = since; i < log_.size(); ++i)
            if (log_[i].event == event && log_[i].hwnd == hwnd && log_[i].object == object && log_[i].child == child)
                return true;
        return false;
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
        self()->log_.push_back({event, hwnd, object, child});
    }
    std::thread thread_;
    DWORD thread_id_ = 0;
    std::mutex m_;
    std::vector<Event> log_;
};

// A key as the user presses it: to whichever window has the keyboard.
void press(WORD vk) {
    INPUT in[2] = {};
    in[0].type = INPUT_KEYBOARD;
    in[0].ki.wVk = vk;
    in[1] = in[0];
    in[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, in, sizeof(INPUT));
}

// One object of a window, read as screen readers read it.
struct Reader {
    IAccessible* object = nullptr;
    Reader(HWND hwnd, LONG id) {
        AccessibleObjectFromWindow(hwnd, static_cast<DWORD>(id), IID_IAccessible, reinterpret_cast<void**>(&object));
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
    long role(LONG child = CHILDID_SELF) const {
        VARIANT v;
        VariantInit(&v);
        if (!object || FAILED(object->get_accRole(id(child), &v)) || v.vt != VT_I4) return -1;
        return v.lVal;
    }
    long state(LONG child = CHILDID_SELF) const {
        VARIANT v;
        VariantInit(&v);
        if (!object || FAILED(object->get_accState(id(child), &v)) || v.vt != VT_I4) return -1;
        return v.lVal;
    }
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

// A dialog gone through by the keyboard: a dialog to screen readers, its parts named and of
// their roles, the first focused; then each key moves the focus to the part named.
struct Stop {
    const wchar_t* name;
    long role;
};
void tabThrough(Events& events, HWND dialog, const std::vector<Stop>& parts, const wchar_t* first,
                const std::vector<std::pair<WORD, const wchar_t*>>& keys) {
    Reader r(dialog, OBJID_CLIENT);
    EXPECT_EQ(r.role(), ROLE_SYSTEM_DIALOG);
    for (const Stop& p : parts) {
        LONG i = r.childNamed(p.name);
        ASSERT_GT(i, 0) << "no part named " << testing::PrintToString(std::wstring(p.name));
        EXPECT_EQ(r.role(i), p.role) << testing::PrintToString(std::wstring(p.name));
        EXPECT_EQ((r.state(i) & STATE_SYSTEM_FOCUSED) != 0, std::wstring(p.name) == first)
            << testing::PrintToString(std::wstring(p.name));
    }
    for (auto [key, to] : keys) {
        std::size_t mark = events.count();
        bool back = key == VK_SHIFT;
        if (back) {
            INPUT in[4] = {};
            for (INPUT& i : in) i.type = INPUT_KEYBOARD;
            in[0].ki.wVk = in[3].ki.wVk = VK_SHIFT;
            in[1].ki.wVk = in[2].ki.wVk = VK_TAB;
            in[2].ki.dwFlags = in[3].ki.dwFlags = KEYEVENTF_KEYUP;
            SendInput(4, in, sizeof(INPUT));
        } else {
            press(key);
        }
        LONG i = r.childNamed(to);
        EXPECT_TRUE(waitFor([&] { return events.seen(mark, EVENT_OBJECT_FOCUS, dialog, OBJID_CLIENT, i); }))
            << (back ? "Shift+Tab" : "Tab") << " to " << testing::PrintToString(std::wstring(to));
        EXPECT_NE(r.state(i) & STATE_SYSTEM_FOCUSED, 0) << testing::PrintToString(std::wstring(to));
        // Time to look at the focus marks on a screenshot of the run.
        if (!e2e::env(L"TOLM_E2E_LINGER").empty()) Sleep(1500);
    }
}

std::wstring windowText(HWND w) {
    wchar_t t[256] = {};
    GetWindowTextW(w, t, 256);
    return t;
}

TEST(Access, TheWidgetSpeaksItsCountAndMottoAndTellsWhenTheyChange) {
    std::wstring app = e2e::env(L"TOLM_APP_DIR");
    ASSERT_FALSE(app.empty());
    CoInitialize(nullptr);
    Events events;
    e2e::Process tolm(app + L"\\tolm.exe", app);
    HWND widget = e2e::waitWindow(tolm.id(), L"TolmForm", L"Tolm", 60000);
    ASSERT_TRUE(widget) << e2e::fate(tolm);
    std::size_t start = 0;

    // The clock starts at 23:59 on May 28, 2027: ten days left, nine after midnight.
    {
        Reader client(widget, OBJID_CLIENT), frame(widget, OBJID_WINDOW);
        ASSERT_TRUE(client.object && frame.object);
        EXPECT_EQ(windowText(widget), L"Tolm") << "setup and update find the widget by its caption";
        for (const Reader* r : {&client, &frame}) EXPECT_EQ(r->name(), L"距离2027年高考还有10天");
        EXPECT_EQ(client.role(), ROLE_SYSTEM_CLIENT);
        EXPECT_EQ(frame.role(), ROLE_SYSTEM_WINDOW);
        ASSERT_EQ(client.children(), 3);
        const wchar_t* parts[] = {L"2027年", L"还有10天"};
        for (LONG i = 1; i <= 3; ++i) EXPECT_EQ(client.role(i), ROLE_SYSTEM_STATICTEXT) << i;
        for (LONG i = 1; i <= 2; ++i) EXPECT_EQ(client.name(i), parts[i - 1]);
    }

    // The published motto arrives: the motto part is renamed, the description follows.
    EXPECT_TRUE(waitFor([&] { return events.seen(start, EVENT_OBJECT_NAMECHANGE, widget, OBJID_CLIENT, 3); }, 60000))
        << "no name change when the motto arrived";
    {
        Reader client(widget, OBJID_CLIENT);
        EXPECT_EQ(client.name(3), L"天道酬勤，逐梦高考!");
        EXPECT_EQ(client.description(), L"天道酬勤，逐梦高考!");
    }

    // The menu from the icon by the keyboard (Wine's notification area sends no keys: the icon's
    // message comes from here): in front with the keyboard, a menu to screen readers, the first
    // entry focused, and the keys move round it.
    auto openMenu = [&] {
        std::size_t mark = events.count();
        PostMessageW(widget, WM_MOUSEMOVE, 0, 0x0401 /* NIN_KEYSELECT */);
        HWND menu = e2e::waitWindow(tolm.id(), L"TolmForm", L"FormMenu", 20000);
        EXPECT_TRUE(waitFor([&] { return menu && IsWindowVisible(menu) && GetForegroundWindow() == menu; }));
        EXPECT_TRUE(waitFor([&] { return events.seen(mark, EVENT_SYSTEM_MENUPOPUPSTART, menu, OBJID_CLIENT, 0); }));
        EXPECT_TRUE(waitFor([&] { return events.seen(mark, EVENT_OBJECT_FOCUS, menu, OBJID_CLIENT, 1); }));
        return menu;
    };
    HWND menu = openMenu();
    ASSERT_TRUE(menu);
    {
        Reader m(menu, OBJID_CLIENT);
        EXPECT_EQ(m.role(), ROLE_SYSTEM_MENUPOPUP);
        ASSERT_EQ(m.children(), 4);
        const wchar_t* entries[] = {L"显示状态窗体", L"隐藏状态窗体", L"关于", L"退出"};
        for (LONG i = 1; i <= 4; ++i) {
            EXPECT_EQ(m.name(i), entries[i - 1]);
            EXPECT_EQ(m.role(i), ROLE_SYSTEM_MENUITEM);
            EXPECT_EQ((m.state(i) & STATE_SYSTEM_FOCUSED) != 0, i == 1) << i;
        }
    }
    struct Move {
        WORD key;
        LONG to;
    } moves[] = {{VK_DOWN, 2}, {VK_UP, 1}, {VK_UP, 4}, {VK_DOWN, 1}, {VK_END, 4}, {VK_HOME, 1}, {VK_DOWN, 2}};
    for (const Move& mv : moves) {
        std::size_t mark = events.count();
        press(mv.key);
        EXPECT_TRUE(waitFor([&] { return events.seen(mark, EVENT_OBJECT_FOCUS, menu, OBJID_CLIENT, mv.to); }))
            << "key " << mv.key << " to entry " << mv.to;
        EXPECT_NE(Reader(menu, OBJID_CLIENT).state(mv.to) & STATE_SYSTEM_FOCUSED, 0) << mv.to;
    }
    std::size_t mark = events.count();
    press(VK_ESCAPE);
    EXPECT_TRUE(waitFor([&] { return !IsWindowVisible(menu); })) << "Esc did not close the menu";
    EXPECT_TRUE(waitFor([&] { return events.seen(mark, EVENT_SYSTEM_MENUPOPUPEND, menu, OBJID_CLIENT, 0); }));
    EXPECT_TRUE(IsWindowVisible(widget));

    // Each entry chosen by the keyboard: Enter or Space on the highlighted one.
    openMenu();
    press(VK_DOWN);
    press(VK_RETURN);  // 隐藏状态窗体
    EXPECT_TRUE(waitFor([&] { return !IsWindowVisible(widget) && !IsWindowVisible(menu); }));
    openMenu();
    press(VK_SPACE);  // 显示状态窗体
    EXPECT_TRUE(waitFor([&] { return IsWindowVisible(widget) && !IsWindowVisible(menu); }));
    openMenu();
    press(VK_END);
    press(VK_UP);
    press(VK_RETURN);  // 关于
    HWND about = e2e::waitWindow(tolm.id(), L"TolmForm", L"FormAbout", 20000);
    ASSERT_TRUE(waitFor([&] { return about && IsWindowVisible(about) && !IsWindowVisible(menu); }));

    // The about window: Tab round its links and its button, Enter on the update link runs the
    // check; Esc and Enter close it.
    tabThrough(
        events, about,
        {{L"确定", ROLE_SYSTEM_PUSHBUTTON}, {L"用QQ咨询 100860017", ROLE_SYSTEM_LINK}, {L"检测更新", ROLE_SYSTEM_LINK}},
        L"确定", {{VK_TAB, L"用QQ咨询 100860017"}, {VK_TAB, L"检测更新"}, {VK_TAB, L"确定"}, {VK_SHIFT, L"检测更新"}});
    press(VK_RETURN);
    EXPECT_EQ(e2e::answerMessage(tolm.id()), L"已是最新版本,无需更新");
    for (WORD key : {VK_ESCAPE, VK_RETURN}) {
        EXPECT_TRUE(waitFor([&] { return !IsWindow(about); })) << "the about window stayed";
        openMenu();
        press(VK_END);
        press(VK_UP);
        press(VK_RETURN);  // 关于
        about = e2e::waitWindow(tolm.id(), L"TolmForm", L"FormAbout", 20000);
        ASSERT_TRUE(waitFor([&] { return about && GetForegroundWindow() == about; }));
        press(key);
        EXPECT_TRUE(waitFor([&] { return !IsWindow(about); })) << "key " << key << " did not close the about window";
    }

    // Midnight: the count and its name change together, and the change is told.
    EXPECT_TRUE(waitFor([&] { return events.seen(start, EVENT_OBJECT_NAMECHANGE, widget, OBJID_CLIENT, CHILDID_SELF); },
                        120000))
        << "no name change at midnight";
    {
        Reader client(widget, OBJID_CLIENT);
        EXPECT_EQ(client.name(), L"距离2027年高考还有9天");
        EXPECT_EQ(client.name(2), L"还有9天");
    }

    openMenu();
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
        tabThrough(events, prompt, {{L"是", ROLE_SYSTEM_PUSHBUTTON}, {L"否", ROLE_SYSTEM_PUSHBUTTON}}, L"是",
                   {{VK_TAB, L"否"}, {VK_TAB, L"是"}, {VK_SHIFT, L"否"}});
        press(VK_RETURN);
        EXPECT_TRUE(waitFor([&] { return !IsWindowVisible(prompt); })) << "Enter on 否 left the prompt up";
        HWND shown = e2e::waitWindow(again.id(), L"TolmForm", L"Tolm", 20000);
        PostMessageW(shown, WM_KEYDOWN, VK_ESCAPE, 0);
        EXPECT_TRUE(again.waitExit(15000));
    }

    // jw's window: Tab round its check boxes and buttons, Space ticks, Esc closes writing nothing.
    auto written = [&] {
        WIN32_FILE_ATTRIBUTE_DATA a{};
        if (!GetFileAttributesExW((app + L"\\jw.bat").c_str(), GetFileExInfoStandard, &a)) return 0ull;
        return static_cast<unsigned long long>(a.ftLastWriteTime.dwHighDateTime) << 32 |
               a.ftLastWriteTime.dwLowDateTime;
    };
    unsigned long long batch = written();
    e2e::Process jw(app + L"\\jw.exe", app);
    HWND done = e2e::waitWindow(jw.id(), L"TolmForm", L"成功安装", 60000);
    ASSERT_TRUE(done) << e2e::fate(jw);
    ASSERT_TRUE(waitFor([&] { return GetForegroundWindow() == done; }));
    tabThrough(events, done,
               {{L"开机启动", ROLE_SYSTEM_CHECKBUTTON},
                {L"添加桌面快捷方式", ROLE_SYSTEM_CHECKBUTTON},
                {L"关闭", ROLE_SYSTEM_PUSHBUTTON},
                {L"完成", ROLE_SYSTEM_PUSHBUTTON}},
               L"开机启动",
               {{VK_TAB, L"添加桌面快捷方式"}, {VK_TAB, L"关闭"}, {VK_TAB, L"完成"}, {VK_TAB, L"开机启动"}});
    HWND autostart = FindWindowExW(done, nullptr, L"BUTTON", L"开机启动");
    press(VK_SPACE);
    EXPECT_TRUE(waitFor([&] { return SendMessageW(autostart, BM_GETCHECK, 0, 0) == BST_UNCHECKED; }));
    press(VK_ESCAPE);
    EXPECT_TRUE(jw.waitExit(15000)) << "Esc did not close jw's window";
    EXPECT_EQ(written(), batch) << "closing wrote the batch";
    CoUninitialize();
}

}  // namespace
