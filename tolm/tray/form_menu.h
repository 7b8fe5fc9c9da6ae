#pragma once
// The menu panel that opens from the notification-area icon.
#include "platform/forms/form.h"

namespace tolm {

class FormMenu : public forms::Form {
public:
    explicit FormMenu(forms::App& app);
    // Public: opening the panel runs it again, which places the panel at the pointer.
    void Form_Load() override;

    // Shows the panel at the pointer, in front with the keyboard's focus, and starts watching
    // the foreground window.
    void open();
    // Opened from the icon by the keyboard: as open(), but at the icon's anchor point (screen
    // pixels) and with the first entry highlighted. A panel already shown stays as it is: the
    // shell may report one press of Enter twice.
    void openByKeyboard(forms::PixelPoint anchor);
    // Hides the panel; nothing is watched while it is hidden.
    void close();

    // A menu to screen readers: the four entries, the highlighted one focused.
    std::optional<forms::AccessibleView> accessible() override;
    // The entry under the highlight bar, 0 to 3; -1 when the bar lies under none.
    int highlighted();

    static constexpr int kHoverOffset = 100;  // the bar's top above its entry's top, twips

private:
    // Moved onto a monitor of another scale, the panel has another size: placed again.
    void Form_DpiChanged() override;
    // Up and Down move the bar round the entries, Home and End to the ends, Enter and Space
    // choose, Esc closes and hands the keyboard back to the notification area.
    bool Form_KeyDown(int key, int shift) override;
    void highlight(int entry);
    void openAt(std::optional<forms::PixelPoint> anchor);
    void placeAtPointer();
    forms::PixelPoint pointerAtOpening_{};  // or the icon's anchor, for the keyboard
    void Timer1_Timer();
    void ComShow_Click();
    void ComHide_Click();
    void ComAbout_Click();
    void ComUnload_Click();
};

// The panel's place on the screen, in pixels: its bottom-right corner at the pointer. Where that
// would leave part of it outside the work area of the pointer's monitor, it opens below or to
// the right of the pointer instead, and is finally pushed inside the work area.
forms::PixelPoint menuPlacement(forms::PixelPoint pointer, int width, int height, const forms::PixelRect& work);

}  // namespace tolm
