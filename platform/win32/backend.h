#pragma once
// The forms runtime on Win32: one window procedure for windows and picture boxes, standard
// controls for buttons, text boxes and check boxes, GDI+ for pictures.
#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <unordered_map>

#include "platform/forms/form.h"
#include "platform/forms/scale.h"
#include "platform/win32/font_cache.h"
#include "platform/win32/handles.h"

namespace win32 {

class Win32Backend final : public forms::Backend {
public:
    explicit Win32Backend(HINSTANCE instance);
    ~Win32Backend() override;

    void attach(forms::App& app) { app_ = &app; }
    // Runs the message loop until the last window is gone; returns the exit code.
    int run();

    void create(forms::Form& form) override;
    void destroy(forms::Form& form) override;
    void show(forms::Form& form, bool visible) override;
    void move(forms::Form& form, int x, int y) override;
    forms::PixelRect screenRect(const forms::Form& form) const override;
    forms::NativeWindow handle(const forms::Form& form) const override;
    void update(forms::Control& control) override;
    void invalidate(forms::Form& form, forms::Control* container) override;
    void timer(forms::Control& timer) override;
    void alarm(forms::Form& form, int id, std::chrono::milliseconds delay) override;
    void capture(forms::Form& form, forms::Control* container, bool on) override;
    void paintSurface(forms::Form& form, const std::function<void(forms::NativeDC)>& paint) override;
    void setFocus(forms::Control& control) override;
    forms::Control* focusedControl(const forms::Form& form) const override;  // keyboard.cpp
    void showFocusCues(forms::Form& form) override;                          // keyboard.cpp
    void accessibleEvent(forms::Form& form, forms::AccessibleEvent ev, int item) override;  // accessible.cpp
    void setExStyle(forms::Form& form, std::uint32_t exStyle) override;
    std::uint32_t exStyle(const forms::Form& form) const override;
    void setLayered(forms::Form& form, std::uint32_t colorKey, int alpha, std::uint32_t flags) override;
    void bringToFront(forms::Form& form) override;
    void setTopmost(forms::Form& form) override;
    void activate(forms::Form& form) override;
    void messageBox(std::string_view text, std::string_view caption) override;
    [[noreturn]] void end(int exitCode) override;
    // A fault that would otherwise cross into the system (from a window's message, or a screen
    // reader's call): its description is shown and the program ends with forms::kFaultExitCode.
    // One that comes while the first fault's message is up returns at once: the program is
    // already ending, and the first message says why.
    void fault(std::string_view description) noexcept;
    forms::PixelRect screen() const override;
    forms::PixelPoint cursorPos() const override;
    forms::PixelRect workArea(forms::PixelPoint at) const override;
    std::vector<forms::PixelRect> workAreas() const override;
    forms::NativeWindow foregroundWindow() const override { return GetForegroundWindow(); }
    std::string programFolder() const override;
    forms::Version programVersion() const override;

    // The window's icon as loaded from the program's resources (nullptr when it has none).
    HICON icon(const forms::Form& form) const;

    // Resolves a layout colour (system colours follow the user's scheme).
    static COLORREF colorRef(forms::Color c);
    HFONT font(const forms::Font& f, int dpi);
    std::size_t fontsHeld() const { return fonts_.size(); }
    HBRUSH brush(COLORREF c);  // kept for the program's life
    // Draws a picture of the program's resources in a window drawn at a DPI, from the version
    // made for its scale where there is one; false when there is no such picture.
    bool drawPicture(HDC dc, std::string_view name, const forms::PixelRect& r, bool stretch, int dpi = forms::kBaseDpi);

private:
    struct Node {  // what a window of ours stands for
        forms::Form* form;
        forms::Control* container;  // nullptr: the window itself
    };
    struct Native {
        HWND hwnd = nullptr;
        std::unique_ptr<Node> node;
        std::vector<std::unique_ptr<Node>> boxes;
        std::map<int, forms::Control*> byId;  // child control identifiers
        // What paintSurface last drew, drawn again at every repaint rather than kept as pixels: a
        // bitmap of the window's size would hold a megabyte all day for the rare repaint.
        std::function<void(forms::NativeDC)> background;
        HICON bigIcon = nullptr, smallIcon = nullptr;
    };
    struct Picture;

    // The state of Shift (1), Ctrl (2) and Alt (4) now, as the handlers see it.
    static int shiftState();  // keyboard.cpp
    // What the message loop gives the windows' keyboard handling first: true when it was
    // handled there, or by the system's dialog keys, and goes no further.
    bool routeKeys(MSG& msg);  // keyboard.cpp
    static LRESULT CALLBACK windowProc(HWND, UINT, WPARAM, LPARAM);
    LRESULT handle(Node& node, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    void paintNode(Node& node, HWND hwnd);
    // Whether windowless controls of the window itself are drawn over its background.
    static bool drawsOverBackground(const forms::Form& form);
    HWND nativeOf(const forms::Form& form, forms::Control* container) const;
    Native* find(const forms::Form& form) const;
    void createChildren(forms::Form& form, Native& n, forms::Control* container, HWND parent);
    HWND createControl(forms::Form& form, Native& n, forms::Control* c, HWND parent);
    Picture* picture(std::string_view name);
    // The version of a picture to draw at a DPI, and the scale it was made for.
    std::pair<Picture*, int> art(std::string_view name, int dpi);
    // A windowed control's place in its container, in pixels at its window's DPI; a picture box
    // sized to its picture takes the picture's size there, border included.
    forms::PixelRect placeOf(forms::Control& c, DWORD style, DWORD exStyle);
    // The window's DPI changed (moved to a monitor of another scale, or the scale was changed):
    // to the place Windows suggests, at its size at the new DPI, and everything in it laid out again.
    void dpiChanged(forms::Form& form, HWND hwnd, int dpi, const RECT& suggested);
    // Lets go of the fonts of the DPIs that no window of ours is drawn at any more.
    void releaseUnusedFonts();
    forms::Form* formOf(HWND hwnd) const;  // nullptr: not a window of ours

    HINSTANCE instance_;
    forms::App* app_ = nullptr;
    HWND owner_ = nullptr;  // hidden: owned windows get no taskbar button
    const forms::Form* mainForm_ = nullptr;  // the first window the program opened
    ULONG_PTR gdiplusToken_ = 0;
    std::unordered_map<const forms::Form*, std::unique_ptr<Native>> natives_;
    FontCache fonts_;
    std::map<COLORREF, Brush> brushes_;
    std::map<std::string, std::unique_ptr<Picture>, std::less<>> pictures_;
    std::map<std::string, HCURSOR, std::less<>> cursors_;
};

}  // namespace win32
