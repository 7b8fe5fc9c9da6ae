// The real tolm.exe as a screen reader meets it, from another process: the names and roles its
// windows give through the accessibility objects, and the events it raises when what it shows
// changes. Run on a clock shortly before midnight, against the publisher's motto page.
#include <windows.h>
// after windows.h
#include <gtest/gtest.h>
#include <oleacc.h>

#include <atomic>
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
    EXPECT_TRUE(waitFor([&] { return about && IsWindowVisible(about) && !IsWindowVisible(menu); }));

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
    CoUninitialize();
}

}  // namespace
