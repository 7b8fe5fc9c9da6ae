#pragma once
// The widget itself: a borderless, partly see-through window that shows the exam year and the
// days left as digit pictures over a background picture painted from a file.
#include <chrono>
#include <optional>
#include <string>

#include "platform/clock.h"
#include "platform/forms/flat_button.h"
#include "platform/forms/form.h"
#include "platform/tray_event.h"
#include "tolm/countdown/countdown.h"

namespace tolm {

class FormTolm : public forms::Form {
public:
    explicit FormTolm(forms::App& app);

    // A window move in progress, and where the pointer was when it began.
    forms::DragState drag;
    // The date whose count is on display.
    Date shownDate;

    // Whether the browser is still loading the motto page; while it is, the window ignores moves.
    bool webBusy() const;
    // Reads the loaded motto page: motto, published version, update prompt, notification icon.
    void ParseMotto();
    // Another start of the program asked for the widget: shown (also when hidden through the
    // menu), its background painted again as the menu's show entry does, and in front.
    void bringBack();
    // The notification-area icon was used: a right press opens the menu panel at the pointer, the
    // keyboard opens it at the icon on its first entry. Not while the motto page loads, nor
    // during a move of the window.
    void iconEvent(const platform::TrayEvent& e);

    static constexpr std::uint32_t kColorKey = 0x808080;

    // Read out from the count and the motto on display: the digits and the motto are pictures
    // and painted text, which a screen reader cannot read by itself.
    std::optional<forms::AccessibleView> accessible() override;

protected:
    void Form_Load() override;
    void Form_Alarm(int id) override;
    void Form_SystemChange() override;
    void Form_Unload() override;
    void Form_CaptureLost() override;
    void Form_DpiChanged() override;

private:
    void Timer1_Timer();
    void Form_MouseDown(const forms::Mouse& m);
    void Form_MouseMove(const forms::Mouse& m);
    void Form_MouseUp(const forms::Mouse& m);
    void ComEnd_Click();
    void Web1_DownloadBegin();
    void Web1_DocumentComplete();
    // Counts again when the local date has changed, and waits for the next local midnight.
    void followDate();
};

namespace PublicSub {
// Shows the exam year and the days left for the local clock's date.
void ShowCountdown(FormTolm& form);
// The same for a given date (the clock's date is what the program uses).
void ShowCountdown(FormTolm& form, Date today);
}  // namespace PublicSub

// The count as a sentence: "距离2027年高考还有181天".
std::string spokenCount(const Countdown& c);

// How long until the local date changes, with a little slack so the alarm lands after midnight.
std::chrono::milliseconds untilNextDay(const platform::LocalTime& now);

}  // namespace tolm
