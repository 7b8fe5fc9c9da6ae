#pragma once
// Windows built from layout tables: controls with run-time state, events delivered to named
// handlers, windowless controls drawn and hit-tested by their container, and the lifecycle of
// single-instance windows.
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <typeindex>
#include <vector>

#include "platform/forms/accessible.h"
#include "platform/forms/backend.h"
#include "platform/forms/layout.h"
#include "platform/forms/startup.h"

namespace forms {

class App;

enum class Event { Click, MouseDown, MouseMove, MouseUp, Timer };

// Keys by the system's virtual-key codes; shift as for the mouse (1 Shift, 2 Ctrl, 4 Alt).
enum : int {
    KeyTab = 0x09,
    KeyReturn = 0x0D,
    KeyEscape = 0x1B,
    KeySpace = 0x20,
    KeyEnd = 0x23,
    KeyHome = 0x24,
    KeyLeft = 0x25,
    KeyUp = 0x26,
    KeyRight = 0x27,
    KeyDown = 0x28,
};

// Mouse buttons as the handlers see them.
enum : int { LeftButton = 1, RightButton = 2, MiddleButton = 4 };

struct Mouse {
    int button = 0;  // the button that changed; for moves, the buttons held
    int shift = 0;
    float x = 0, y = 0;  // twips, relative to the control that receives the event
    int index = -1;      // element of a control array
};

using Handler = std::function<void(const Mouse&)>;

// A fault in a handler: shown in a message box, after which the program ends.
struct ProgramEnded {};

class Control {
public:
    Control(Form& form, const ControlDef& def);

    const ControlDef& def() const { return *def_; }
    const char* name() const { return def_->name; }
    int index() const { return def_->index; }
    Kind kind() const { return def_->kind; }
    Form& form() const { return *form_; }
    Control* container() const { return container_; }
    // Children front to back.
    const std::vector<Control*>& children() const { return children_; }

    Twips left() const { return left_; }
    Twips top() const { return top_; }
    Twips width() const { return width_; }
    Twips height() const { return height_; }
    void move(Twips left, Twips top);
    void move(Twips left, Twips top, Twips width, Twips height);
    void setLeft(Twips v) { move(v, top_); }
    void setTop(Twips v) { move(left_, v); }

    const std::string& caption() const { return caption_; }
    void setCaption(std::string_view text);
    const std::string& text() const { return caption_; }  // text boxes
    bool visible() const { return visible_; }
    void setVisible(bool v);
    bool enabled() const { return enabled_; }
    void setEnabled(bool v);  // for a timer: starts or stops it
    Color backColor() const { return back_; }
    void setBackColor(Color c);
    Color foreColor() const { return fore_; }
    void setForeColor(Color c);
    // The picture shown; copying another control's picture makes both show the same one.
    const std::string& picture() const { return picture_; }
    void setPicture(std::string_view name);
    void setPicture(const Control& from) { setPicture(from.picture()); }
    int interval() const { return interval_; }
    void setInterval(int ms);
    int value() const { return value_; }
    void setValue(int v);
    void setFocus();

    PixelRect pixelRect() const;  // in the container's client area

    // The native window of a windowed control, kept by the backend.
    NativeWindow native = nullptr;
    // Called by the backend when the user changes a check box or edits a text box.
    void syncValue(int v) { value_ = v; }
    void syncText(std::string_view t) { caption_ = std::string(t); }

private:
    friend class Form;
    void changed();
    void repaintContainer();
    void autoSizeLabel();

    Form* form_;
    const ControlDef* def_;
    Control* container_ = nullptr;
    std::vector<Control*> children_;
    Twips left_, top_, width_, height_;
    std::string caption_;
    bool visible_, enabled_;
    Color back_, fore_;
    std::string picture_;
    int interval_, value_;
};

// Pixel size of a caption in the default 9-point font: 12 per CJK (or other wide) character,
// 6 per other character, 12 high. Fixed, so that sizes are the same on every machine.
int captionWidthPixels(std::string_view utf8);
constexpr int kCaptionHeightPixels = 12;


class Form {
public:
    Form(App& app, const FormDef& def);
    virtual ~Form();
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    const FormDef& def() const { return *def_; }
    App& app() const { return *app_; }
    Backend& backend() const;

    // Controls by name and array index; throws std::out_of_range for a name the layout lacks.
    Control& operator()(std::string_view name, int index = -1);
    const std::vector<std::unique_ptr<Control>>& controls() const { return controls_; }
    // Controls whose container is the window itself, front to back.
    const std::vector<Control*>& children() const { return children_; }

    // Lifecycle: show (modeless), hide, visibility.
    void show();
    void hide();
    bool visible() const { return visible_; }
    bool loaded() const { return loaded_; }

    // The DPI the window is drawn at: that of its monitor. Twips become pixels at this DPI.
    int dpi() const { return dpi_; }
    // Set by the backend when it creates the window and when the window's DPI changes (moved to
    // another monitor, the scale changed): a loaded window lays out again and repaints.
    void setDpi(int dpi);
    // The screens changed: a window whose centre is on no monitor's work area any more comes
    // back to the middle of the primary monitor's.
    void displayChanged();
    int toPixels(double twips) const;
    float toTwips(int pixels) const;

    // The window's position on the screen in twips.
    float left() const;
    float top() const;
    void setLeft(float twips);
    void setTop(float twips);
    NativeWindow handle() const;

    const std::string& caption() const { return caption_; }

    // Handlers by control name ("" for the window itself), as the system names them.
    void on(std::string_view control, Event ev, Handler h);

    // Entry points for the backend; pixel coordinates are in the container's client area.
    void mouseDown(Control* container, int button, int shift, int x, int y);
    void mouseMove(Control* container, int buttons, int shift, int x, int y);
    void mouseUp(Control* container, int button, int shift, int x, int y, int buttonsStillDown);
    // A key pressed while the window has the focus (`repeat`: pressed again by the system while
    // it is held down) and released; false leaves it to the system's own dialog keys (Tab
    // between controls, Enter and Esc to the default and cancel buttons, Space to the focused
    // control of the system's). A key acts once: a repeat of Enter, Esc or Space presses
    // nothing. Space presses on its release, as the system's buttons do, and only what
    // its press in this window armed. A hidden window takes no keys: true, and nothing happens.
    bool keyDown(int key, int shift, bool repeat = false);
    bool keyUp(int key, int shift);
    void captureLost();              // another window took the pointer
    void clicked(Control& control);  // a windowed control's own click (push button, check box)
    void timerTick(Control& timer);
    void alarmFired(int id);
    void systemChanged();  // the clock, time zone or power state changed
    // Draws a container's background, picture and windowless controls (back to front).
    void paint(Control* container, Canvas& canvas, bool backgroundDone) const;

    // Windowless control hit at a point of a container, front to back; nullptr: the container.
    Control* hitTest(Control* container, int x, int y) const;
    // The innermost windowed container at a point of the window's client area, as the system
    // routes a pointer event, with the point made relative to it.
    Control* containerAt(int& x, int& y) const;

    // Runs a piece of the form's code as a handler runs: a fault shows a message and ends.
    void guarded(const std::function<void()>& body);

    // What a screen reader is told about the window, from what it shows now; a window without a
    // description of its own keeps the system's.
    virtual std::optional<AccessibleView> accessible() { return std::nullopt; }
    // Tells screen readers which names and descriptions differ from the last time it was called.
    void accessibleChanged();
    // A dialog as screen readers know it: its texts top to bottom, then the parts the keyboard
    // reaches, in their order, named by what they do.
    AccessibleView dialogView(std::string name);

    // The keyboard's way through a window: the controls with a tab index that are visible and
    // enabled, in that order, and the one that has the keyboard now (nullptr: none).
    std::vector<Control*> tabOrder() const;
    Control* keyFocus() const;
    // Whether a focus mark is drawn: only once the keyboard has moved the focus, as the system
    // hides its focus marks from mouse users.
    bool focusCues() const { return focusCues_; }

protected:
    virtual void Form_Load() {}
    virtual void Form_Alarm(int /*id*/) {}
    virtual void Form_SystemChange() {}
    virtual void Form_Unload() {}       // the window is about to be destroyed
    virtual void Form_CaptureLost() {}  // a press's capture ended without its release
    virtual void Form_DpiChanged() {}   // laid out again at the new DPI
    virtual bool Form_KeyDown(int /*key*/, int /*shift*/) { return false; }
    void startAlarm(int id, std::chrono::milliseconds delay);

private:
    friend class App;
    friend class Control;
    void load();
    void unloadNative();
    void dispatch(Control* target, Event ev, const Mouse& m);
    // Tab and Shift+Tab round the tab order; Enter presses the focused button or link, else the
    // default button; Space the focused button or link; Esc the cancel button.
    bool dialogKey(int key, int shift);
    void moveFocus(Control& to);
    Control* keyButton(KeyRole role) const;
    void paintFocus(Control* container, Canvas& canvas) const;
    Mouse mouseFor(Control* target, Control* container, int button, int shift, int x, int y) const;

    App* app_;
    const FormDef* def_;
    std::vector<std::unique_ptr<Control>> controls_;
    std::vector<Control*> children_;
    std::multimap<std::string, std::pair<Event, Handler>, std::less<>> handlers_;
    std::string caption_;
    bool visible_ = false;
    bool loaded_ = false;
    bool shownOnce_ = false;
    int dpi_ = 96;
    // The pointer is captured for this control (or the window itself) from a press to the release.
    Control* captureTarget_ = nullptr;
    Control* captureContainer_ = nullptr;
    bool captured_ = false;
    std::optional<AccessibleView> announced_;
    Control* keyFocus_ = nullptr;  // the part the keyboard last moved to
    bool focusCues_ = false;
    bool spaceArmed_ = false;  // Space went down here on something of ours: its release presses
    bool runKey(int key, int shift);
};

// The program: single-instance windows, created and loaded on first use.
class App {
public:
    App(Backend& backend, std::string title);
    ~App();
    Backend& backend() const { return *backend_; }
    const std::string& title() const { return title_; }

    // The one instance of a window, created and loaded when first used. A window may unload
    // itself in its own load: the instance returned then is no longer loaded (showing it does
    // nothing) and stays valid until the current event has ended.
    template <class F>
    F& form() {
        auto& slot = forms_[std::type_index(typeid(F))];
        if (slot) return static_cast<F&>(*slot);
        auto made = std::make_unique<F>(*this);
        F& f = *made;
        slot = std::move(made);
        // An unload during the load parks the instance instead of freeing it; it is freed when
        // the event that asked for it ends.
        struct Hold {
            int& depth;
            ~Hold() { --depth; }
        } hold{++depth_};
        f.load();
        return f;
    }
    template <class F>
    bool isLoaded() const {
        auto it = forms_.find(std::type_index(typeid(F)));
        return it != forms_.end() && it->second;
    }
    // Destroys the window; its next use starts again from the layout.
    template <class F>
    void unload() {
        auto it = forms_.find(std::type_index(typeid(F)));
        if (it != forms_.end() && it->second) unload(it->second);
    }
    void unload(Form& form);

    // Ends the program at once: no window is asked first. A program ended by a fault says so in
    // its exit code, so that whoever started it does not take the end for success.
    [[noreturn]] void end(int exitCode = 0) {
        backend_->end(exitCode);
        throw ProgramEnded{};  // a backend's end() does not return; this keeps it so
    }
    void messageBox(std::string_view text) { backend_->messageBox(text, title_); }

    // Entered and left around every event, so that unloaded windows are freed only once no
    // handler of theirs is still running.
    void enter() { ++depth_; }
    void leave();

private:
    void unload(std::unique_ptr<Form>& slot);

    Backend* backend_;
    std::string title_;
    std::map<std::type_index, std::unique_ptr<Form>> forms_;
    std::vector<std::unique_ptr<Form>> unloaded_;
    int depth_ = 0;
};

}  // namespace forms
