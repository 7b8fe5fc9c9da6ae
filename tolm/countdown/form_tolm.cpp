#include "tolm/countdown/form_tolm.h"

#include "build_config.h"
#include "tolm/countdown/motto.h"
#include "tolm/countdown/services.h"
#include "tolm/layouts/layouts.h"
#include "tolm/tray/form_menu.h"
#include "tolm/update/form_exit.h"
#include "tolm/update/version.h"

namespace tolm {

namespace {
constexpr int kDayAlarm = 1;

Date dateOf(const platform::LocalTime& t) { return {t.year, t.month, t.day}; }
Date today() { return dateOf(services().clock->now()); }

// A step of reading the motto page that fails is skipped; the next one still runs.
void standAlone(const std::function<void()>& step) {
    try {
        step();
    } catch (const forms::ProgramEnded&) {
        throw;
    } catch (const std::exception&) {
    }
}
}  // namespace

Services& services() {
    static Services s;
    return s;
}

std::chrono::milliseconds untilNextDay(const platform::LocalTime& now) {
    using namespace std::chrono;
    auto sinceMidnight = hours(now.hour) + minutes(now.minute) + seconds(now.second) + milliseconds(now.millisecond);
    return duration_cast<milliseconds>(hours(24) - sinceMidnight) + seconds(1);
}

FormTolm::FormTolm(forms::App& app) : Form(app, layouts::FormTolm) {
    on("Timer1", forms::Event::Timer, [this](const forms::Mouse&) { Timer1_Timer(); });
    on("", forms::Event::MouseDown, [this](const forms::Mouse& m) { Form_MouseDown(m); });
    on("", forms::Event::MouseMove, [this](const forms::Mouse& m) { Form_MouseMove(m); });
    on("", forms::Event::MouseUp, [this](const forms::Mouse& m) { Form_MouseUp(m); });
    on("ComEnd", forms::Event::Click, [this](const forms::Mouse&) { ComEnd_Click(); });
}

void FormTolm::Form_Load() {
    drag.PressFlag = 0;
    // See-through by the grey: the style replaces the extended style, it is not combined.
    forms::shapeByColorKey(*this, kColorKey);
    (*this)("Picture2").setBackColor(forms::Color::rgb(48, 48, 48));
    PublicSub::ShowCountdown(*this);
    if (platform::Browser* web = services().browser) {
        // The browser reports on this thread; its events run as this window's handlers do.
        auto handler = [this](void (FormTolm::*h)()) {
            return [this, h] {
                app().enter();
                guarded([&] { (this->*h)(); });
                app().leave();
            };
        };
        web->DownloadBegin = handler(&FormTolm::Web1_DownloadBegin);
        web->DocumentComplete = [h = handler(&FormTolm::Web1_DocumentComplete)](const std::string&) { h(); };
        web->Navigate(TOLM_PUBLISHER "/tolm/motto.html");
    }
    followDate();
}

void FormTolm::followDate() {
    // One reading of the clock: a midnight between two readings would keep the old count a day.
    platform::LocalTime now = services().clock->now();
    if (dateOf(now) != shownDate) PublicSub::ShowCountdown(*this, dateOf(now));
    startAlarm(kDayAlarm, untilNextDay(now));
}

void FormTolm::Form_Alarm(int id) {
    if (id == kDayAlarm) followDate();
}

void FormTolm::Form_SystemChange() { followDate(); }

// The widget is only ever hidden and shown; closed by the system (Alt+F4, the task list), it
// ends the program rather than leave it running with no window to come back to.
void FormTolm::Form_Unload() { app().end(); }

// Another window took the pointer mid-drag (activated, Alt+Tab): the release will never come.
void FormTolm::Form_CaptureLost() { drag.PressFlag = 0; }

bool FormTolm::webBusy() const { return services().browser && services().browser->Busy(); }

void FormTolm::Web1_DownloadBegin() { services().browser->Silent = true; }

void FormTolm::Web1_DocumentComplete() {
    services().browser->Silent = true;
    ParseMotto();
}

void FormTolm::ParseMotto() {
    std::optional<std::string> html;
    standAlone([&] { html = services().browser->BodyInnerHTML(); });
    // With no document, the motto and the version keep their values.
    std::optional<MottoText> text;
    if (html) standAlone([&] { text = splitMotto(*html); });
    if (text) standAlone([&] { (*this)("LabelMotto").setCaption(text->motto); });
    standAlone([&] { accessibleChanged(); });
    if (text && text->version) standAlone([&] { LatestVersion = *text->version; });
    standAlone([&] {
        if (CheckVersion(LatestVersion, backend().programVersion()) == VersionCheck::Differs)
            app().form<FormExit>().show();
    });
    standAlone([&] {
        if (services().registerTrayIcon) services().registerTrayIcon(*this);
    });
}

std::string spokenCount(const Countdown& c) {
    return "距离" + std::to_string(c.examYear) + "年高考还有" + std::to_string(c.days) + "天";
}

std::optional<forms::AccessibleView> FormTolm::accessible() {
    Countdown c = countdownFor(shownDate);
    std::string motto = (*this)("LabelMotto").caption();
    // The caption's spaces place it on the panel; a screen reader needs none of them at the ends.
    auto first = motto.find_first_not_of(' ');
    motto = first == std::string::npos ? std::string() : motto.substr(first, motto.find_last_not_of(' ') - first + 1);
    using forms::Role;
    return forms::AccessibleView{
        .name = spokenCount(c),
        .description = motto,
        .role = Role::Client,
        .items = {{std::to_string(c.examYear) + "年", Role::StaticText, &(*this)("Picture3")},
                  {"还有" + std::to_string(c.days) + "天", Role::StaticText, &(*this)("Picture2")},
                  {motto, Role::StaticText, &(*this)("Picture1")}}};
}

void FormTolm::bringBack() {
    show();
    (*this)("Timer1").setEnabled(true);
    backend().bringToFront(*this);
}

void FormTolm::Timer1_Timer() {
    // The painter is kept: a repaint asked for by the system draws the picture again, at the
    // DPI the window has then.
    backend().paintSurface(*this, [this, path = backend().programFolder() + "\\ui\\back.png"](forms::NativeDC dc) {
        if (services().paintPng) services().paintPng(path, dc, dpi());
    });
    (*this)("Timer1").setEnabled(false);
}

// On a monitor of another scale the background is painted from the art made for it.
void FormTolm::Form_DpiChanged() { (*this)("Timer1").setEnabled(true); }

void FormTolm::Form_MouseDown(const forms::Mouse& m) {
    if (m.button != forms::LeftButton) return;
    drag.grab(m.x, m.y);
}

void FormTolm::iconEvent(const platform::TrayEvent& e) {
    if (webBusy() || drag.pressed()) return;
    if (e.byKeyboard())
        app().form<FormMenu>().openByKeyboard(e.anchor);
    else
        app().form<FormMenu>().open();
}

void FormTolm::Form_MouseMove(const forms::Mouse& m) {
    if (webBusy()) return;
    if (drag.pressed()) {
        drag.follow(*this, m.x, m.y);
        (*this)("Timer1").setEnabled(true);
    }
}

void FormTolm::Form_MouseUp(const forms::Mouse&) {
    drag.PressFlag = 0;
    app().form<FormMenu>().close();
}

void FormTolm::ComEnd_Click() { app().end(); }

namespace PublicSub {

void ShowCountdown(FormTolm& form) { ShowCountdown(form, today()); }

void ShowCountdown(FormTolm& form, Date date) {
    Countdown c = countdownFor(date);
    std::vector<int> year = decimalDigits(c.examYear);
    for (int i = 1; i <= 4; ++i) form("YearNum", i).setPicture(form("PicNum", year[static_cast<std::size_t>(i - 1)]));
    std::vector<int> days = decimalDigits(c.days);
    int n = static_cast<int>(days.size());
    for (int i = 1; i <= n; ++i) {
        form("DayNum", i).setPicture(form("PicNum", days[static_cast<std::size_t>(i - 1)]));
        form("DayNum", i).setVisible(true);
    }
    // A count with fewer digits than the one before must not leave its old digits standing.
    for (int i = n + 1; i <= 4; ++i) form("DayNum", i).setVisible(false);
    form.shownDate = date;
    form.accessibleChanged();
}

}  // namespace PublicSub

}  // namespace tolm
