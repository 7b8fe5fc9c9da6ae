#pragma once
// What a screen reader is told about a window: its name, role and description, and the parts of
// it that it reads out or moves the focus to. Built by the window from the state it shows, so
// that what is read is what is on the screen.
#include <string>
#include <vector>

namespace forms {

class Control;

// Roles by the numbers screen readers know them by.
enum class Role : int {
    Window = 9,
    Client = 10,
    PopupMenu = 11,
    MenuItem = 12,
    Dialog = 18,
    Link = 30,
    StaticText = 41,
    PushButton = 43,
    CheckBox = 44,
};

struct AccessibleItem {
    std::string name;
    Role role = Role::StaticText;
    const Control* control = nullptr;  // where it is on the screen
    bool focused = false;
    bool operator==(const AccessibleItem&) const = default;
};

struct AccessibleView {
    std::string name;
    std::string description;
    Role role = Role::Client;
    std::vector<AccessibleItem> items;  // in reading order; a screen reader numbers them from 1
    bool operator==(const AccessibleView&) const = default;
};

// What a window raises for screen readers; `item` 0 is the window itself, else an item's number.
enum class AccessibleEvent { NameChange, DescriptionChange, Focus, MenuStart, MenuEnd };

}  // namespace forms
