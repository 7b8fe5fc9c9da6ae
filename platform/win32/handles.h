#pragma once
// Move-only owners of system handles, so that every path releases what it created.
#include <windows.h>

#include <utility>

namespace win32 {

template <class T, auto Release, T Empty = T{}>
class Owned {
public:
    Owned() = default;
    explicit Owned(T h) : h_(h) {}
    ~Owned() { reset(); }
    Owned(Owned&& o) noexcept : h_(std::exchange(o.h_, Empty)) {}
    Owned& operator=(Owned&& o) noexcept {
        if (this != &o) {
            reset();
            h_ = std::exchange(o.h_, Empty);
        }
        return *this;
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;

    T get() const { return h_; }
    explicit operator bool() const { return h_ != Empty; }
    void reset(T h = Empty) {
        if (h_ != Empty) Release(h_);
        h_ = h;
    }
    T release() { return std::exchange(h_, Empty); }

private:
    T h_ = Empty;
};

inline void releaseGdi(HGDIOBJ h) { DeleteObject(h); }
inline void releaseDC(HDC h) { DeleteDC(h); }
inline void releaseWindow(HWND h) { DestroyWindow(h); }
inline void releaseHandle(HANDLE h) { CloseHandle(h); }
inline void releaseIcon(HICON h) { DestroyIcon(h); }

using GdiObject = Owned<HGDIOBJ, releaseGdi>;
using Bitmap = Owned<HBITMAP, releaseGdi>;
using Font = Owned<HFONT, releaseGdi>;
using Brush = Owned<HBRUSH, releaseGdi>;
using MemoryDC = Owned<HDC, releaseDC>;
using Window = Owned<HWND, releaseWindow>;
using Handle = Owned<HANDLE, releaseHandle>;

// Selects an object into a device context for one scope.
class Selected {
public:
    Selected(HDC dc, HGDIOBJ obj) : dc_(dc), old_(SelectObject(dc, obj)) {}
    ~Selected() { SelectObject(dc_, old_); }
    Selected(const Selected&) = delete;
    Selected& operator=(const Selected&) = delete;

private:
    HDC dc_;
    HGDIOBJ old_;
};

// A COM interface pointer, released at the end of its life.
template <class I>
class Com {
public:
    Com() = default;
    ~Com() { reset(); }
    Com(Com&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    Com& operator=(Com&& o) noexcept {
        if (this != &o) {
            reset();
            p_ = std::exchange(o.p_, nullptr);
        }
        return *this;
    }
    Com(const Com&) = delete;
    Com& operator=(const Com&) = delete;
    I* get() const { return p_; }
    I* operator->() const { return p_; }
    I** put() {
        reset();
        return &p_;
    }
    explicit operator bool() const { return p_ != nullptr; }
    void reset() {
        if (p_) std::exchange(p_, nullptr)->Release();
    }

private:
    I* p_ = nullptr;
};

}  // namespace win32
