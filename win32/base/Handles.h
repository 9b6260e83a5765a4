// RAII holders for the system's handles that are not drawing handles: kernel objects
// (files, processes, threads) and registry keys. Each frees its handle with the one
// call that matches how it was obtained; the drawing handles of the window code are
// in win32/ui/GdiHandles.h.
#pragma once

#include <windows.h>

#include <utility>

namespace zorvi {

/// A kernel object handle (file, process, thread), freed with CloseHandle. Both
/// nullptr and INVALID_HANDLE_VALUE mean "none": the calls that make kernel objects
/// answer failure with one or the other.
class TKernelHandle {
public:
    TKernelHandle() = default;
    explicit TKernelHandle(HANDLE handle) : handle_(handle) {}
    TKernelHandle(TKernelHandle&& other) noexcept
        : handle_(std::exchange(other.handle_, nullptr)) {}
    TKernelHandle& operator=(TKernelHandle&& other) noexcept {
        if (this != &other) {
            Close();
            handle_ = std::exchange(other.handle_, nullptr);
        }
        return *this;
    }
    TKernelHandle(const TKernelHandle&) = delete;
    TKernelHandle& operator=(const TKernelHandle&) = delete;
    ~TKernelHandle() { Close(); }

    HANDLE Get() const { return handle_; }
    bool Valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    /// Closes the handle now; it is "none" afterwards in every case. False when
    /// CloseHandle failed (GetLastError tells why), which matters for a file: its
    /// last writes can fail at the close.
    bool Close() {
        const bool closed = !Valid() || CloseHandle(handle_) != 0;
        handle_ = nullptr;
        return closed;
    }

private:
    HANDLE handle_ = nullptr;
};

/// An open registry key, closed with RegCloseKey.
class TRegistryKey {
public:
    TRegistryKey() = default;
    TRegistryKey(const TRegistryKey&) = delete;
    TRegistryKey& operator=(const TRegistryKey&) = delete;
    ~TRegistryKey() { Close(); }

    HKEY Get() const { return key_; }
    /// Where a call that opens or creates a key puts it (RegOpenKeyExW and the
    /// like); a key held before is closed first.
    HKEY* Receive() {
        Close();
        return &key_;
    }
    void Close() {
        if (key_ != nullptr)
            RegCloseKey(key_);
        key_ = nullptr;
    }

private:
    HKEY key_ = nullptr;
};

} // namespace zorvi
