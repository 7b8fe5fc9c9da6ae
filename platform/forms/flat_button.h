#pragma once
// The flat-button and drag pattern of the borderless windows: flat picture-box buttons with
// a caption label that colour on hover and press, and a drag by the background picture. One
// press flag serves the buttons and the drag alike.
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/forms/form.h"

namespace forms {

inline constexpr Color kFaceIdle = Color::fromValue(14737632);  // RGB(224,224,224)
inline constexpr Color kFaceHover = Color::rgb(0, 185, 242);
inline constexpr Color kFacePressed = Color::rgb(0, 160, 200);

inline constexpr std::uint32_t kExLayered = 0x80000;  // WS_EX_LAYERED
inline constexpr std::uint32_t kRedKey = 255;         // RGB(255,0,0), the dialogs' see-through colour

// A borderless window shaped by its background colour: the extended style becomes exactly
// WS_EX_LAYERED (replaced, not combined), and pixels of the key colour turn see-through; the
// alpha is passed but takes no effect without LWA_ALPHA.
void shapeByColorKey(Form& form, std::uint32_t key);

// Rounds to the nearest integer, halves to even, into a 16-bit integer; out of range is an
// overflow, as in the system's own arithmetic.
std::int16_t roundToInt16(float v);

// The window fields of the pattern.
struct DragState {
    std::int16_t PressFlag = 0;  // 0 false, -1 true
    float GrabX = 0;             // twips
    std::int16_t GrabY = 0;      // twips

    bool pressed() const { return PressFlag != 0; }
    void grab(float x, float y);
    // Moves the window by the pointer's offset from the grab point: left first, then top.
    void follow(Form& form, float x, float y) const;
};

class FlatButtons {
public:
    struct Button {
        const char* picture;  // the face: a flat picture box
        const char* label;    // its caption
        std::function<void()> click;
    };
    // Wires the handlers of the buttons and of the drag surface `background` into the form.
    FlatButtons(Form& form, std::vector<Button> buttons, const char* background = "ImageBack");

    DragState& state() { return state_; }
    const DragState& state() const { return state_; }

private:
    Form& form_;
    std::vector<Button> buttons_;
    DragState state_;
};

}  // namespace forms
