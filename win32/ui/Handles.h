// RAII holders for the Windows handles the window code creates: each frees its
// handle with the one call that matches how it was obtained.
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

/// A kernel object handle (process, thread, file), freed with CloseHandle. Both
/// nullptr and INVALID_HANDLE_VALUE mean "none".
class TKernelHandle {
public:
    TKernelHandle() = default;
    explicit TKernelHandle(HANDLE handle) : Handle_(handle) {}
    TKernelHandle(TKernelHandle&& other) noexcept
        : Handle_(std::exchange(other.Handle_, nullptr)) {}
    TKernelHandle& operator=(TKernelHandle&& other) noexcept {
        if (this != &other) {
            Close();
            Handle_ = std::exchange(other.Handle_, nullptr);
        }
        return *this;
    }
    TKernelHandle(const TKernelHandle&) = delete;
    TKernelHandle& operator=(const TKernelHandle&) = delete;
    ~TKernelHandle() { Close(); }

    HANDLE Get() const { return Handle_; }
    bool Valid() const { return Handle_ != nullptr && Handle_ != INVALID_HANDLE_VALUE; }
    void Close() {
        if (Valid())
            CloseHandle(Handle_);
        Handle_ = nullptr;
    }

private:
    HANDLE Handle_ = nullptr;
};

} // namespace zorvi
