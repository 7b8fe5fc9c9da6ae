#pragma once
// A windowing system that exists only in memory: it records what the runtime asks of it, and
// lets tests press, move and release the pointer at window pixels.
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/forms/form.h"
#include "platform/forms/scale.h"

namespace fake {

struct Window {
    forms::PixelRect rect;
    bool visible = false;
    std::uint32_t exStyle = 0;
    std::uint32_t colorKey = 0;
    int alpha = -1;
    bool topmost = false;
    std::uint32_t layeredFlags = 0;
    int surfacePaints = 0;
    int invalidations = 0;
    // The style and z-order calls in the order they came: "front", "style", "layered", "topmost".
    std::vector<std::string> styling;
};

class Backend final : public forms::Backend {
public:
    std::map<const forms::Form*, Window> windows;
    std::map<const forms::Control*, bool> timers;  // running or not
    std::map<const forms::Form*, std::map<int, long long>> alarms;
    std::vector<std::string> messages;
    std::string folder = "C:\\Program Files\\TOLM";
    forms::Version version{1, 0, 34};
    const forms::Control* focused = nullptr;
    bool captured = false;
    int creations = 0;
    forms::PixelPoint cursor{640, 512};
    forms::PixelRect work{0, 0, 1280, 984};  // the taskbar along the bottom
    // Every monitor's work area, the primary's first; empty: the one above.
    std::vector<forms::PixelRect> monitors;
    int dpi = 96;  // of the monitor new windows open on
    forms::NativeWindow foreground = nullptr;
    bool refuseWindows = false;  // as the system refusing CreateWindowEx

    void create(forms::Form& f) override {
        if (refuseWindows) throw std::runtime_error("CreateWindowEx failed");
        ++creations;
        const auto& d = f.def();
        f.setDpi(dpi);
        int w = f.toPixels(d.width), h = f.toPixels(d.height);
        windows[&f] = Window{};
        windows[&f].rect = {(1280 - w) / 2, (1024 - h) / 2, w, h};
    }
    void destroy(forms::Form& f) override {
        windows.erase(&f);
        alarms.erase(&f);
        for (auto& c : f.controls()) timers.erase(c.get());
    }
    void show(forms::Form& f, bool v) override { windows[&f].visible = v; }
    void move(forms::Form& f, int x, int y) override {
        windows[&f].rect.left = x;
        windows[&f].rect.top = y;
    }
    forms::PixelRect screenRect(const forms::Form& f) const override { return windows.at(&f).rect; }
    forms::NativeWindow handle(const forms::Form& f) const override {
        return windows.count(&f) ? const_cast<forms::Form*>(&f) : nullptr;
    }
    void update(forms::Control&) override {}
    void invalidate(forms::Form& f, forms::Control*) override { ++windows[&f].invalidations; }
    void timer(forms::Control& t) override { timers[&t] = t.enabled() && t.interval() > 0; }
    void alarm(forms::Form& f, int id, std::chrono::milliseconds delay) override { alarms[&f][id] = delay.count(); }
    void capture(forms::Form&, forms::Control*, bool on) override { captured = on; }
    void paintSurface(forms::Form& f, const std::function<void(forms::NativeDC)>& paint) override {
        ++windows[&f].surfacePaints;
        paint(nullptr);
    }
    void setFocus(forms::Control& c) override { focused = &c; }
    forms::Control* focusedControl(const forms::Form& f) const override {
        bool mine = focused && &focused->form() == &f && forms::isWindowed(focused->kind());
        return mine ? const_cast<forms::Control*>(focused) : nullptr;
    }
    int focusCues = 0;
    void showFocusCues(forms::Form&) override { ++focusCues; }
    // What screen readers were told, as "event item": "name 0", "focus 2", "menustart 0".
    std::vector<std::string> accessibleEvents;
    void accessibleEvent(forms::Form&, forms::AccessibleEvent ev, int item) override {
        static const char* const names[] = {"name", "description", "focus", "menustart", "menuend"};
        accessibleEvents.push_back(std::string(names[static_cast<int>(ev)]) + " " + std::to_string(item));
    }
    void setExStyle(forms::Form& f, std::uint32_t ex) override {
        windows[&f].exStyle = ex;
        windows[&f].styling.push_back("style");
    }
    std::uint32_t exStyle(const forms::Form& f) const override { return windows.at(&f).exStyle; }
    void setLayered(forms::Form& f, std::uint32_t key, int alpha, std::uint32_t flags) override {
        auto& w = windows[&f];
        w.colorKey = key, w.alpha = alpha, w.layeredFlags = flags;
        w.styling.push_back("layered");
    }
    void bringToFront(forms::Form& f) override { windows[&f].styling.push_back("front"); }
    int activations = 0;
    void activate(forms::Form&) override { ++activations; }
    void setTopmost(forms::Form& f) override {
        windows[&f].topmost = true;
        windows[&f].styling.push_back("topmost");
    }
    void messageBox(std::string_view text, std::string_view caption) override {
        messages.push_back(std::string(caption) + ": " + std::string(text));
    }
    int exitCode = -1;  // what the program ended with; -1 while it runs
    [[noreturn]] void end(int code) override {
        exitCode = code;
        throw forms::ProgramEnded{};
    }
    forms::PixelRect screen() const override { return {0, 0, 1280, 1024}; }
    forms::PixelPoint cursorPos() const override { return cursor; }
    forms::PixelRect workArea(forms::PixelPoint) const override { return work; }
    std::vector<forms::PixelRect> workAreas() const override {
        return monitors.empty() ? std::vector<forms::PixelRect>{work} : monitors;
    }
    // The system moving a window to a monitor of another DPI: Windows' rectangle, then the news.
    void changeDpi(forms::Form& f, int newDpi, forms::PixelPoint at) {
        windows[&f].rect = {at.x, at.y, forms::pixelsFromTwips(f.def().width, newDpi),
                            forms::pixelsFromTwips(f.def().height, newDpi)};
        f.setDpi(newDpi);
    }
    forms::NativeWindow foregroundWindow() const override { return foreground; }
    std::string programFolder() const override { return folder; }
    forms::Version programVersion() const override { return version; }
};

// The pointer, as the system would deliver it: to the innermost windowed container at a
// window pixel, unless a press has captured it.
struct Pointer {
    forms::Form& form;
    forms::Control* pressedIn = nullptr;
    int held = 0;

    forms::Control* route(int& x, int& y) {
        if (held) {
            if (pressedIn) {
                // Captured by a child container: coordinates relative to its client area.
                forms::PixelRect r = pressedIn->pixelRect();
                for (auto* c = pressedIn->container(); c; c = c->container()) {
                    r.left += c->pixelRect().left;
                    r.top += c->pixelRect().top;
                }
                x -= r.left, y -= r.top;
            }
            return pressedIn;
        }
        return form.containerAt(x, y);
    }
    void down(int x, int y, int button = forms::LeftButton) {
        forms::Control* c = route(x, y);
        if (!held) pressedIn = c;
        held |= button;
        form.app().enter();
        form.mouseDown(c, button, 0, x, y);
        form.app().leave();
    }
    void move(int x, int y) {
        forms::Control* c = route(x, y);
        form.app().enter();
        form.mouseMove(c, held, 0, x, y);
        form.app().leave();
    }
    void up(int x, int y, int button = forms::LeftButton) {
        forms::Control* c = route(x, y);
        held &= ~button;
        form.app().enter();
        form.mouseUp(c, button, 0, x, y, held);
        form.app().leave();
    }
    void click(int x, int y) {
        down(x, y);
        up(x, y);
    }
};

class Clock final : public platform::Clock {
public:
    platform::LocalTime time{2027, 1, 1, 12, 0, 0, 0};
    platform::LocalTime now() const override { return time; }
};

}  // namespace fake
