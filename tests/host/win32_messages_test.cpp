// The Win32 edge's reading of the system's messages: the tray icon's notifications as the shell
// documents them for version 4, and the key messages a window of ours may take.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win32/key_message.h"
#include "platform/win32/tray_message.h"

namespace {

constexpr unsigned kContextMenu = 0x007B, kMouseMove = 0x0200, kLButtonDown = 0x0201, kLButtonUp = 0x0202,
                   kLButtonDblClk = 0x0203, kRButtonDown = 0x0204, kRButtonUp = 0x0205, kSelect = 0x0400,
                   kKeySelect = 0x0401, kPopupOpen = 0x0406, kPopupClose = 0x0407;
constexpr unsigned kIconId = 0x2A17;  // the low word of the icon's handle

struct Note {
    unsigned what;
    int x, y;
};

// The events a run of notifications gives, as "kind x,y".
std::string events(const std::vector<Note>& notes, bool version4 = true) {
    win32::TrayMessages decoder;
    std::string out;
    for (const Note& n : notes) {
        auto word = [](int v) { return static_cast<std::uintptr_t>(static_cast<std::uint16_t>(v)); };
        // Version 4: the anchor in wParam, what happened and the icon's id in lParam. Before it:
        // the icon's id in wParam, the mouse message alone in lParam.
        std::uintptr_t wp = version4 ? word(n.x) | word(n.y) << 16 : kIconId;
        auto lp = static_cast<std::intptr_t>(version4 ? n.what | kIconId << 16 : n.what);
        if (auto e = decoder.decode(wp, lp)) {
            using K = platform::TrayEvent::Kind;
            const char* kind = e->kind == K::RightPress ? "right" : e->kind == K::KeySelect ? "key" : "menu";
            out += std::string(out.empty() ? "" : "; ") + kind;
            if (version4) out += " " + std::to_string(e->anchor.x) + "," + std::to_string(e->anchor.y);
        }
    }
    return out;
}

TEST(TrayMessages, TheShellsSequencesBecomeOneEventEach) {
    struct Case {
        const char* what;
        std::vector<Note> notes;
        const char* events;
    } cases[] = {
        {"right click", {{kMouseMove, 1500, 1050}, {kRButtonDown, 1500, 1050}, {kRButtonUp, 1500, 1050},
                         {kContextMenu, 1500, 1050}}, "right 1500,1050"},
        {"right click, the pointer moving on the icon before the release",
         {{kRButtonDown, 1500, 1050}, {kMouseMove, 1502, 1051}, {kRButtonUp, 1502, 1051}, {kContextMenu, 1502, 1051}},
         "right 1500,1050"},
        {"Enter: the shell may tell it twice", {{kKeySelect, 1488, 1040}, {kKeySelect, 1488, 1040}},
         "key 1488,1040; key 1488,1040"},
        {"Space", {{kKeySelect, 1488, 1040}}, "key 1488,1040"},
        {"Shift+F10 or the menu key", {{kContextMenu, 1488, 1040}}, "menu 1488,1040"},
        {"a right click, then Shift+F10",
         {{kRButtonDown, 1500, 1050}, {kRButtonUp, 1500, 1050}, {kContextMenu, 1500, 1050}, {kContextMenu, 1488, 1040}},
         "right 1500,1050; menu 1488,1040"},
        {"Shift+F10 after a left click",
         {{kLButtonDown, 1500, 1050}, {kLButtonUp, 1500, 1050}, {kSelect, 1500, 1050}, {kContextMenu, 1488, 1040}},
         "menu 1488,1040"},
        {"left click, double click, hover: nothing",
         {{kLButtonDown, 1, 1}, {kLButtonUp, 1, 1}, {kSelect, 1, 1}, {kLButtonDblClk, 1, 1}, {kLButtonUp, 1, 1},
          {kPopupOpen, 1, 1}, {kPopupClose, 1, 1}},
         ""},
        {"a release without its press", {{kRButtonUp, 5, 5}}, ""},
        {"left of and above the primary monitor", {{kKeySelect, -1200, -30}}, "key -1200,-30"},
    };
    for (const Case& c : cases) EXPECT_EQ(events(c.notes), c.events) << c.what;
}

// A shell that refused version 4 reports the bare mouse message: the right press still opens the
// menu (at the pointer), and the keyboard comes as the mouse's buttons.
TEST(TrayMessages, WithoutVersion4TheRightPressStillCounts) {
    EXPECT_EQ(events({{kRButtonDown, 0, 0}, {kRButtonUp, 0, 0}}, false), "right");
    EXPECT_EQ(events({{kMouseMove, 0, 0}, {kLButtonDown, 0, 0}, {kLButtonUp, 0, 0}}, false), "");
}

TEST(KeyMessages, AKeyReachesOnlyAShownEnabledWindowAndRepeatsAreToldApart) {
    using V = win32::KeyMessage::Verdict;
    constexpr unsigned kKeyDown = 0x0100, kKeyUp = 0x0101, kChar = 0x0102, kSysKeyDown = 0x0104;
    constexpr std::intptr_t kFirst = 0x001C0001, kHeld = 0x401C0001,
                            kReleased = static_cast<std::intptr_t>(0xC01C0001u);
    struct Case {
        const char* what;
        unsigned message;
        std::uintptr_t vk;
        std::intptr_t lParam;
        bool shown, enabled;
        V verdict;
        bool down, repeat;
    } cases[] = {
        {"Enter pressed", kKeyDown, 0x0D, kFirst, true, true, V::Deliver, true, false},
        {"Enter held: the system repeats it", kKeyDown, 0x0D, kHeld, true, true, V::Deliver, true, true},
        {"posted with no flags", kKeyDown, 0x0D, 0, true, true, V::Deliver, true, false},
        {"Space released", kKeyUp, 0x20, kReleased, true, true, V::Deliver, false, false},
        {"to a hidden window", kKeyDown, 0x0D, kFirst, false, true, V::Drop, false, false},
        {"released in a hidden window", kKeyUp, 0x20, kReleased, false, true, V::Drop, false, false},
        {"to a disabled window", kKeyDown, 0x1B, kFirst, true, false, V::Drop, false, false},
        {"a character for a hidden window", kChar, 'a', kFirst, false, true, V::Drop, false, false},
        {"a character: the system's", kChar, 'a', kFirst, true, true, V::Pass, false, false},
        {"Alt+F4: the system's", kSysKeyDown, 0x73, kFirst, false, false, V::Pass, false, false},
        {"not a key", 0x0200, 0, 0, false, false, V::Pass, false, false},
    };
    for (const Case& c : cases) {
        win32::KeyMessage k = win32::keyMessage(c.message, c.vk, c.lParam, c.shown, c.enabled);
        EXPECT_EQ(k.verdict, c.verdict) << c.what;
        if (c.verdict != V::Deliver) continue;
        EXPECT_EQ(k.key, static_cast<int>(c.vk)) << c.what;
        EXPECT_EQ(k.down, c.down) << c.what;
        EXPECT_EQ(k.repeat, c.repeat) << c.what;
    }
}

}  // namespace
