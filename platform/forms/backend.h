#pragma once
// What the forms runtime needs from the windowing system. The Win32 implementation lives in
// platform/win32; host tests use a fake, so that window logic runs without a screen.
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/forms/accessible.h"
#include "platform/forms/layout.h"

namespace forms {

class Form;
class Control;

struct PixelRect {
    int left = 0, top = 0, width = 0, height = 0;
    constexpr bool contains(int x, int y) const {
        return x >= left && y >= top && x < left + width && y < top + height;
    }
    constexpr bool operator==(const PixelRect&) const = default;
};

struct PixelPoint {
    int x = 0, y = 0;
    constexpr bool operator==(const PixelPoint&) const = default;
};

struct Version {
    int major = 0, minor = 0, revision = 0;
    constexpr bool operator==(const Version&) const = default;
};

// Opaque handles: a window handle and a device context, as the system gives them.
using NativeWindow = void*;
using NativeDC = void*;

// Draws one container's windowless content; coordinates are pixels in the container's client area.
class Canvas {
public:
    virtual ~Canvas() = default;
    virtual void fill(const PixelRect& r, Color c) = 0;
    virtual void frame(const PixelRect& r, Color c) = 0;  // one pixel, inside r
    // Stretched to r, or at natural size from r's top-left corner and cut at r's edges.
    virtual void picture(std::string_view name, const PixelRect& r, bool stretch) = 0;
    virtual void text(std::string_view utf8, const PixelRect& r, Color c, const Font& f, Align a, bool wrap,
                      bool disabled) = 0;
    virtual void focusMark(const PixelRect& r) = 0;  // the system's dotted focus rectangle
};

class Backend {
public:
    virtual ~Backend() = default;

    // Native windows of a form and of its windowed controls. Creating tells the form the DPI
    // it is drawn at (Form::setDpi) before any control gets its window.
    virtual void create(Form& form) = 0;
    virtual void destroy(Form& form) = 0;
    virtual void show(Form& form, bool visible) = 0;
    virtual void move(Form& form, int xPixels, int yPixels) = 0;
    virtual PixelRect screenRect(const Form& form) const = 0;
    virtual NativeWindow handle(const Form& form) const = 0;
    // A control's position, size, visibility, text, value or colours changed.
    virtual void update(Control& control) = 0;
    // The windowless content of a container (nullptr: the form itself) must be drawn again.
    virtual void invalidate(Form& form, Control* container) = 0;
    virtual void timer(Control& timer) = 0;  // its enabled state or interval changed
    virtual void alarm(Form& form, int id, std::chrono::milliseconds delay) = 0;  // one-shot
    virtual void capture(Form& form, Control* container, bool on) = 0;
    // Draws with the system's own calls onto the form's background, now and again whenever the
    // system asks the window to repaint, until the next call replaces the painter.
    virtual void paintSurface(Form& form, const std::function<void(NativeDC)>& paint) = 0;
    // The control takes the keyboard; for a windowless one, its window does.
    virtual void setFocus(Control& control) = 0;
    // The windowed control of the form that has the keyboard (nullptr: none, or the window itself).
    virtual Control* focusedControl(const Form& form) const = 0;
    // The keyboard is in use in the window: the system's own controls show their focus marks.
    virtual void showFocusCues(Form& form) = 0;
    // Raised for screen readers: `item` 0 is the window itself, else the number of one of its parts.
    virtual void accessibleEvent(Form& form, AccessibleEvent ev, int item) = 0;

    // Extended style and layering of a top-level window, as the system calls take them.
    virtual void setExStyle(Form& form, std::uint32_t exStyle) = 0;
    virtual std::uint32_t exStyle(const Form& form) const = 0;
    virtual void setLayered(Form& form, std::uint32_t colorKey, int alpha, std::uint32_t flags) = 0;
    // Z-order of a top-level window: to the front of its band, or above every window that is
    // not topmost itself.
    virtual void bringToFront(Form& form) = 0;
    virtual void setTopmost(Form& form) = 0;
    // The window becomes the one the user works with, and takes the keyboard.
    virtual void activate(Form& form) = 0;

    // Program-wide services.
    virtual void messageBox(std::string_view text, std::string_view caption) = 0;
    [[noreturn]] virtual void end(int exitCode) = 0;  // the process ends with this code
    virtual PixelRect screen() const = 0;
    // The pointer on the screen, and the work area (the screen less the taskbar) of the monitor
    // nearest to a point, in pixels.
    virtual PixelPoint cursorPos() const = 0;
    virtual PixelRect workArea(PixelPoint at) const = 0;
    // The work areas of all monitors, the primary monitor's first.
    virtual std::vector<PixelRect> workAreas() const = 0;
    // The window the user is working with, of any program (nullptr: none).
    virtual NativeWindow foregroundWindow() const = 0;
    virtual std::string programFolder() const = 0;  // UTF-8, no trailing separator but at a drive root
    virtual Version programVersion() const = 0;
};

}  // namespace forms
