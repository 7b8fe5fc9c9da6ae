#include "platform/win32/backend.h"

#include <windowsx.h>

#include <algorithm>

#include <cstring>
#include <stdexcept>
#include <vector>

#include "platform/forms/scale.h"
#include "platform/forms/startup.h"
#include "platform/win32/accessible.h"
#include "platform/win32/dpi.h"
#include "platform/win32/gdiplus.h"
#include "platform/win32/picture_copy.h"
#include "platform/win32/program_end.h"
#include "platform/win32/text.h"

using forms::Control;
using forms::Form;
using forms::Kind;

namespace win32 {

namespace {

constexpr wchar_t kFormClass[] = L"TolmForm";
constexpr wchar_t kBoxClass[] = L"TolmBox";
constexpr wchar_t kOwnerClass[] = L"TolmOwner";
constexpr int kFirstChildId = 100;
constexpr UINT_PTR kMaxAlarmId = 0xFFFF;  // alarms; timer controls use their address

int buttonsFrom(WPARAM wp) {
    int b = 0;
    if (wp & MK_LBUTTON) b |= forms::LeftButton;
    if (wp & MK_RBUTTON) b |= forms::RightButton;
    if (wp & MK_MBUTTON) b |= forms::MiddleButton;
    return b;
}

}  // namespace

struct Win32Backend::Picture {
    Com<IStream> stream;  // kept only while the image still reads from it
    Gdiplus::GpImage* image = nullptr;
    UINT width = 0, height = 0;
    bool seeThrough = false;  // may have transparent pixels: palette art or an alpha channel
    ~Picture() {
        if (image) GdipDisposeImage(image);
    }
};

Win32Backend::Win32Backend(HINSTANCE instance) : instance_(instance) {
    dpi::becomeAware();
    Gdiplus::GdiplusStartupInput in;
    // Without GDI+ no picture of any window can be drawn: a fault at start, shown to the user.
    if (Gdiplus::GdiplusStartup(&gdiplusToken_, &in, nullptr) != Gdiplus::Ok)
        throw std::runtime_error("GDI+ could not be started");

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &Win32Backend::windowProc;
    wc.hInstance = instance_;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kFormClass;
    RegisterClassExW(&wc);
    wc.lpszClassName = kBoxClass;
    RegisterClassExW(&wc);
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = kOwnerClass;
    RegisterClassExW(&wc);
    owner_ = CreateWindowExW(0, kOwnerClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance_, nullptr);
}

Win32Backend::~Win32Backend() {
    natives_.clear();
    pictures_.clear();
    if (owner_) DestroyWindow(owner_);
    Gdiplus::GdiplusShutdown(gdiplusToken_);
}

int Win32Backend::run() {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (routeKeys(msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

Form* Win32Backend::formOf(HWND hwnd) const {
    for (auto& [form, n] : natives_)
        if (n->hwnd == hwnd) return const_cast<Form*>(form);
    return nullptr;
}

Win32Backend::Native* Win32Backend::find(const Form& form) const {
    auto it = natives_.find(&form);
    return it == natives_.end() ? nullptr : it->second.get();
}

HWND Win32Backend::nativeOf(const Form& form, Control* container) const {
    if (container) return static_cast<HWND>(container->native);
    Native* n = find(form);
    return n ? n->hwnd : nullptr;
}

COLORREF Win32Backend::colorRef(forms::Color c) {
    if (c.isSystem()) return GetSysColor(c.systemIndex());
    return RGB(c.red(), c.green(), c.blue());
}

HBRUSH Win32Backend::brush(COLORREF c) {
    auto& b = brushes_[c];
    if (!b) b.reset(CreateSolidBrush(c));
    return b.get();
}

HFONT Win32Backend::font(const forms::Font& f, int dpi) {
    return fonts_.get(f, dpi);
}

Win32Backend::Picture* Win32Backend::picture(std::string_view name) {
    auto it = pictures_.find(name);
    if (it != pictures_.end()) return it->second.get();
    auto pic = std::make_unique<Picture>();
    std::wstring wname = widen(name);
    if (HRSRC res = FindResourceW(instance_, wname.c_str(), MAKEINTRESOURCEW(10) /* RT_RCDATA */)) {
        DWORD size = SizeofResource(instance_, res);
        const void* data = LockResource(LoadResource(instance_, res));
        HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, size);
        if (data && mem) {
            std::memcpy(GlobalLock(mem), data, size);
            GlobalUnlock(mem);
            if (SUCCEEDED(CreateStreamOnHGlobal(mem, TRUE, pic->stream.put()))) {
                mem = nullptr;
                if (GdipLoadImageFromStream(pic->stream.get(), &pic->image) == Gdiplus::Ok) {
                    GdipGetImageWidth(pic->image, &pic->width);
                    GdipGetImageHeight(pic->image, &pic->height);
                    Gdiplus::PixelFormat format = 0;
                    GdipGetImagePixelFormat(pic->image, &format);
                    pic->seeThrough = Gdiplus::IsIndexedPixelFormat(format) || Gdiplus::IsAlphaPixelFormat(format);
                    if (Gdiplus::GpImage* copy = detachedCopy(pic->image, pic->width, pic->height, format)) {
                        GdipDisposeImage(pic->image);
                        pic->image = copy;
                        pic->stream.reset();
                    }
                } else {
                    pic->image = nullptr;
                }
            }
        }
        if (mem) GlobalFree(mem);
    }
    return pictures_.emplace(std::string(name), std::move(pic)).first->second.get();
}

std::pair<Win32Backend::Picture*, int> Win32Backend::art(std::string_view name, int dpi) {
    for (int scale : forms::artScaleOrder(dpi))
        if (Picture* p = picture(forms::artName(name, scale)); p->image) return {p, scale};
    return {picture(name), 100};
}

bool Win32Backend::drawPicture(HDC dc, std::string_view name, const forms::PixelRect& r, bool stretch, int dpi) {
    auto [pic, scale] = art(name, dpi);
    if (!pic->image) return false;
    // Natural size is the picture's size at the window's scale: its own where it is made for it.
    bool madeForIt = forms::scalePercent(dpi) == scale;
    int width = forms::artPixels(static_cast<int>(pic->width), scale, dpi);
    int height = forms::artPixels(static_cast<int>(pic->height), scale, dpi);
    Gdiplus::GpGraphics* g = nullptr;
    if (GdipCreateFromHDC(dc, &g) != Gdiplus::Ok) return false;
    GdipSetPixelOffsetMode(g, Gdiplus::PixelOffsetModeHalf);
    if (stretch) {
        // Transparent pixels are stretched pixel for pixel: smoothing would blend the picture's
        // edge with the window's see-through key into colours that are neither, and show them.
        GdipSetInterpolationMode(g, pic->seeThrough ? Gdiplus::InterpolationModeNearestNeighbor
                                                    : Gdiplus::InterpolationModeHighQualityBicubic);
        GdipDrawImageRectI(g, pic->image, r.left, r.top, r.width, r.height);
    } else {
        // Natural size, pixel for pixel where the art is made for the scale, cut at the
        // rectangle's edges.
        GdipSetInterpolationMode(g, madeForIt || pic->seeThrough ? Gdiplus::InterpolationModeNearestNeighbor
                                                                 : Gdiplus::InterpolationModeHighQualityBicubic);
        GdipSetClipRectI(g, r.left, r.top, r.width, r.height, Gdiplus::CombineModeReplace);
        GdipDrawImageRectI(g, pic->image, r.left, r.top, width, height);
    }
    GdipDeleteGraphics(g);
    return true;
}

namespace {

class GdiCanvas final : public forms::Canvas {
public:
    GdiCanvas(Win32Backend& b, HDC dc, int dpi) : b_(b), dc_(dc), dpi_(dpi) {}
    void fill(const forms::PixelRect& r, forms::Color c) override {
        RECT rc{r.left, r.top, r.left + r.width, r.top + r.height};
        FillRect(dc_, &rc, b_.brush(Win32Backend::colorRef(c)));
    }
    void frame(const forms::PixelRect& r, forms::Color c) override {
        RECT rc{r.left, r.top, r.left + r.width, r.top + r.height};
        FrameRect(dc_, &rc, b_.brush(Win32Backend::colorRef(c)));
    }
    void picture(std::string_view name, const forms::PixelRect& r, bool stretch) override {
        b_.drawPicture(dc_, name, r, stretch, dpi_);
    }
    void text(std::string_view utf8, const forms::PixelRect& r, forms::Color c, const forms::Font& f,
              forms::Align a, bool wrap, bool disabled) override {
        std::wstring w = widen(utf8);
        RECT rc{r.left, r.top, r.left + r.width, r.top + r.height};
        Selected font(dc_, b_.font(f, dpi_));
        SetBkMode(dc_, TRANSPARENT);
        // A one-line caption sized by the fixed metric may stand in a face with a taller cell
        // than the 12 pixels it was sized for; its descenders are not cut off for that.
        UINT fmt = DT_NOPREFIX | (a == forms::Align::Center ? DT_CENTER : DT_LEFT) |
                   (wrap ? DT_WORDBREAK : DT_SINGLELINE | DT_NOCLIP);
        if (disabled) {
            RECT shadow = rc;
            OffsetRect(&shadow, 1, 1);
            SetTextColor(dc_, GetSysColor(COLOR_3DHILIGHT));
            DrawTextW(dc_, w.c_str(), static_cast<int>(w.size()), &shadow, fmt);
            SetTextColor(dc_, GetSysColor(COLOR_GRAYTEXT));
        } else {
            SetTextColor(dc_, Win32Backend::colorRef(c));
        }
        DrawTextW(dc_, w.c_str(), static_cast<int>(w.size()), &rc, fmt);
    }
    void focusMark(const forms::PixelRect& r) override {
        RECT rc{r.left, r.top, r.left + r.width, r.top + r.height};
        DrawFocusRect(dc_, &rc);
    }

private:
    Win32Backend& b_;
    HDC dc_;
    int dpi_;
};

}  // namespace

void Win32Backend::create(Form& form) {
    const forms::FormDef& d = form.def();
    auto n = std::make_unique<Native>();
    n->node = std::make_unique<Node>(Node{&form, nullptr});

    DWORD style = WS_CLIPCHILDREN;
    DWORD ex = d.taskbar ? WS_EX_APPWINDOW : 0;
    if (d.border == forms::Border::None)
        style |= WS_POPUP;
    else if (d.border == forms::Border::Sizable)
        style |= WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME;
    else
        style |= WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    HWND main = mainForm_ ? nativeOf(*mainForm_, nullptr) : nullptr;
    HMONITOR mon = dpi::openingMonitor(main, d.startUp == forms::StartUp::CenterOwner,
                                       d.startUp == forms::StartUp::Manual);
    form.setDpi(dpi::ofMonitor(mon));
    RECT rc{0, 0, form.toPixels(d.width), form.toPixels(d.height)};
    dpi::adjustWindowRect(rc, style, ex, form.dpi());
    int w = rc.right - rc.left, h = rc.bottom - rc.top;
    POINT at{form.toPixels(d.left), form.toPixels(d.top)};
    if (d.startUp != forms::StartUp::Manual) {
        RECT owner{};
        bool onOwner = d.startUp == forms::StartUp::CenterOwner && main && GetWindowRect(main, &owner);
        at = dpi::centredOn(mon, onOwner ? &owner : nullptr, w, h);
    }
    int x = at.x, y = at.y;
    HWND hwnd = CreateWindowExW(ex, kFormClass, widen(form.caption()).c_str(), style, x, y, w, h,
                                d.taskbar ? nullptr : owner_, nullptr, instance_, n->node.get());
    if (!hwnd) throw std::runtime_error("CreateWindowEx failed");
    n->hwnd = hwnd;
    if (d.icon) {
        std::wstring icon = widen(d.icon);
        n->bigIcon = static_cast<HICON>(LoadImageW(instance_, icon.c_str(), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
        n->smallIcon = static_cast<HICON>(LoadImageW(instance_, icon.c_str(), IMAGE_ICON,
                                                     dpi::metric(SM_CXSMICON, form.dpi()),
                                                     dpi::metric(SM_CYSMICON, form.dpi()), 0));
        SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(n->bigIcon));
        SendMessageW(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(n->smallIcon));
    }
    Native& ref = *n;
    if (natives_.empty()) mainForm_ = &form;
    natives_[&form] = std::move(n);
    createChildren(form, ref, nullptr, hwnd);
}

// A hidden picture box that holds nothing gets its window when first shown: the countdown's ten
// digit sources are never shown, and their windows (and sizing one to its picture) would only
// slow the start.
static bool madeWhenShown(const Control& c) {
    return c.kind() == Kind::PictureBox && !c.visible() && c.children().empty();
}

void Win32Backend::createChildren(Form& form, Native& n, Control* container, HWND parent) {
    const auto& kids = container ? container->children() : form.children();
    std::vector<HWND> made;
    for (Control* c : kids)
        if (forms::isWindowed(c->kind()) && !madeWhenShown(*c)) made.push_back(createControl(form, n, c, parent));
    // Table order is front to back: each next control goes below the ones before it.
    for (HWND h : made) SetWindowPos(h, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

HWND Win32Backend::createControl(Form& form, Native& n, Control* c, HWND parent) {
    const forms::ControlDef& d = c->def();
    int id = kFirstChildId + static_cast<int>(n.byId.size());
    n.byId[id] = c;
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS | (c->visible() ? WS_VISIBLE : 0) | (c->enabled() ? 0 : WS_DISABLED);
    DWORD ex = 0;
    const wchar_t* cls = kBoxClass;
    void* param = nullptr;
    std::wstring text = widen(c->caption());
    switch (c->kind()) {
    case Kind::CommandButton:
        cls = L"BUTTON";
        style |= WS_TABSTOP | (d.keyRole == forms::KeyRole::Default ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
        break;
    case Kind::CheckBox:
        cls = L"BUTTON";
        style |= WS_TABSTOP | BS_AUTOCHECKBOX;
        break;
    case Kind::TextBox:
        cls = L"EDIT";
        style |= WS_TABSTOP | ES_AUTOHSCROLL;
        ex |= WS_EX_CLIENTEDGE;
        break;
    default: {  // picture box, frame, the browser's holder: containers of our own
        style |= WS_CLIPCHILDREN;
        if (c->kind() == Kind::PictureBox && d.tabIndex >= 0) style |= WS_TABSTOP;
        if (c->kind() != Kind::Frame && d.edge == forms::Edge::Sunken) ex |= WS_EX_CLIENTEDGE;
        n.boxes.push_back(std::make_unique<Node>(Node{&form, c}));
        param = n.boxes.back().get();
        text.clear();
        break;
    }
    }
    forms::PixelRect r = placeOf(*c, style, ex);
    HWND h = CreateWindowExW(ex, cls, text.c_str(), style, r.left, r.top, r.width, r.height, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, param);
    if (!h) throw std::runtime_error("CreateWindowEx failed for a control");
    c->native = h;
    // Boxes of our own draw no text of theirs; the system's controls take the layout's font.
    if (cls != kBoxClass) SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(font(d.font, form.dpi())), FALSE);
    if (c->kind() == Kind::CheckBox) SendMessageW(h, BM_SETCHECK, c->value() == 1 ? BST_CHECKED : BST_UNCHECKED, 0);
    if (forms::isContainer(c->kind())) createChildren(form, n, c, h);
    return h;
}

forms::PixelRect Win32Backend::placeOf(Control& c, DWORD style, DWORD exStyle) {
    forms::PixelRect r = c.pixelRect();
    if (c.kind() == Kind::PictureBox && c.def().autoSize && !c.picture().empty()) {
        // Sized to its picture at the window's scale, border included.
        auto [p, scale] = art(c.picture(), c.form().dpi());
        if (p->image) {
            RECT rc{0, 0, forms::artPixels(static_cast<int>(p->width), scale, c.form().dpi()),
                    forms::artPixels(static_cast<int>(p->height), scale, c.form().dpi())};
            dpi::adjustWindowRect(rc, style, exStyle, c.form().dpi());
            r.width = rc.right - rc.left;
            r.height = rc.bottom - rc.top;
        }
    }
    return r;
}

void Win32Backend::destroy(Form& form) {
    auto it = natives_.find(&form);
    if (it == natives_.end()) return;
    std::unique_ptr<Native> n = std::move(it->second);
    natives_.erase(it);
    if (&form == mainForm_) mainForm_ = nullptr;
    for (auto& c : form.controls())
        if (c->kind() == Kind::Timer) KillTimer(n->hwnd, reinterpret_cast<UINT_PTR>(c.get()));
    // No message of the windows being destroyed may reach the form any more.
    SetWindowLongPtrW(n->hwnd, GWLP_USERDATA, 0);
    forgetAccessible(n->hwnd);
    for (auto& box : n->boxes)
        if (box->container->native) SetWindowLongPtrW(static_cast<HWND>(box->container->native), GWLP_USERDATA, 0);
    for (auto& [id, c] : n->byId) c->native = nullptr;
    DestroyWindow(n->hwnd);
    if (n->bigIcon) DestroyIcon(n->bigIcon);
    if (n->smallIcon) DestroyIcon(n->smallIcon);
    releaseUnusedFonts();
    if (natives_.empty()) PostQuitMessage(0);
}

void Win32Backend::show(Form& form, bool visible) {
    if (Native* n = find(form)) {
        ShowWindow(n->hwnd, visible ? SW_SHOWNORMAL : SW_HIDE);
        if (visible) UpdateWindow(n->hwnd);
    }
}

void Win32Backend::move(Form& form, int x, int y) {
    if (Native* n = find(form))
        SetWindowPos(n->hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

forms::PixelRect Win32Backend::screenRect(const Form& form) const {
    RECT rc{};
    if (Native* n = find(form)) GetWindowRect(n->hwnd, &rc);
    return {rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top};
}

forms::NativeWindow Win32Backend::handle(const Form& form) const {
    Native* n = find(form);
    return n ? n->hwnd : nullptr;
}

HICON Win32Backend::icon(const Form& form) const {
    Native* n = find(form);
    return n ? n->bigIcon : nullptr;
}

void Win32Backend::update(Control& c) {
    HWND h = static_cast<HWND>(c.native);
    if (!h) {
        Native* n = find(c.form());
        if (!n || !c.visible() || !forms::isWindowed(c.kind())) return;
        h = createControl(c.form(), *n, &c, nativeOf(c.form(), c.container()));
        // Its place in the stacking order: just below the nearest control before it in the table.
        HWND above = HWND_TOP;
        for (Control* s : c.container() ? c.container()->children() : c.form().children()) {
            if (s == &c) break;
            if (s->native) above = static_cast<HWND>(s->native);
        }
        SetWindowPos(h, above, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        return;
    }
    forms::PixelRect r = placeOf(c, static_cast<DWORD>(GetWindowLongW(h, GWL_STYLE)),
                                 static_cast<DWORD>(GetWindowLongW(h, GWL_EXSTYLE)));
    RECT now{};
    GetWindowRect(h, &now);
    MapWindowPoints(nullptr, GetParent(h), reinterpret_cast<POINT*>(&now), 2);
    if (now.left != r.left || now.top != r.top || now.right - now.left != r.width || now.bottom - now.top != r.height)
        SetWindowPos(h, nullptr, r.left, r.top, r.width, r.height, SWP_NOZORDER | SWP_NOACTIVATE);
    if (c.kind() == Kind::CommandButton || c.kind() == Kind::CheckBox || c.kind() == Kind::TextBox) {
        auto f = reinterpret_cast<WPARAM>(font(c.def().font, c.form().dpi()));
        if (static_cast<WPARAM>(SendMessageW(h, WM_GETFONT, 0, 0)) != f) SendMessageW(h, WM_SETFONT, f, FALSE);
        std::wstring want = widen(c.caption());
        int len = GetWindowTextLengthW(h);
        std::wstring have(static_cast<std::size_t>(len) + 1, L'\0');
        GetWindowTextW(h, have.data(), len + 1);
        have.resize(static_cast<std::size_t>(len));
        if (have != want) SetWindowTextW(h, want.c_str());
    }
    if (c.kind() == Kind::CheckBox) SendMessageW(h, BM_SETCHECK, c.value() == 1 ? BST_CHECKED : BST_UNCHECKED, 0);
    EnableWindow(h, c.enabled());
    bool shown = (GetWindowLongW(h, GWL_STYLE) & WS_VISIBLE) != 0;
    if (shown != c.visible()) ShowWindow(h, c.visible() ? SW_SHOWNA : SW_HIDE);
    InvalidateRect(h, nullptr, TRUE);
}

void Win32Backend::invalidate(Form& form, Control* container) {
    if (HWND h = nativeOf(form, container)) InvalidateRect(h, nullptr, FALSE);
}

void Win32Backend::timer(Control& t) {
    Native* n = find(t.form());
    if (!n) return;
    auto id = reinterpret_cast<UINT_PTR>(&t);
    if (t.enabled() && t.interval() > 0)
        SetTimer(n->hwnd, id, static_cast<UINT>(t.interval()), nullptr);
    else
        KillTimer(n->hwnd, id);
}

void Win32Backend::alarm(Form& form, int id, std::chrono::milliseconds delay) {
    Native* n = find(form);
    if (!n || id <= 0 || static_cast<UINT_PTR>(id) > kMaxAlarmId) return;
    auto ms = std::clamp<long long>(delay.count(), USER_TIMER_MINIMUM, 0x7FFFFFFF);
    SetTimer(n->hwnd, static_cast<UINT_PTR>(id), static_cast<UINT>(ms), nullptr);
}

void Win32Backend::capture(Form& form, Control* container, bool on) {
    if (on) {
        if (HWND h = nativeOf(form, container)) SetCapture(h);
    } else if (GetCapture()) {
        ReleaseCapture();
    }
}

void Win32Backend::paintSurface(Form& form, const std::function<void(forms::NativeDC)>& paint) {
    Native* n = find(form);
    if (!n) return;
    n->background = paint;
    InvalidateRect(n->hwnd, nullptr, FALSE);
    UpdateWindow(n->hwnd);
}

void Win32Backend::setFocus(Control& c) {
    if (HWND h = c.native ? static_cast<HWND>(c.native) : nativeOf(c.form(), nullptr)) SetFocus(h);
}

void Win32Backend::setExStyle(Form& form, std::uint32_t exStyle) {
    if (Native* n = find(form)) SetWindowLongA(n->hwnd, GWL_EXSTYLE, static_cast<LONG>(exStyle));
}

std::uint32_t Win32Backend::exStyle(const Form& form) const {
    Native* n = find(form);
    return n ? static_cast<std::uint32_t>(GetWindowLongA(n->hwnd, GWL_EXSTYLE)) : 0;
}

void Win32Backend::setLayered(Form& form, std::uint32_t colorKey, int alpha, std::uint32_t flags) {
    if (Native* n = find(form)) SetLayeredWindowAttributes(n->hwnd, colorKey, static_cast<BYTE>(alpha), flags);
}

void Win32Backend::bringToFront(Form& form) {
    if (Native* n = find(form)) SetWindowPos(n->hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void Win32Backend::setTopmost(Form& form) {
    if (Native* n = find(form)) SetWindowPos(n->hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void Win32Backend::activate(Form& form) {
    if (Native* n = find(form)) {
        SetForegroundWindow(n->hwnd);
        SetFocus(n->hwnd);
    }
}

void Win32Backend::messageBox(std::string_view text, std::string_view caption) {
    MessageBoxW(nullptr, widen(text).c_str(), widen(caption).c_str(), MB_OK | MB_TASKMODAL | MB_SETFOREGROUND);
}

void Win32Backend::end(int exitCode) {
    runProgramEnd();
    ExitProcess(static_cast<UINT>(exitCode));
}

forms::PixelRect Win32Backend::screen() const {
    return {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

forms::PixelPoint Win32Backend::cursorPos() const {
    POINT p{};
    GetCursorPos(&p);
    return {p.x, p.y};
}

forms::PixelRect Win32Backend::workArea(forms::PixelPoint at) const {
    MONITORINFO mi{};
    mi.cbSize = sizeof mi;
    if (!GetMonitorInfoW(MonitorFromPoint(POINT{at.x, at.y}, MONITOR_DEFAULTTONEAREST), &mi)) return screen();
    const RECT& r = mi.rcWork;
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

std::vector<forms::PixelRect> Win32Backend::workAreas() const {
    std::vector<forms::PixelRect> areas;
    for (const RECT& r : dpi::workAreas()) areas.push_back({r.left, r.top, r.right - r.left, r.bottom - r.top});
    return areas;
}

void Win32Backend::dpiChanged(Form& form, HWND hwnd, int dpi, const RECT& suggested) {
    // Windows' rectangle keeps the window where it was on the new monitor; its size is the
    // layout's own at the new DPI, which a rectangle scaled from the old one may miss by a pixel.
    RECT rc{0, 0, forms::pixelsFromTwips(form.def().width, dpi), forms::pixelsFromTwips(form.def().height, dpi)};
    dpi::adjustWindowRect(rc, static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE)),
                          static_cast<DWORD>(GetWindowLongW(hwnd, GWL_EXSTYLE)), dpi);
    SetWindowPos(hwnd, nullptr, suggested.left, suggested.top, rc.right - rc.left, rc.bottom - rc.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    form.setDpi(dpi);
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
    releaseUnusedFonts();
}

void Win32Backend::releaseUnusedFonts() {
    std::set<int> inUse;
    for (const auto& [form, n] : natives_) inUse.insert(form->dpi());
    fonts_.keepOnly(inUse);
}

std::string Win32Backend::programFolder() const {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    auto slash = path.find_last_of(L"\\/");
    std::wstring dir = slash == std::wstring::npos ? L"." : path.substr(0, slash);
    if (dir.size() == 2 && dir[1] == L':') dir += L'\\';  // a drive root keeps its separator
    return narrow(dir);
}

forms::Version Win32Backend::programVersion() const {
    HRSRC res = FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16) /* RT_VERSION */);
    if (!res) return {};
    const auto* data = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, res)));
    DWORD size = SizeofResource(nullptr, res);
    // The fixed part follows the header; find it by its signature, 32-bit aligned.
    for (DWORD off = 0; data && off + sizeof(VS_FIXEDFILEINFO) <= size; off += 4) {
        VS_FIXEDFILEINFO fi;
        std::memcpy(&fi, data + off, sizeof fi);
        if (fi.dwSignature == 0xFEEF04BD)
            return {HIWORD(fi.dwFileVersionMS), LOWORD(fi.dwFileVersionMS), LOWORD(fi.dwFileVersionLS)};
    }
    return {};
}

bool Win32Backend::drawsOverBackground(const Form& form) {
    return std::any_of(form.children().begin(), form.children().end(), [](const Control* c) {
        return c->visible() && (c->kind() == Kind::Label || c->kind() == Kind::Image || c->kind() == Kind::Shape);
    });
}

void Win32Backend::paintNode(Node& node, HWND hwnd) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    Native* n = node.container ? nullptr : find(*node.form);
    if (!node.container && !(n && n->background) && !drawsOverBackground(*node.form)) {
        // Only the back colour: straight to the screen, without a bitmap of the window's size.
        FillRect(dc, &ps.rcPaint, brush(colorRef(node.form->def().back)));
        EndPaint(hwnd, &ps);
        return;
    }
    RECT rc;
    GetClientRect(hwnd, &rc);
    // Drawn off screen first, so that a repaint never flickers through the see-through key.
    MemoryDC mem(CreateCompatibleDC(dc));
    Bitmap bmp(CreateCompatibleBitmap(dc, std::max<LONG>(rc.right, 1), std::max<LONG>(rc.bottom, 1)));
    {
        Selected sel(mem.get(), bmp.get());
        GdiCanvas canvas(*this, mem.get(), node.form->dpi());
        bool backgroundDone = false;
        if (n && n->background) {
            FillRect(mem.get(), &rc, brush(colorRef(node.form->def().back)));
            n->background(mem.get());
            backgroundDone = true;
        } else if (node.container && node.container->kind() != Kind::PictureBox) {
            FillRect(mem.get(), &rc, brush(colorRef(node.container->kind() == Kind::Browser ? forms::Color::rgb(255, 255, 255)
                                                                                        : node.container->backColor())));
            backgroundDone = true;
            if (node.container->kind() == Kind::Frame) {
                auto px = [&](int at96) { return MulDiv(at96, node.form->dpi(), forms::kBaseDpi); };
                RECT edge = rc;
                edge.top += px(6);
                DrawEdge(mem.get(), &edge, EDGE_ETCHED, BF_RECT);
                std::wstring cap = widen(node.container->caption());
                if (!cap.empty()) {
                    Selected f(mem.get(), font(node.container->def().font, node.form->dpi()));
                    SetBkColor(mem.get(), colorRef(node.container->backColor()));
                    SetTextColor(mem.get(), colorRef(node.container->foreColor()));
                    RECT t{px(8), 0, rc.right - px(8), px(14)};
                    DrawTextW(mem.get(), (L" " + cap + L" ").c_str(), -1, &t, DT_SINGLELINE | DT_NOPREFIX);
                }
            }
        }
        node.form->paint(node.container, canvas, backgroundDone);
        BitBlt(dc, 0, 0, rc.right, rc.bottom, mem.get(), 0, 0, SRCCOPY);
    }
    EndPaint(hwnd, &ps);
}

LRESULT CALLBACK Win32Backend::windowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    auto* node = reinterpret_cast<Node*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!node) return DefWindowProcW(hwnd, msg, wp, lp);
    auto& self = static_cast<Win32Backend&>(node->form->backend());
    // No exception crosses into the system: a fault shows its description and ends the program.
    try {
        return self.handle(*node, hwnd, msg, wp, lp);
    } catch (const std::exception& e) {
        self.fault(e.what());
    } catch (...) {
        self.fault("unexpected error");
    }
    return 0;  // reached only by a second fault, while the first one's message is up
}

void Win32Backend::fault(std::string_view description) noexcept {
    static bool ending = false;
    if (ending) return;
    ending = true;
    try {
        messageBox(description, app_ ? app_->title() : "");
    } catch (...) {
        // Not even the message could be shown: the program still ends as failed.
    }
    end(forms::kFaultExitCode);
}

LRESULT Win32Backend::handle(Node& node, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Form& form = *node.form;
    Control* box = node.container;
    int x = GET_X_LPARAM(lp), y = GET_Y_LPARAM(lp);
    switch (msg) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        paintNode(node, hwnd);
        return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN: {
        int button = msg == WM_LBUTTONDOWN ? forms::LeftButton : msg == WM_RBUTTONDOWN ? forms::RightButton
                                                                                       : forms::MiddleButton;
        form.app().enter();
        form.mouseDown(box, button, shiftState(), x, y);
        form.app().leave();
        return 0;
    }
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP: {
        int button = msg == WM_LBUTTONUP ? forms::LeftButton : msg == WM_RBUTTONUP ? forms::RightButton
                                                                                   : forms::MiddleButton;
        form.app().enter();
        form.mouseUp(box, button, shiftState(), x, y, buttonsFrom(wp));
        form.app().leave();
        return 0;
    }
    case WM_MOUSEMOVE:
        form.app().enter();
        form.mouseMove(box, buttonsFrom(wp), shiftState(), x, y);
        form.app().leave();
        return 0;
    case WM_CAPTURECHANGED:
        if (reinterpret_cast<HWND>(lp) != hwnd) form.captureLost();
        return 0;
    case WM_SETCURSOR:
        if (LOWORD(lp) == HTCLIENT) {
            POINT p;
            GetCursorPos(&p);
            ScreenToClient(hwnd, &p);
            Control* c = form.hitTest(box, p.x, p.y);
            if (c && c->def().cursor) {
                auto it = cursors_.find(c->def().cursor);
                if (it == cursors_.end())
                    it = cursors_.emplace(c->def().cursor, LoadCursorW(instance_, widen(c->def().cursor).c_str())).first;
                if (it->second) {
                    SetCursor(it->second);
                    return TRUE;
                }
            }
        }
        break;
    case WM_TIMER: {
        Native* n = find(form);
        if (!n) return 0;
        if (wp <= kMaxAlarmId) {
            KillTimer(hwnd, wp);
            form.alarmFired(static_cast<int>(wp));
            return 0;
        }
        for (auto& c : form.controls())
            if (reinterpret_cast<UINT_PTR>(c.get()) == wp) {
                form.app().enter();
                form.timerTick(*c);
                form.app().leave();
                return 0;
            }
        KillTimer(hwnd, wp);
        return 0;
    }
    case WM_COMMAND: {
        Native* n = find(form);
        if (!n) return 0;
        int id = LOWORD(wp);
        Control* c = nullptr;
        if (id == IDOK || id == IDCANCEL) {
            // Enter and Esc: the window's default or cancel button.
            auto role = id == IDOK ? forms::KeyRole::Default : forms::KeyRole::Cancel;
            for (auto& k : form.controls())
                if (k->def().keyRole == role && k->native && k->visible() && k->enabled()) c = k.get();
        } else if (auto it = n->byId.find(id); it != n->byId.end()) {
            c = it->second;
        }
        if (!c) return 0;
        if (c->kind() == Kind::TextBox) {
            if (HIWORD(wp) == EN_CHANGE) {
                int len = GetWindowTextLengthW(static_cast<HWND>(c->native));
                std::wstring t(static_cast<std::size_t>(len) + 1, L'\0');
                GetWindowTextW(static_cast<HWND>(c->native), t.data(), len + 1);
                t.resize(static_cast<std::size_t>(len));
                c->syncText(narrow(t));
            }
            return 0;
        }
        if (HIWORD(wp) != BN_CLICKED && id != IDOK && id != IDCANCEL) return 0;
        if (c->kind() == Kind::CheckBox)
            c->syncValue(SendMessageW(static_cast<HWND>(c->native), BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0);
        form.app().enter();
        form.clicked(*c);
        form.app().leave();
        return 0;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
        Native* n = find(form);
        if (n)
            for (auto& [id, c] : n->byId)
                if (c->native == reinterpret_cast<HWND>(lp) && c->kind() == Kind::CheckBox) {
                    HDC dc = reinterpret_cast<HDC>(wp);
                    SetTextColor(dc, colorRef(c->foreColor()));
                    SetBkColor(dc, colorRef(c->backColor()));
                    return reinterpret_cast<LRESULT>(brush(colorRef(c->backColor())));
                }
        break;
    }
    case DM_GETDEFID:
        if (!box)
            for (auto& k : form.controls())
                if (k->def().keyRole == forms::KeyRole::Default && k->native)
                    return MAKELRESULT(GetDlgCtrlID(static_cast<HWND>(k->native)), DC_HASDEFID);
        break;
    case WM_GETOBJECT:
        if (!box) return accessibleObject(*this, form, hwnd, wp, lp);
        break;
    case WM_DPICHANGED:
        // Checked like a queried DPI: a value out of range (0 would shrink the window to its
        // frame) gives way to the DPI the system reports for the window.
        if (!box && lp)
            dpiChanged(form, hwnd, forms::isSaneDpi(HIWORD(wp)) ? HIWORD(wp) : dpi::ofWindow(hwnd),
                       *reinterpret_cast<const RECT*>(lp));
        return 0;
    case WM_DISPLAYCHANGE:
        if (!box) form.displayChanged();
        break;
    case WM_TIMECHANGE:
    case WM_SETTINGCHANGE:
        if (!box) form.systemChanged();
        break;
    case WM_POWERBROADCAST:
        if (!box && (wp == PBT_APMRESUMEAUTOMATIC || wp == PBT_APMRESUMESUSPEND)) form.systemChanged();
        return TRUE;
    case WM_CLOSE:
        // Alt+F4 and the like unload the window, as closing does in the system.
        if (!box && app_) {
            app_->unload(form);
            return 0;
        }
        break;
    default:
        break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace win32
