#include "platform/win32/accessible.h"

#include <oleacc.h>

#include <exception>
#include <map>
#include <optional>
#include <string>

#include "platform/win32/backend.h"
#include "platform/win32/handles.h"
#include "platform/win32/text.h"

// Interfaces go by __uuidof: the x86_64 libraries define IID_IAccessible twice (uuid, oleacc).
namespace win32 {

namespace {

// The windows whose objects may still be asked, by handle: a screen reader may keep an object
// longer than the window lives.
std::map<HWND, forms::Form*>& living() {
    static std::map<HWND, forms::Form*> m;
    return m;
}

HRESULT giveText(const std::string& text, BSTR* out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (text.empty()) return S_FALSE;
    std::wstring w = widen(text);
    *out = SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

// The system's object for a window or its client area, with what the form says put over it.
// It is one COM object: whichever of its interfaces is asked for IUnknown gives the same pointer,
// and none hands out an interface of the system's object, whose children would not be ours.
class FormAccessible final : public IAccessible, public IOleWindow {
public:
    FormAccessible(Win32Backend& backend, HWND hwnd, LONG objectId, Com<IAccessible> standard)
        : backend_(backend), hwnd_(hwnd), client_(objectId == OBJID_CLIENT), std_(std::move(standard)) {}

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid == __uuidof(IUnknown) || iid == __uuidof(IDispatch) || iid == __uuidof(IAccessible))
            *out = static_cast<IAccessible*>(this);
        else if (iid == __uuidof(IOleWindow))
            *out = static_cast<IOleWindow*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG n = InterlockedDecrement(&refs_);
        if (n == 0) delete this;
        return static_cast<ULONG>(n);
    }

    // IDispatch: screen readers call the interface directly.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
        if (!n) return E_POINTER;
        *n = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }

    // IOleWindow: the window behind the object, which is how a screen reader finds it.
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* out) override {
        if (!out) return E_POINTER;
        *out = hwnd_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IAccessible. Each answer runs guarded: an exception must not reach the screen reader.
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** out) override {
        return guarded([&] { return std_->get_accParent(out); });
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(long* n) override {
        return guarded([&]() -> HRESULT {
            auto v = view();
            if (!v) return CO_E_OBJNOTCONNECTED;
            if (!ownsChildren(*v)) return std_->get_accChildCount(n);
            if (!n) return E_POINTER;
            *n = static_cast<long>(v->items.size());
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override {
        return guarded([&]() -> HRESULT {
            auto v = view();
            if (!v) return CO_E_OBJNOTCONNECTED;
            if (!ownsChildren(*v)) return std_->get_accChild(child, out);
            if (!out) return E_POINTER;
            *out = nullptr;
            // The parts are simple elements of this object, reached by their numbers.
            return item(*v, child) ? S_FALSE : E_INVALIDARG;
        });
    }
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* out) override {
        return guarded([&]() -> HRESULT {
            auto v = view();
            if (!v) return CO_E_OBJNOTCONNECTED;
            if (isSelf(child)) return giveText(v->name, out);
            if (const forms::AccessibleItem* it = item(*v, child)) return giveText(it->name, out);
            return ownsChildren(*v) ? E_INVALIDARG : std_->get_accName(child, out);
        });
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* out) override {
        return guarded([&]() -> HRESULT {
            auto v = view();
            if (!v) return CO_E_OBJNOTCONNECTED;
            if (isSelf(child) || !ownsChildren(*v)) return std_->get_accValue(child, out);
            return item(*v, child) ? giveText({}, out) : E_INVALIDARG;
        });
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* out) override {
        return guarded([&]() -> HRESULT {
            auto v = view();
            if (!v) return CO_E_OBJNOTCONNECTED;
            if (isSelf(child)) return giveText(v->description, out);
            if (item(*v, child)) return giveText({}, out);
            return ownsChildren(*v) ? E_INVALIDARG : std_->get_accDescription(child, out);
        });
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* out) override {
        return guarded([&]() -> HRESULT {
            auto v = view();
            if (!v) return CO_E_OBJNOTCONNECTED;
            if (!out) return E_POINTER;
            const forms::AccessibleItem* it = item(*v, child);
            if (!isSelf(child) && !it) return std_->get_accRole(child, out);
            // The frame is a window whatever the client area is: its children are the title bar,
            // the client area and the like.
            out->vt = VT_I4;
            out->lVal = static_cast<LONG>(it ? it->role : client_ ? v->role : forms::Role::Window);
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* out) override {
        return guarded([&]() -> HRESULT {
            auto v = view();
            if (!v) return CO_E_OBJNOTCONNECTED;
            const forms::AccessibleItem* it = item(*v, child);
            if (!it) return isSelf(child) || !ownsChildren(*v) ? std_->get_accState(child, out) : E_INVALIDARG;
            if (!out) return E_POINTER;
            out->vt = VT_I4;
            out->lVal = stateOf(*it);
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* out) override {
        return guarded([&] { return isSelf(child) ? std_->get_accHelp(child, out) : giveText({}, out); });
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override {
        return guarded([&] { return std_->get_accHelpTopic(file, child, topic); });
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* out) override {
        return guarded([&] { return isSelf(child) ? std_->get_accKeyboardShortcut(child, out) : giveText({}, out); });
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* out) override {
        return guarded([&]() -> HRESULT {
            auto v = view();
            if (!v) return CO_E_OBJNOTCONNECTED;
            if (!out) return E_POINTER;
            if (client_)
                for (std::size_t i = 0; i < v->items.size(); ++i)
                    if (v->items[i].focused) {
                        out->vt = VT_I4;
                        out->lVal = static_cast<LONG>(i + 1);
                        return S_OK;
                    }
            return std_->get_accFocus(out);
        });
    }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* out) override {
        return guarded([&] { return std_->get_accSelection(out); });
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* out) override {
        return guarded([&] { return isSelf(child) ? std_->get_accDefaultAction(child, out) : giveText({}, out); });
    }
    HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override {
        return guarded([&] { return isSelf(child) ? std_->accSelect(flags, child) : S_FALSE; });
    }
    HRESULT STDMETHODCALLTYPE accLocation(long* x, long* y, long* w, long* h, VARIANT child) override {
        return guarded([&]() -> HRESULT {
            auto v = view();
            if (!v) return CO_E_OBJNOTCONNECTED;
            const forms::AccessibleItem* it = item(*v, child);
            if (!it || !it->control) return std_->accLocation(x, y, w, h, child);
            if (!x || !y || !w || !h) return E_POINTER;
            RECT r = screenRect(*it->control);
            *x = r.left, *y = r.top, *w = r.right - r.left, *h = r.bottom - r.top;
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE accNavigate(long dir, VARIANT start, VARIANT* out) override {
        return guarded([&]() -> HRESULT {
            // An answer of nowhere (S_FALSE) leaves the output empty, not as the caller passed it.
            if (!out) return E_POINTER;
            VariantInit(out);
            return isSelf(start) ? std_->accNavigate(dir, start, out) : S_FALSE;
        });
    }
    HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* out) override {
        return guarded([&]() -> HRESULT {
            auto v = view();
            if (!v) return CO_E_OBJNOTCONNECTED;
            if (!out) return E_POINTER;
            if (client_ && ownsChildren(*v))
                for (std::size_t i = 0; i < v->items.size(); ++i) {
                    const forms::Control* c = v->items[i].control;
                    RECT r = c ? screenRect(*c) : RECT{};
                    if (c && x >= r.left && x < r.right && y >= r.top && y < r.bottom) {
                        out->vt = VT_I4;
                        out->lVal = static_cast<LONG>(i + 1);
                        return S_OK;
                    }
                }
            return std_->accHitTest(x, y, out);
        });
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
        return guarded([&] { return isSelf(child) ? std_->accDoDefaultAction(child) : DISP_E_MEMBERNOTFOUND; });
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

private:
    // A fault here is the program's, shown and ending it as one in a window's handler does; the
    // caller is told that the call failed should the program not end at once (a second fault
    // while the first one's message is up).
    template <class Body>
    HRESULT guarded(Body&& body) noexcept {
        try {
            return body();
        } catch (const std::exception& e) {
            backend_.fault(e.what());
        } catch (...) {
            backend_.fault("unexpected error");
        }
        return E_UNEXPECTED;
    }

    static bool isSelf(const VARIANT& child) { return child.vt == VT_I4 && child.lVal == CHILDID_SELF; }

    std::optional<forms::AccessibleView> view() const {
        auto it = living().find(hwnd_);
        if (it == living().end()) return std::nullopt;
        return it->second->accessible();
    }
    // The client area lists the form's parts; the frame keeps the system's children.
    bool ownsChildren(const forms::AccessibleView& v) const { return client_ && !v.items.empty(); }
    const forms::AccessibleItem* item(const forms::AccessibleView& v, const VARIANT& child) const {
        if (!client_ || child.vt != VT_I4 || child.lVal < 1 || child.lVal > static_cast<LONG>(v.items.size()))
            return nullptr;
        return &v.items[static_cast<std::size_t>(child.lVal - 1)];
    }
    static LONG stateOf(const forms::AccessibleItem& it) {
        LONG s = 0;
        switch (it.role) {
            case forms::Role::StaticText:
                s = STATE_SYSTEM_READONLY;
                break;
            case forms::Role::Link:
                s = STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_LINKED;
                break;
            case forms::Role::MenuItem:
                s = STATE_SYSTEM_FOCUSABLE | (it.focused ? STATE_SYSTEM_HOTTRACKED : 0);
                break;
            default:
                s = STATE_SYSTEM_FOCUSABLE;
                break;
        }
        if (it.focused) s |= STATE_SYSTEM_FOCUSED;
        if (it.control && !it.control->enabled()) s |= STATE_SYSTEM_UNAVAILABLE;
        return s;
    }
    RECT screenRect(const forms::Control& c) const {
        RECT r{};
        if (c.native) {
            GetWindowRect(static_cast<HWND>(c.native), &r);
            return r;
        }
        forms::PixelRect p = c.pixelRect();
        r = {p.left, p.top, p.left + p.width, p.top + p.height};
        HWND in = c.container() && c.container()->native ? static_cast<HWND>(c.container()->native) : hwnd_;
        MapWindowPoints(in, nullptr, reinterpret_cast<POINT*>(&r), 2);
        return r;
    }

    LONG refs_ = 1;
    Win32Backend& backend_;
    HWND hwnd_;
    bool client_;
    Com<IAccessible> std_;
};

}  // namespace

Com<IAccessible> newAccessible(Win32Backend& backend, forms::Form& form, HWND hwnd, LONG objectId) {
    Com<IAccessible> object;
    if ((objectId != OBJID_CLIENT && objectId != OBJID_WINDOW) || !form.accessible()) return object;
    Com<IAccessible> standard;
    if (FAILED(CreateStdAccessibleObject(hwnd, objectId, __uuidof(IAccessible),
                                         reinterpret_cast<void**>(standard.put()))))
        return object;
    living()[hwnd] = &form;
    *object.put() = new FormAccessible(backend, hwnd, objectId, std::move(standard));
    return object;
}

LRESULT accessibleObject(Win32Backend& backend, forms::Form& form, HWND hwnd, WPARAM wp, LPARAM lp) {
    // Only the frame and the client area; the standard objects ask for other ids themselves.
    Com<IAccessible> object = newAccessible(backend, form, hwnd, static_cast<LONG>(lp));
    // LresultFromObject holds its own reference.
    return object ? LresultFromObject(__uuidof(IAccessible), wp, object.get()) : 0;
}

void forgetAccessible(HWND hwnd) {
    living().erase(hwnd);
}

void raiseAccessibleEvent(HWND hwnd, forms::AccessibleEvent ev, int item) {
    DWORD event = 0;
    switch (ev) {
        case forms::AccessibleEvent::NameChange:
            event = EVENT_OBJECT_NAMECHANGE;
            break;
        case forms::AccessibleEvent::DescriptionChange:
            event = EVENT_OBJECT_DESCRIPTIONCHANGE;
            break;
        case forms::AccessibleEvent::Focus:
            event = EVENT_OBJECT_FOCUS;
            break;
        case forms::AccessibleEvent::MenuStart:
            event = EVENT_SYSTEM_MENUPOPUPSTART;
            break;
        case forms::AccessibleEvent::MenuEnd:
            event = EVENT_SYSTEM_MENUPOPUPEND;
            break;
    }
    NotifyWinEvent(event, hwnd, OBJID_CLIENT, item);
}

void Win32Backend::accessibleEvent(forms::Form& form, forms::AccessibleEvent ev, int item) {
    if (HWND h = static_cast<HWND>(handle(form))) raiseAccessibleEvent(h, ev, item);
}

}  // namespace win32
