// RAII holders for the drawing handles the window code creates (GDI objects,
// device contexts, icons): each frees its handle with the one call that matches how
// it was obtained. Kernel handles and registry keys are in win32/base/Handles.h.
#pragma once

#include <windows.h>

#include <utility>

namespace zorvi {

/// A GDI object (font, bitmap, brush, pen) freed with DeleteObject.
template <typename THandle>
class TGdiObject {
public:
    TGdiObject() = default;
    explicit TGdiObject(THandle handle) : handle_(handle) {}
    TGdiObject(TGdiObject&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    TGdiObject& operator=(TGdiObject&& other) noexcept {
        if (this != &other)
            Reset(std::exchange(other.handle_, nullptr));
        return *this;
    }
    TGdiObject(const TGdiObject&) = delete;
    TGdiObject& operator=(const TGdiObject&) = delete;
    ~TGdiObject() { Reset(); }

    THandle Get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    void Reset(THandle handle = nullptr) {
        if (handle_)
            DeleteObject(handle_);
        handle_ = handle;
    }

private:
    THandle handle_ = nullptr;
};

using TFontHandle = TGdiObject<HFONT>;
using TBitmapHandle = TGdiObject<HBITMAP>;
using TBrushHandle = TGdiObject<HBRUSH>;
using TPenHandle = TGdiObject<HPEN>;

/// A memory device context from CreateCompatibleDC, freed with DeleteDC.
class TMemoryDC {
public:
    explicit TMemoryDC(HDC compatibleWith) : handle_(CreateCompatibleDC(compatibleWith)) {}
    TMemoryDC(const TMemoryDC&) = delete;
    TMemoryDC& operator=(const TMemoryDC&) = delete;
    ~TMemoryDC() {
        if (handle_)
            DeleteDC(handle_);
    }
    HDC Get() const { return handle_; }

private:
    HDC handle_;
};

/// A window's client device context from GetDC, given back with ReleaseDC.
class TWindowDC {
public:
    explicit TWindowDC(HWND window) : window_(window), handle_(GetDC(window)) {}
    TWindowDC(const TWindowDC&) = delete;
    TWindowDC& operator=(const TWindowDC&) = delete;
    ~TWindowDC() {
        if (handle_)
            ReleaseDC(window_, handle_);
    }
    HDC Get() const { return handle_; }

private:
    HWND window_;
    HDC handle_;
};

/// The device context of one WM_PAINT, from BeginPaint, ended with EndPaint.
class TPaintDC {
public:
    explicit TPaintDC(HWND window) : window_(window) { handle_ = BeginPaint(window, &paint_); }
    TPaintDC(const TPaintDC&) = delete;
    TPaintDC& operator=(const TPaintDC&) = delete;
    ~TPaintDC() { EndPaint(window_, &paint_); }
    HDC Get() const { return handle_; }

private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC handle_ = nullptr;
};

/// Selects an object into a device context and puts the previous one back.
class TSelection {
public:
    TSelection(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    TSelection(const TSelection&) = delete;
    TSelection& operator=(const TSelection&) = delete;
    ~TSelection() {
        if (previous_ && previous_ != HGDI_ERROR)
            SelectObject(dc_, previous_);
    }

private:
    HDC dc_;
    HGDIOBJ previous_;
};

/// An icon made at run time (CreateIconIndirect), freed with DestroyIcon.
class TIconHandle {
public:
    TIconHandle() = default;
    explicit TIconHandle(HICON handle) : handle_(handle) {}
    TIconHandle(TIconHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    TIconHandle& operator=(TIconHandle&& other) noexcept {
        if (this != &other) {
            if (handle_)
                DestroyIcon(handle_);
            handle_ = std::exchange(other.handle_, nullptr);
        }
        return *this;
    }
    TIconHandle(const TIconHandle&) = delete;
    TIconHandle& operator=(const TIconHandle&) = delete;
    ~TIconHandle() {
        if (handle_)
            DestroyIcon(handle_);
    }
    HICON Get() const { return handle_; }

private:
    HICON handle_ = nullptr;
};

} // namespace zorvi
