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
    explicit TGdiObject(THandle handle) : Handle_(handle) {}
    TGdiObject(TGdiObject&& other) noexcept : Handle_(std::exchange(other.Handle_, nullptr)) {}
    TGdiObject& operator=(TGdiObject&& other) noexcept {
        if (this != &other)
            Reset(std::exchange(other.Handle_, nullptr));
        return *this;
    }
    TGdiObject(const TGdiObject&) = delete;
    TGdiObject& operator=(const TGdiObject&) = delete;
    ~TGdiObject() { Reset(); }

    THandle Get() const { return Handle_; }
    explicit operator bool() const { return Handle_ != nullptr; }
    void Reset(THandle handle = nullptr) {
        if (Handle_)
            DeleteObject(Handle_);
        Handle_ = handle;
    }

private:
    THandle Handle_ = nullptr;
};

using TFontHandle = TGdiObject<HFONT>;
using TBitmapHandle = TGdiObject<HBITMAP>;
using TBrushHandle = TGdiObject<HBRUSH>;
using TPenHandle = TGdiObject<HPEN>;

/// A memory device context from CreateCompatibleDC, freed with DeleteDC.
class TMemoryDC {
public:
    explicit TMemoryDC(HDC compatibleWith) : Handle_(CreateCompatibleDC(compatibleWith)) {}
    TMemoryDC(const TMemoryDC&) = delete;
    TMemoryDC& operator=(const TMemoryDC&) = delete;
    ~TMemoryDC() {
        if (Handle_)
            DeleteDC(Handle_);
    }
    HDC Get() const { return Handle_; }

private:
    HDC Handle_;
};

/// A window's client device context from GetDC, given back with ReleaseDC.
class TWindowDC {
public:
    explicit TWindowDC(HWND window) : Window_(window), Handle_(GetDC(window)) {}
    TWindowDC(const TWindowDC&) = delete;
    TWindowDC& operator=(const TWindowDC&) = delete;
    ~TWindowDC() {
        if (Handle_)
            ReleaseDC(Window_, Handle_);
    }
    HDC Get() const { return Handle_; }

private:
    HWND Window_;
    HDC Handle_;
};

/// The device context of one WM_PAINT, from BeginPaint, ended with EndPaint.
class TPaintDC {
public:
    explicit TPaintDC(HWND window) : Window_(window) { Handle_ = BeginPaint(window, &Paint_); }
    TPaintDC(const TPaintDC&) = delete;
    TPaintDC& operator=(const TPaintDC&) = delete;
    ~TPaintDC() { EndPaint(Window_, &Paint_); }
    HDC Get() const { return Handle_; }

private:
    HWND Window_;
    PAINTSTRUCT Paint_{};
    HDC Handle_ = nullptr;
};

/// Selects an object into a device context and puts the previous one back.
class TSelection {
public:
    TSelection(HDC dc, HGDIOBJ object) : Dc_(dc), Previous_(SelectObject(dc, object)) {}
    TSelection(const TSelection&) = delete;
    TSelection& operator=(const TSelection&) = delete;
    ~TSelection() {
        if (Previous_ && Previous_ != HGDI_ERROR)
            SelectObject(Dc_, Previous_);
    }

private:
    HDC Dc_;
    HGDIOBJ Previous_;
};

/// An icon made at run time (CreateIconIndirect), freed with DestroyIcon.
class TIconHandle {
public:
    TIconHandle() = default;
    explicit TIconHandle(HICON handle) : Handle_(handle) {}
    TIconHandle(TIconHandle&& other) noexcept : Handle_(std::exchange(other.Handle_, nullptr)) {}
    TIconHandle& operator=(TIconHandle&& other) noexcept {
        if (this != &other) {
            if (Handle_)
                DestroyIcon(Handle_);
            Handle_ = std::exchange(other.Handle_, nullptr);
        }
        return *this;
    }
    TIconHandle(const TIconHandle&) = delete;
    TIconHandle& operator=(const TIconHandle&) = delete;
    ~TIconHandle() {
        if (Handle_)
            DestroyIcon(Handle_);
    }
    HICON Get() const { return Handle_; }

private:
    HICON Handle_ = nullptr;
};

} // namespace zorvi
