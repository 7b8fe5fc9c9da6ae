#include "platform/forms/flat_button.h"

#include <cfenv>
#include <cmath>
#include <stdexcept>

namespace forms {

std::int16_t roundToInt16(float v) {
    // Ties to even whatever rounding mode the process happens to run in.
    int old = std::fegetround();
    std::fesetround(FE_TONEAREST);
    float r = std::nearbyint(v);
    std::fesetround(old);
    if (!(r >= -32768.0f && r <= 32767.0f)) throw std::overflow_error("溢出 (Overflow)");
    return static_cast<std::int16_t>(r);
}

void shapeByColorKey(Form& form, std::uint32_t key) {
    constexpr std::uint32_t LWA_COLORKEY_ = 1;
    form.backend().setExStyle(form, kExLayered);
    form.backend().setLayered(form, key, 5, LWA_COLORKEY_);
}

void DragState::grab(float x, float y) {
    GrabX = x;
    GrabY = roundToInt16(y);
    PressFlag = -1;
}

void DragState::follow(Form& form, float x, float y) const {
    form.setLeft(form.left() + (x - GrabX));
    form.setTop(form.top() + (y - static_cast<float>(GrabY)));
}

FlatButtons::FlatButtons(Form& form, std::vector<Button> buttons, const char* background)
    : form_(form), buttons_(std::move(buttons)) {
    for (std::size_t i = 0; i < buttons_.size(); ++i) {
        for (const char* part : {buttons_[i].picture, buttons_[i].label}) {
            form_.on(part, Event::MouseDown, [this, i](const Mouse&) {
                form_(buttons_[i].picture).setBackColor(kFacePressed);
                state_.PressFlag = -1;
            });
            form_.on(part, Event::MouseMove, [this, i](const Mouse&) {
                if (!state_.pressed()) form_(buttons_[i].picture).setBackColor(kFaceHover);
            });
            form_.on(part, Event::MouseUp, [this, i](const Mouse&) {
                form_(buttons_[i].picture).setBackColor(kFaceHover);
                state_.PressFlag = 0;
            });
            // A click on the face runs the caption's click action.
            form_.on(part, Event::Click, [this, i](const Mouse&) {
                if (buttons_[i].click) buttons_[i].click();
            });
        }
    }
    form_.on(background, Event::MouseDown, [this](const Mouse& m) { state_.grab(m.x, m.y); });
    form_.on(background, Event::MouseMove, [this](const Mouse& m) {
        for (const Button& b : buttons_) form_(b.picture).setBackColor(kFaceIdle);
        if (state_.pressed()) state_.follow(form_, m.x, m.y);
    });
    form_.on(background, Event::MouseUp, [this](const Mouse&) { state_.PressFlag = 0; });
}

}  // namespace forms
