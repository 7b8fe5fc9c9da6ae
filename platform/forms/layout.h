#pragma once
// Window layouts as data: one const table per window, rows front to back, in twips.
#include <cstdint>
#include <span>

namespace forms {

using Twips = int;

// An OLE-style colour value: 0x00BBGGRR for an RGB colour, 0x80000000 | n for system colour n,
// so that "system colour 8" follows the user's colour scheme at paint time.
struct Color {
    std::uint32_t value = 0;

    static constexpr Color rgb(int r, int g, int b) {
        return {static_cast<std::uint32_t>(r) | static_cast<std::uint32_t>(g) << 8 |
                static_cast<std::uint32_t>(b) << 16};
    }
    static constexpr Color system(int index) { return {0x80000000u | static_cast<std::uint32_t>(index)}; }
    // A plain colour value as the system's own code writes it (14737632 == RGB(224,224,224)).
    static constexpr Color fromValue(std::uint32_t v) { return {v}; }

    constexpr bool isSystem() const { return (value & 0x80000000u) != 0; }
    constexpr int systemIndex() const { return static_cast<int>(value & 0xFFu); }
    constexpr int red() const { return static_cast<int>(value & 0xFF); }
    constexpr int green() const { return static_cast<int>(value >> 8 & 0xFF); }
    constexpr int blue() const { return static_cast<int>(value >> 16 & 0xFF); }
    constexpr bool operator==(const Color&) const = default;
};

namespace sys {
inline constexpr Color WindowBackground = Color::system(5);
inline constexpr Color WindowText = Color::system(8);
inline constexpr Color ButtonFace = Color::system(15);
inline constexpr Color ButtonText = Color::system(18);
}  // namespace sys

// No face: the system's default user-interface font at 9 points.
struct Font {
    const char* face = nullptr;
    int points = 9;
    int weight = 400;
    int charset = 1;  // DEFAULT_CHARSET
    constexpr bool isDefault() const { return face == nullptr; }
};

enum class Kind { PictureBox, Label, Image, Shape, Timer, CommandButton, TextBox, CheckBox, Frame, Browser };

constexpr bool isWindowed(Kind k) {
    return k == Kind::PictureBox || k == Kind::CommandButton || k == Kind::TextBox || k == Kind::CheckBox ||
           k == Kind::Frame || k == Kind::Browser;
}
constexpr bool isContainer(Kind k) { return k == Kind::PictureBox || k == Kind::Frame || k == Kind::Browser; }

enum class Align { Left, Center };
enum class Edge { Sunken, Flat };         // picture boxes: default 3-D edge, or none at all
enum class ShapeStyle { Filled, Outline };  // filled without outline, or outline drawn inside
// Which button Enter and Esc press; DefaultCancel: the window's only button, pressed by both.
enum class KeyRole { None, Default, Cancel, DefaultCancel };

struct ControlDef {
    const char* name = "";
    int index = -1;  // element of a control array, or -1
    Kind kind = Kind::Label;
    const char* container = nullptr;  // nullptr: the window itself
    Twips left = 0, top = 0, width = 0, height = 0;
    const char* caption = "";  // label/button/check box caption, text box text
    Color fore = sys::ButtonText;  // text; a shape's outline
    Color back = sys::ButtonFace;  // background; a filled shape's fill
    const char* picture = nullptr;  // artwork resource name
    Font font{};
    bool visible = true;
    bool enabled = true;
    bool autoSize = false;     // labels: size from caption; picture boxes: sized to their picture
    bool stretch = false;      // images
    bool transparent = false;  // labels: draw only the text
    Align align = Align::Left;
    Edge edge = Edge::Sunken;
    ShapeStyle shape = ShapeStyle::Outline;
    int interval = 0;  // timers, milliseconds
    int value = 0;     // check boxes: 0 clear, 1 ticked
    int tabIndex = -1;  // keyboard focus order; -1 takes no focus
    KeyRole keyRole = KeyRole::None;
    const char* cursor = nullptr;  // artwork resource name of a cursor shown over the control
    const char* accName = nullptr;  // what a screen reader calls it, where its caption does not say
};

// Fixed: a title bar with the minimise button; Sizable: a resizable frame whose title bar
// carries the close button only.
enum class Border { None, Fixed, Sizable };
// CenterOwner: centred on the program's main window (the first one it opened).
enum class StartUp { Manual, CenterScreen, CenterOwner };

struct FormDef {
    const char* name = "";
    const char* caption = "";
    Border border = Border::None;
    bool taskbar = false;
    const char* icon = nullptr;  // resource name, or none
    StartUp startUp = StartUp::CenterScreen;
    Twips left = 0, top = 0;  // used with StartUp::Manual
    Twips width = 0, height = 0;  // client area
    Color back = sys::ButtonFace;
    std::span<const ControlDef> controls;
};

}  // namespace forms
