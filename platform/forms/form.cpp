#include "platform/forms/form.h"

#include "platform/forms/scale.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <utility>

namespace forms {

namespace {

// Decodes one UTF-8 sequence; malformed bytes count as one narrow character each.
char32_t nextCodePoint(std::string_view s, std::size_t& i) {
    auto b = static_cast<unsigned char>(s[i]);
    int len = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 0;
    if (len == 0 || i + len > s.size()) {
        ++i;
        return 0xFFFD;
    }
    char32_t cp = len == 1 ? b : b & (0x7F >> len);
    for (int k = 1; k < len; ++k) cp = cp << 6 | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    i += len;
    return cp;
}

// Characters drawn at full width in a CJK font: ideographs, kana, hangul, full-width forms
// and CJK punctuation.
bool isWide(char32_t c) {
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
           (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
           (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
}

}  // namespace

int captionWidthPixels(std::string_view utf8) {
    int w = 0;
    for (std::size_t i = 0; i < utf8.size();) w += isWide(nextCodePoint(utf8, i)) ? 12 : 6;
    return w;
}


// ---------------------------------------------------------------------------------------------
// Control

Control::Control(Form& form, const ControlDef& def)
    : form_(&form),
      def_(&def),
      left_(def.left),
      top_(def.top),
      width_(def.width),
      height_(def.height),
      caption_(def.caption ? def.caption : ""),
      visible_(def.visible),
      enabled_(def.enabled),
      back_(def.back),
      fore_(def.fore),
      picture_(def.picture ? def.picture : ""),
      interval_(def.interval),
      value_(def.value) {
    if (def.kind == Kind::Label && def.autoSize) autoSizeLabel();
}

void Control::autoSizeLabel() {
    // The metric is fixed in pixels of the 96-dpi font; the size is kept in twips like every
    // other, so that it grows with the font at a larger scale.
    constexpr int kTwipsPerMetricPixel = 1440 / kBaseDpi;
    width_ = captionWidthPixels(caption_) * kTwipsPerMetricPixel;
    height_ = kCaptionHeightPixels * kTwipsPerMetricPixel;
}

PixelRect Control::pixelRect() const {
    return {form_->toPixels(left_), form_->toPixels(top_), form_->toPixels(width_), form_->toPixels(height_)};
}

void Control::changed() {
    if (!form_->loaded_) return;
    if (isWindowed(def_->kind))
        form_->backend().update(*this);
    else
        repaintContainer();
}

void Control::repaintContainer() {
    if (form_->loaded_) form_->backend().invalidate(*form_, container_);
}

void Control::move(Twips left, Twips top) { move(left, top, width_, height_); }

void Control::move(Twips left, Twips top, Twips width, Twips height) {
    if (left == left_ && top == top_ && width == width_ && height == height_) return;
    if (!isWindowed(def_->kind)) repaintContainer();  // the old place shows what lies behind
    left_ = left, top_ = top, width_ = width, height_ = height;
    changed();
}

void Control::setCaption(std::string_view text) {
    if (text == caption_) return;
    if (def_->kind == Kind::Label && def_->autoSize) repaintContainer();
    caption_ = std::string(text);
    if (def_->kind == Kind::Label && def_->autoSize) autoSizeLabel();  // grows to the right
    changed();
}

void Control::setVisible(bool v) {
    if (v == visible_) return;
    visible_ = v;
    changed();
}

void Control::setEnabled(bool v) {
    if (v == enabled_) return;
    enabled_ = v;
    if (def_->kind == Kind::Timer) {
        if (form_->loaded_) form_->backend().timer(*this);
        return;
    }
    changed();
}

void Control::setInterval(int ms) {
    if (ms == interval_) return;
    interval_ = ms;
    if (form_->loaded_) form_->backend().timer(*this);
}

void Control::setBackColor(Color c) {
    if (c == back_) return;
    back_ = c;
    changed();
}

void Control::setForeColor(Color c) {
    if (c == fore_) return;
    fore_ = c;
    changed();
}

void Control::setPicture(std::string_view name) {
    if (name == picture_) return;
    picture_ = std::string(name);
    changed();
}

void Control::setValue(int v) {
    if (v == value_) return;
    value_ = v;
    changed();
}

void Control::setFocus() {
    if (form_->loaded_ && isWindowed(def_->kind)) form_->backend().setFocus(*this);
}

// ---------------------------------------------------------------------------------------------
// Form

Form::Form(App& app, const FormDef& def) : app_(&app), def_(&def), caption_(def.caption ? def.caption : "") {
    controls_.reserve(def.controls.size());
    for (const ControlDef& cd : def.controls) controls_.push_back(std::make_unique<Control>(*this, cd));
    for (auto& c : controls_) {
        if (c->def().container) {
            Control* parent = nullptr;
            for (auto& p : controls_)
                if (std::string_view(p->name()) == c->def().container && isContainer(p->kind())) parent = p.get();
            if (!parent) throw std::logic_error(std::string("layout: no container ") + c->def().container);
            c->container_ = parent;
            parent->children_.push_back(c.get());
        } else {
            children_.push_back(c.get());
        }
    }
}

Form::~Form() = default;

Backend& Form::backend() const { return app_->backend(); }

Control& Form::operator()(std::string_view name, int index) {
    for (auto& c : controls_)
        if (c->name() == name && c->index() == index) return *c;
    throw std::out_of_range("no control " + std::string(name) + (index >= 0 ? "(" + std::to_string(index) + ")" : ""));
}

void Form::load() {
    backend().create(*this);
    loaded_ = true;
    for (auto& c : controls_)
        if (c->kind() == Kind::Timer && c->enabled()) backend().timer(*c);
    app_->enter();
    guarded([this] { Form_Load(); });
    app_->leave();
}

void Form::unloadNative() {
    if (!loaded_) return;
    app_->enter();
    guarded([this] { Form_Unload(); });
    app_->leave();
    if (captured_) backend().capture(*this, captureContainer_, false);
    captured_ = false;
    loaded_ = false;
    visible_ = false;
    backend().destroy(*this);
}

void Form::show() {
    if (!loaded_) return;
    visible_ = true;
    backend().show(*this, true);
    if (!shownOnce_) {
        shownOnce_ = true;
        // The control first in the focus order holds the focus when the window first shows.
        Control* first = nullptr;
        for (auto& c : controls_)
            if (c->def().tabIndex >= 0 && c->visible() && c->enabled() && isWindowed(c->kind()) &&
                (!first || c->def().tabIndex < first->def().tabIndex))
                first = c.get();
        if (first) backend().setFocus(*first);
    }
}

void Form::hide() {
    if (!loaded_ || !visible_) return;
    visible_ = false;
    spaceArmed_ = false;
    backend().show(*this, false);
}

int Form::toPixels(double twips) const { return pixelsFromTwips(twips, dpi_); }
float Form::toTwips(int pixels) const { return static_cast<float>(twipsFromPixels(pixels, dpi_)); }

void Form::setDpi(int dpi) {
    if (!isSaneDpi(dpi) || dpi == dpi_) return;
    dpi_ = dpi;
    if (!loaded_) return;
    // Every windowed control to its place and size at the new DPI, every surface drawn anew.
    for (auto& c : controls_)
        if (isWindowed(c->kind())) backend().update(*c);
    backend().invalidate(*this, nullptr);
    app_->enter();
    guarded([this] { Form_DpiChanged(); });
    app_->leave();
}

void Form::displayChanged() {
    if (!loaded_) return;
    PixelRect r = backend().screenRect(*this);
    std::vector<PixelRect> areas = backend().workAreas();
    if (areas.empty()) return;
    PixelPoint at = keptOnScreen(r, areas, areas.front());
    if (at.x != r.left || at.y != r.top) backend().move(*this, at.x, at.y);
}

float Form::left() const { return toTwips(backend().screenRect(*this).left); }
float Form::top() const { return toTwips(backend().screenRect(*this).top); }

void Form::setLeft(float twips) {
    PixelRect r = backend().screenRect(*this);
    backend().move(*this, toPixels(twips), r.top);
}

void Form::setTop(float twips) {
    PixelRect r = backend().screenRect(*this);
    backend().move(*this, r.left, toPixels(twips));
}

NativeWindow Form::handle() const { return backend().handle(*this); }

void Form::on(std::string_view control, Event ev, Handler h) {
    // One handler per control and event: a later one replaces the earlier.
    auto [lo, hi] = handlers_.equal_range(control);
    for (auto it = lo; it != hi; ++it)
        if (it->second.first == ev) {
            it->second.second = std::move(h);
            return;
        }
    handlers_.emplace(std::string(control), std::make_pair(ev, std::move(h)));
}

void Form::startAlarm(int id, std::chrono::milliseconds delay) { backend().alarm(*this, id, delay); }

void Form::guarded(const std::function<void()>& body) {
    try {
        body();
    } catch (const ProgramEnded&) {
        throw;
    } catch (const std::exception& e) {
        app_->messageBox(e.what());
        app_->end(kFaultExitCode);
    }
}

void Form::accessibleChanged() {
    std::optional<AccessibleView> now = accessible();
    if (!now || !loaded_) return;
    if (announced_) {
        if (now->name != announced_->name) backend().accessibleEvent(*this, AccessibleEvent::NameChange, 0);
        if (now->description != announced_->description)
            backend().accessibleEvent(*this, AccessibleEvent::DescriptionChange, 0);
        for (std::size_t i = 0; i < now->items.size(); ++i)
            if (i >= announced_->items.size() || now->items[i].name != announced_->items[i].name)
                backend().accessibleEvent(*this, AccessibleEvent::NameChange, static_cast<int>(i + 1));
    }
    announced_ = std::move(now);
}

void Form::dispatch(Control* target, Event ev, const Mouse& m) {
    std::string_view name = target ? target->name() : std::string_view();
    auto [lo, hi] = handlers_.equal_range(name);
    for (auto it = lo; it != hi; ++it) {
        if (it->second.first != ev) continue;
        Handler h = it->second.second;  // a handler may unload this window
        app_->enter();
        guarded([&] { h(m); });
        app_->leave();
        return;
    }
}

Control* Form::hitTest(Control* container, int x, int y) const {
    const auto& kids = container ? container->children() : children_;
    for (Control* c : kids) {
        if (isWindowed(c->kind()) || c->kind() == Kind::Timer || c->kind() == Kind::Shape) continue;
        if (!c->visible() || !c->enabled()) continue;
        if (c->pixelRect().contains(x, y)) return c;
    }
    return nullptr;
}

Control* Form::containerAt(int& x, int& y) const {
    Control* found = nullptr;
    const std::vector<Control*>* kids = &children_;
    for (bool deeper = true; deeper;) {
        deeper = false;
        for (Control* c : *kids) {
            if (!isContainer(c->kind()) || !c->visible()) continue;
            PixelRect r = c->pixelRect();
            if (!r.contains(x, y)) continue;
            x -= r.left, y -= r.top;
            found = c;
            kids = &c->children();
            deeper = true;
            break;
        }
    }
    return found;
}

Mouse Form::mouseFor(Control* target, Control* container, int button, int shift, int x, int y) const {
    // Windowless controls see the pointer relative to themselves.
    if (target && target != container) {
        PixelRect r = target->pixelRect();
        x -= r.left, y -= r.top;
    }
    Mouse m;
    m.button = button;
    m.shift = shift;
    m.x = toTwips(x);
    m.y = toTwips(y);
    m.index = target ? target->index() : -1;
    return m;
}

void Form::mouseDown(Control* container, int button, int shift, int x, int y) {
    if (!loaded_) return;
    Control* target = captured_ ? captureTarget_ : hitTest(container, x, y);
    if (!target) target = container;
    if (!captured_) {
        captured_ = true;
        captureTarget_ = target;
        captureContainer_ = container;
        backend().capture(*this, container, true);
    }
    dispatch(target, Event::MouseDown, mouseFor(target, captureContainer_, button, shift, x, y));
}

void Form::mouseMove(Control* container, int buttons, int shift, int x, int y) {
    if (!loaded_) return;
    Control* target;
    if (captured_) {
        target = captureTarget_;
        container = captureContainer_;
    } else {
        target = hitTest(container, x, y);
        if (!target) target = container;
    }
    dispatch(target, Event::MouseMove, mouseFor(target, container, buttons, shift, x, y));
}

void Form::mouseUp(Control* container, int button, int shift, int x, int y, int buttonsStillDown) {
    if (!loaded_) return;
    Control* target = captured_ ? captureTarget_ : nullptr;
    if (!captured_) {
        target = hitTest(container, x, y);
        if (!target) target = container;
    } else {
        container = captureContainer_;
    }
    bool release = captured_ && buttonsStillDown == 0;
    if (release) {
        captured_ = false;
        backend().capture(*this, container, false);
    }
    dispatch(target, Event::MouseUp, mouseFor(target, container, button, shift, x, y));
    if (!loaded_) return;
    // A click is a left press and release on the same control.
    if (button == LeftButton && release) {
        Control* under = hitTest(container, x, y);
        if (!under) under = container;
        bool inside = true;
        if (container) {
            PixelRect r = container->pixelRect();
            inside = x >= 0 && y >= 0 && x < r.width && y < r.height;
        }
        if (under == target && inside) dispatch(target, Event::Click, mouseFor(target, container, 0, shift, x, y));
    }
}

std::vector<Control*> Form::tabOrder() const {
    std::vector<Control*> ring;
    for (auto& c : controls_)
        if (c->def().tabIndex >= 0 && c->visible() && c->enabled() && (!c->container() || c->container()->visible()))
            ring.push_back(c.get());
    std::stable_sort(ring.begin(), ring.end(),
                     [](const Control* a, const Control* b) { return a->def().tabIndex < b->def().tabIndex; });
    return ring;
}

Control* Form::keyFocus() const {
    // A windowed control may have taken the keyboard from a click; a windowless one has it while
    // its window does.
    if (Control* c = backend().focusedControl(*this)) return c;
    return keyFocus_;
}

namespace {
// Buttons and links of our own: the system's controls answer their keys themselves.
bool pressable(const Control& c) { return c.kind() == Kind::PictureBox || c.kind() == Kind::Label; }

std::string trimmed(std::string_view s) {
    auto first = s.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    return std::string(s.substr(first, s.find_last_not_of(' ') - first + 1));
}
}  // namespace

bool Form::keyDown(int key, int shift, bool repeat) {
    if (!loaded_) return false;
    if (!visible_) return true;
    if (key == KeySpace) {
        // Armed by a press on the window itself or a part of ours; the system's own controls
        // answer Space themselves.
        if (!repeat) {
            Control* system = backend().focusedControl(*this);
            spaceArmed_ = !system || pressable(*system);
        }
        return spaceArmed_;
    }
    // Held down, Enter and Esc press once; the keys that move about go on moving, and the rest
    // (typing in a text box) are the system's.
    if (repeat && (key == KeyReturn || key == KeyEscape)) return true;
    return runKey(key, shift);
}

bool Form::keyUp(int key, int shift) {
    if (key != KeySpace || !std::exchange(spaceArmed_, false)) return false;
    if (loaded_ && visible_) runKey(key, shift);
    return true;
}

bool Form::runKey(int key, int shift) {
    bool taken = false;
    app_->enter();
    guarded([&] { taken = Form_KeyDown(key, shift) || dialogKey(key, shift); });
    app_->leave();
    return taken;
}

Control* Form::keyButton(KeyRole role) const {
    for (auto& c : controls_) {
        KeyRole r = c->def().keyRole;
        if ((r == role || r == KeyRole::DefaultCancel) && c->visible() && c->enabled() && pressable(*c)) return c.get();
    }
    return nullptr;
}

bool Form::dialogKey(int key, int shift) {
    std::vector<Control*> ring = tabOrder();
    if (ring.empty()) return false;
    Control* at = keyFocus();
    auto here = std::find(ring.begin(), ring.end(), at);
    auto n = static_cast<long>(ring.size());
    long i = here - ring.begin();
    Control* press = nullptr;
    switch (key) {
    case KeyTab:
        if (here == ring.end()) i = (shift & 1) ? 0 : -1;
        moveFocus(*ring[static_cast<std::size_t>(((shift & 1) ? i - 1 + n : i + 1) % n)]);
        return true;
    case KeyReturn:
        press = at && pressable(*at) && here != ring.end() ? at : keyButton(KeyRole::Default);
        break;
    case KeySpace:
        press = at && pressable(*at) && here != ring.end() ? at : nullptr;
        break;
    case KeyEscape:
        press = keyButton(KeyRole::Cancel);
        break;
    default:
        break;
    }
    if (!press) return false;
    dispatch(press, Event::Click, Mouse{0, 0, 0, 0, press->index()});
    return true;
}

void Form::moveFocus(Control& to) {
    Control* from = keyFocus();
    keyFocus_ = &to;
    spaceArmed_ = false;  // what Space went down on has lost the keyboard
    if (!focusCues_) backend().showFocusCues(*this);
    focusCues_ = true;
    backend().setFocus(to);
    for (Control* c : {from, &to})
        if (c) backend().invalidate(*this, isWindowed(c->kind()) ? c : c->container());
    std::optional<AccessibleView> v = accessible();
    for (std::size_t i = 0; v && i < v->items.size(); ++i)
        if (v->items[i].control == &to) backend().accessibleEvent(*this, AccessibleEvent::Focus, static_cast<int>(i + 1));
}

AccessibleView Form::dialogView(std::string name) {
    AccessibleView v;
    v.name = std::move(name);
    v.role = Role::Dialog;
    std::vector<Control*> texts;
    for (auto& c : controls_)
        if (c->kind() == Kind::Label && !c->container() && c->visible() && c->def().tabIndex < 0 &&
            !trimmed(c->caption()).empty())
            texts.push_back(c.get());
    std::stable_sort(texts.begin(), texts.end(), [](const Control* a, const Control* b) {
        return a->top() != b->top() ? a->top() < b->top() : a->left() < b->left();
    });
    for (Control* c : texts) v.items.push_back({trimmed(c->caption()), Role::StaticText, c, false});
    Control* focus = keyFocus();
    for (Control* c : tabOrder()) {
        std::string label = c->def().accName ? c->def().accName : trimmed(c->caption());
        if (c->kind() == Kind::PictureBox)  // a flat button says what its caption says
            for (Control* k : c->children())
                if (label.empty() && k->kind() == Kind::Label) label = trimmed(k->caption());
        Role role = c->kind() == Kind::CheckBox ? Role::CheckBox : c->kind() == Kind::Label ? Role::Link : Role::PushButton;
        v.items.push_back({label, role, c, c == focus});
    }
    return v;
}

void Form::paintFocus(Control* container, Canvas& canvas) const {
    if (!focusCues_ || !keyFocus_ || !keyFocus_->visible()) return;
    // Not where a click has since moved the keyboard to another control.
    if (Control* system = backend().focusedControl(*this); system && system != keyFocus_) return;
    if (keyFocus_ == container) {
        PixelRect r = container->pixelRect();
        int inset = std::max(1, toPixels(30));
        canvas.focusMark({inset, inset, r.width - 2 * inset, r.height - 2 * inset});
    } else if (!isWindowed(keyFocus_->kind()) && keyFocus_->container() == container) {
        canvas.focusMark(keyFocus_->pixelRect());
    }
}

void Form::captureLost() {
    if (!captured_) return;
    captured_ = false;
    app_->enter();
    guarded([this] { Form_CaptureLost(); });
    app_->leave();
}

void Form::clicked(Control& control) {
    if (loaded_) dispatch(&control, Event::Click, Mouse{0, 0, 0, 0, control.index()});
}

void Form::timerTick(Control& timer) {
    if (loaded_ && timer.enabled()) dispatch(&timer, Event::Timer, Mouse{0, 0, 0, 0, timer.index()});
}

void Form::alarmFired(int id) {
    if (!loaded_) return;
    app_->enter();
    guarded([&] { Form_Alarm(id); });
    app_->leave();
}

void Form::systemChanged() {
    if (!loaded_) return;
    app_->enter();
    guarded([&] { Form_SystemChange(); });
    app_->leave();
}

void Form::paint(Control* container, Canvas& canvas, bool backgroundDone) const {
    if (!backgroundDone) {
        if (container) {
            PixelRect r = container->pixelRect();
            canvas.fill({0, 0, r.width, r.height}, container->backColor());
            // A picture box shows its picture at natural size from the top-left, cut at its edges.
            if (!container->picture().empty()) canvas.picture(container->picture(), {0, 0, r.width, r.height}, false);
        } else {
            PixelRect r{0, 0, toPixels(def_->width), toPixels(def_->height)};
            canvas.fill(r, def_->back);
        }
    }
    const auto& kids = container ? container->children() : children_;
    for (auto it = kids.rbegin(); it != kids.rend(); ++it) {
        const Control& c = **it;
        if (!c.visible() || isWindowed(c.kind())) continue;
        PixelRect r = c.pixelRect();
        const ControlDef& d = c.def();
        switch (c.kind()) {
        case Kind::Label:
            if (!d.transparent) canvas.fill(r, c.backColor());
            canvas.text(c.caption(), r, c.foreColor(), d.font, d.align, !d.autoSize, !c.enabled());
            break;
        case Kind::Image:
            if (!c.picture().empty()) canvas.picture(c.picture(), r, d.stretch);
            break;
        case Kind::Shape:
            if (d.shape == ShapeStyle::Filled)
                canvas.fill(r, c.backColor());
            else
                canvas.frame(r, c.foreColor());
            break;
        default:
            break;
        }
    }
    paintFocus(container, canvas);
}

// ---------------------------------------------------------------------------------------------
// App

App::App(Backend& backend, std::string title) : backend_(&backend), title_(std::move(title)) {}

App::~App() = default;

void App::unload(Form& form) {
    for (auto& [type, slot] : forms_)
        if (slot.get() == &form) return unload(slot);
}

void App::unload(std::unique_ptr<Form>& slot) {
    slot->unloadNative();
    unloaded_.push_back(std::move(slot));
    if (depth_ == 0) unloaded_.clear();
}

void App::leave() {
    if (--depth_ == 0) unloaded_.clear();
}

}  // namespace forms
