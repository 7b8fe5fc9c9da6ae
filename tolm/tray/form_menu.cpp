#include "tolm/tray/form_menu.h"

#include <algorithm>

#include "tolm/countdown/form_tolm.h"
#include "tolm/countdown/services.h"
#include "tolm/layouts/layouts.h"
#include "tolm/update/form_about.h"

namespace tolm {

namespace {
constexpr std::uint32_t LWA_ALPHA_ = 2;
// The entries top to bottom.
constexpr const char* kEntries[] = {"ComShow", "ComHide", "ComAbout", "ComUnload"};
constexpr int kEntryCount = 4;
}  // namespace

forms::PixelPoint menuPlacement(forms::PixelPoint pointer, int width, int height, const forms::PixelRect& work) {
    forms::PixelPoint p{pointer.x - width, pointer.y - height};
    // No room above or to the left (the taskbar at the top or left, the pointer near an edge):
    // open on the other side of the pointer.
    if (p.x < work.left) p.x = pointer.x;
    if (p.y < work.top) p.y = pointer.y;
    // Still not all inside (a work area smaller than the panel's reach): push it in, keeping the
    // top-left corner inside when the panel is larger than the work area itself.
    p.x = std::max(std::min(p.x, work.left + work.width - width), work.left);
    p.y = std::max(std::min(p.y, work.top + work.height - height), work.top);
    return p;
}

FormMenu::FormMenu(forms::App& app) : Form(app, layouts::FormMenu) {
    // The foreground watch runs only while the panel is shown (open() starts it): a panel that is
    // merely loaded must not wake the program a hundred times a second.
    (*this)("Timer1").setEnabled(false);
    on("Timer1", forms::Event::Timer, [this](const forms::Mouse&) { Timer1_Timer(); });
    on("ComShow", forms::Event::Click, [this](const forms::Mouse&) { ComShow_Click(); });
    on("ComHide", forms::Event::Click, [this](const forms::Mouse&) { ComHide_Click(); });
    on("ComAbout", forms::Event::Click, [this](const forms::Mouse&) { ComAbout_Click(); });
    on("ComUnload", forms::Event::Click, [this](const forms::Mouse&) { ComUnload_Click(); });
    for (int i = 0; i < kEntryCount; ++i)
        on(kEntries[i], forms::Event::MouseMove, [this, i](const forms::Mouse&) { highlight(i); });
}

void FormMenu::Form_Load() {
    (*this)("ShapeBack").setBackColor(forms::Color::rgb(0, 185, 242));
    backend().setTopmost(*this);
    backend().setExStyle(*this, backend().exStyle(*this) | forms::kExLayered);
    backend().setLayered(*this, 0, 236, LWA_ALPHA_);
    pointerAtOpening_ = backend().cursorPos();
    placeAtPointer();
}

void FormMenu::placeAtPointer() {
    const forms::PixelPoint pointer = pointerAtOpening_;
    // In pixels at the panel's own DPI, so that its corner meets the pointer at every scale.
    forms::PixelRect now = backend().screenRect(*this);
    forms::PixelPoint at = menuPlacement(pointer, now.width, now.height, backend().workArea(pointer));
    // Top first, then left.
    setTop(toTwips(at.y));
    setLeft(toTwips(at.x));
}

void FormMenu::Form_DpiChanged() {
    if (visible()) placeAtPointer();
}

void FormMenu::open() { openAt(std::nullopt); }

void FormMenu::openAt(std::optional<forms::PixelPoint> anchor) {
    bool wasShown = visible();
    show();
    Form_Load();
    if (anchor) {
        pointerAtOpening_ = *anchor;
        placeAtPointer();
    }
    backend().activate(*this);
    (*this)("Timer1").setEnabled(true);
    if (wasShown) return;
    backend().accessibleEvent(*this, forms::AccessibleEvent::MenuStart, 0);
    if (int at = highlighted(); at >= 0) backend().accessibleEvent(*this, forms::AccessibleEvent::Focus, at + 1);
}

void FormMenu::openByKeyboard(forms::PixelPoint anchor) {
    if (visible()) return;
    // The bar goes first, so that screen readers hear the menu open on the entry it shows.
    highlight(0);
    openAt(anchor);
}

void FormMenu::close() {
    (*this)("Timer1").setEnabled(false);
    if (!visible()) return;
    hide();
    backend().accessibleEvent(*this, forms::AccessibleEvent::MenuEnd, 0);
}

int FormMenu::highlighted() {
    for (int i = 0; i < kEntryCount; ++i)
        if ((*this)("ShapeBack").top() == (*this)(kEntries[i]).top() - kHoverOffset) return i;
    return -1;
}

void FormMenu::highlight(int entry) {
    if (entry == highlighted()) return;
    (*this)("ShapeBack").setTop((*this)(kEntries[entry]).top() - kHoverOffset);
    if (visible()) backend().accessibleEvent(*this, forms::AccessibleEvent::Focus, entry + 1);
}

bool FormMenu::Form_KeyDown(int key, int) {
    int at = highlighted();
    switch (key) {
        case forms::KeyDown:
            highlight(at < 0 ? 0 : (at + 1) % kEntryCount);
            return true;
        case forms::KeyUp:
            highlight(at <= 0 ? kEntryCount - 1 : at - 1);
            return true;
        case forms::KeyHome:
            highlight(0);
            return true;
        case forms::KeyEnd:
            highlight(kEntryCount - 1);
            return true;
        case forms::KeyReturn:
        case forms::KeySpace:
            // As a click on the entry.
            if (at == 0) ComShow_Click();
            if (at == 1) ComHide_Click();
            if (at == 2) ComAbout_Click();
            if (at == 3) ComUnload_Click();
            return true;
        case forms::KeyEscape:
            close();
            if (services().returnFocusToIcon) services().returnFocusToIcon();
            return true;
        default:
            return false;
    }
}

std::optional<forms::AccessibleView> FormMenu::accessible() {
    forms::AccessibleView v;
    v.name = "TOLM";
    v.role = forms::Role::PopupMenu;
    int at = highlighted();
    for (int i = 0; i < kEntryCount; ++i) {
        const forms::Control& entry = (*this)(kEntries[i]);
        v.items.push_back({entry.caption(), forms::Role::MenuItem, &entry, i == at});
    }
    return v;
}

void FormMenu::Timer1_Timer() {
    if (backend().foregroundWindow() != handle()) close();
}

void FormMenu::ComShow_Click() {
    FormTolm& tolm = app().form<FormTolm>();
    tolm.show();
    tolm("Timer1").setEnabled(true);
    close();
}

void FormMenu::ComHide_Click() {
    app().form<FormTolm>().hide();
    close();
}

void FormMenu::ComAbout_Click() {
    app().form<FormAbout>().show();
}

void FormMenu::ComUnload_Click() {
    app().end();
}

}  // namespace tolm
